// quilmora-config as the page runs it: through Cockpit's bridge, as the logged-in user
// with administrative rights where Cockpit has them, with the arguments as a list (no
// shell) and anything larger or secret on standard input.
/* global cockpit */

export const DEFAULT_FOLDER = '/var/lib/quilmora';

export class CliError extends Error {
    constructor(message, status) {
        super(message);
        this.status = status;
    }
}

// Runs `quilmora-config --folder FOLDER ARGS...`; resolves with standard output, or rejects
// with a CliError holding quilmora-config's own message and exit status. `okStatuses` lists
// further exit statuses that are answers, not failures (diff and check use 1).
export function run(folder, args, { input, okStatuses = [] } = {}) {
    return new Promise((resolve, reject) => {
        const proc = cockpit.spawn(['quilmora-config', '--folder', folder, ...args],
                                   { superuser: 'try', err: 'message' });
        proc.then(out => resolve(out))
            .catch((ex, out) => {
                const status = ex && ex.exit_status;
                if (status !== undefined && okStatuses.includes(status)) {
                    resolve(out || '');
                    return;
                }
                let message = (ex && ex.message) || String(ex);
                if (ex && ex.problem === 'not-found')
                    message = 'quilmora-config is not installed on this machine.';
                reject(new CliError(message.trim(), status));
            });
        if (input !== undefined)
            proc.input(input);
        else
            proc.input(); // no standard input: end it at once
    });
}

export async function runJson(folder, args, options) {
    const out = await run(folder, args, options);
    return JSON.parse(out);
}

// The last `bytes` of a file in the folder (the log), without quilmora-config: it is not the
// configuration, and `tail` reads only its end however large it grew.
export function tail(path, bytes) {
    return cockpit.spawn(['tail', '-c', String(bytes), '--', path], { superuser: 'try', err: 'message' });
}
