// The Quilmora page: the configuration in the folder, read with `quilmora-config dump
// --no-secrets --sha256`, edited in a draft, reviewed and saved with `apply --merge`.
import '@patternfly/react-core/dist/styles/base.css';
import './quilmora.css';
import React from 'react';
import { createRoot } from 'react-dom/client';
import { App } from './app.jsx';

function start() {
    createRoot(document.getElementById('app')).render(React.createElement(App));
}

if (document.readyState === 'loading')
    document.addEventListener('DOMContentLoaded', start);
else
    start();
