// Builds the page into dist/ (or the folder named first): the bundle of src/index.js and
// its styles with esbuild, and index.html and manifest.json copied beside it.
//   node build.js [OUTDIR]
// QUILMORA_NODE_MODULES names the node_modules folder `npm ci` filled when it is not the one
// beside this file (the CMake build keeps it in the build tree).
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const outdir = path.resolve(process.argv[2] || path.join(here, 'dist'));
const modules = path.resolve(process.env.QUILMORA_NODE_MODULES || path.join(here, 'node_modules'));
const require = createRequire(path.join(modules, 'build.cjs'));
const esbuild = require('esbuild');

fs.mkdirSync(outdir, { recursive: true });
await esbuild.build({
    entryPoints: [path.join(here, 'src', 'index.js')],
    bundle: true,
    outdir,
    nodePaths: [modules],
    minify: true,
    sourcemap: false,
    target: ['es2020'],
    format: 'iife',
    legalComments: 'external',
    define: { 'process.env.NODE_ENV': '"production"' },
    // PatternFly's fonts and pictures go beside the bundle; Cockpit serves the folder.
    loader: { '.woff': 'file', '.woff2': 'file', '.ttf': 'file', '.eot': 'file', '.svg': 'file', '.png': 'file', '.jpg': 'file' },
    assetNames: 'assets/[name]-[hash]',
    logLevel: 'warning',
});
for (const name of ['index.html', 'manifest.json'])
    fs.copyFileSync(path.join(here, 'src', name), path.join(outdir, name));
