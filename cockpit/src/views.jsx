// The History tab (the saved versions: show, restore) and the Connections tab (test the
// incoming accounts and the outgoing mail server). Both only run quilmora-config.
import React, { useCallback, useEffect, useState } from 'react';
import { Alert, Button, Card, CardBody, CardTitle, Label, Modal, Spinner } from '@patternfly/react-core';
import { run, runJson } from './cli.js';
import { address } from './draft.js';

// The versions, newest first; a version's difference from the file as it is now, in
// quilmora-config's words (passwords as "(changed)"); and Restore, after a question.
export function HistoryView({ folder, draftSize, onRestored }) {
    const [versions, setVersions] = useState(null);
    const [message, setMessage] = useState('');
    const [missing, setMissing] = useState(''); // no history (yet), or one that cannot be read
    const [shown, setShown] = useState(null); // { revision, text }
    const [asking, setAsking] = useState(null); // { revision, text }
    const [busy, setBusy] = useState(false);

    const refresh = useCallback(() => {
        setMessage('');
        runJson(folder, ['history', '--json'])
                .then(list => { setVersions(list); setMissing('') })
                .catch(ex => { setVersions([]); setMissing(ex.message) });
    }, [folder]);
    useEffect(refresh, [refresh]);

    // A revision comes from quilmora-config's own list; "--" still ends the options first.
    const show = async revision => {
        setBusy(true);
        try {
            const text = await run(folder, ['history', 'show', '--against', 'current', '--', revision]);
            setShown({ revision, text });
            setMessage('');
        } catch (ex) {
            setMessage(ex.message);
        } finally {
            setBusy(false);
        }
    };
    const ask = async revision => {
        setBusy(true);
        try {
            const text = await run(folder, ['history', 'restore', '--dry-run', '--', revision]);
            setAsking({ revision, text });
            setMessage('');
        } catch (ex) {
            setMessage(ex.message);
        } finally {
            setBusy(false);
        }
    };
    const restore = async () => {
        const revision = asking.revision;
        setAsking(null);
        setBusy(true);
        try {
            await run(folder, ['history', 'restore', '--', revision]);
            setShown(null);
            refresh();
            await onRestored(revision);
        } catch (ex) {
            setMessage(ex.message);
        } finally {
            setBusy(false);
        }
    };

    return (
        <Card>
            <CardBody>
                <div className="qm-header">
                    <Button id="history-refresh" variant="secondary" onClick={refresh}>Refresh</Button>
                    {versions && <span id="history-count">{`${versions.length} version${versions.length === 1 ? '' : 's'}`}</span>}
                    {busy && <Spinner size="md" aria-label="Reading the history" />}
                </div>
                {missing && <Alert id="history-missing" variant="info" isInline title={missing} />}
                {message && <Alert id="history-error" variant="danger" isInline title={message} />}
                {versions === null && <p>Reading the history…</p>}
                {versions && versions.length > 0 && (
                    <table id="history-table" className="pf-v5-c-table pf-m-compact pf-m-grid-md" aria-label="Saved versions">
                        <thead>
                            <tr><th>Revision</th><th>Date</th><th>Author</th><th>Summary</th><th /></tr>
                        </thead>
                        <tbody>
                            {versions.map(v => (
                                <tr key={v.revision} data-revision={v.revision}
                                    className={shown && shown.revision === v.revision ? 'pf-m-selected' : ''}>
                                    <td className="qm-mono">{v.revision.slice(0, 10)}</td>
                                    <td>{v.date}</td>
                                    <td>{v.author}</td>
                                    <td>{v.summary}</td>
                                    <td className="qm-actions">
                                        <Button className="history-show" variant="secondary" size="sm" isDisabled={busy}
                                                onClick={() => show(v.revision)}>Show</Button>
                                        {' '}
                                        <Button className="history-restore" variant="secondary" size="sm" isDisabled={busy}
                                                onClick={() => ask(v.revision)}>Restore…</Button>
                                    </td>
                                </tr>))}
                        </tbody>
                    </table>)}
                {shown && (
                    <>
                        <h3 className="qm-subhead">{`Version ${shown.revision.slice(0, 10)} against the file as it is now`}</h3>
                        <pre id="history-diff" className="qm-log">{shown.text}</pre>
                    </>)}
            </CardBody>
            {asking && (
                <Modal id="history-modal" title={`Restore version ${asking.revision.slice(0, 10)}?`} isOpen variant="medium"
                       titleIconVariant="warning" onClose={() => setAsking(null)}
                       actions={[
                           <Button key="go" id="history-confirm" variant="primary" onClick={restore}>Restore</Button>,
                           <Button key="cancel" variant="link" onClick={() => setAsking(null)}>Cancel</Button>,
                       ]}>
                    <p>{`The file is written as it was in this version, as a new save that the history records too${draftSize ? '; the unsaved edits stay in the draft' : ''}. It changes:`}</p>
                    <pre className="qm-log">{asking.text.trim() || 'nothing'}</pre>
                </Modal>)}
        </Card>);
}

const SMTP = 'server.smtp';

function verdictColor(r) {
    if (!r)
        return 'grey';
    return r.works ? 'green' : 'red';
}

// One row per incoming account of the saved file and one for the outgoing mail server; Test
// on a row tests that one, Test all tests every one (side by side, as quilmora-config does).
export function ConnectionsView({ folder, pops }) {
    const rows = [
        ...pops.filter(p => !p._new).map(p => ({ item: address('pops', `${p.UserID}/${p.Host}`), title: `${p.UserID} at ${p.Host}:${p.Port}` })),
        { item: SMTP, title: 'Outgoing mail server' },
    ];
    const [results, setResults] = useState({});
    const [running, setRunning] = useState({});
    const [message, setMessage] = useState('');
    const key = item => item.toLowerCase();

    const test = async items => {
        setMessage('');
        setRunning(r => ({ ...r, ...Object.fromEntries(items.map(i => [key(i), true])) }));
        try {
            // Exit 1 is an answer: something does not work.
            const list = await runJson(folder, ['test', '--json', '--', ...items], { okStatuses: [1] });
            setResults(old => {
                const n = { ...old };
                list.forEach((r, i) => {
                    const named = items.find(it => key(it) === key(r.item));
                    n[key(named || items[i] || r.item)] = r;
                });
                return n;
            });
        } catch (ex) {
            setMessage(ex.message);
        } finally {
            setRunning(r => {
                const n = { ...r };
                items.forEach(i => delete n[key(i)]);
                return n;
            });
        }
    };

    const anyRunning = Object.keys(running).length > 0;
    return (
        <Card>
            <CardTitle>Test Connections</CardTitle>
            <CardBody>
                <div className="qm-header">
                    <Button id="test-all" variant="primary" isDisabled={anyRunning}
                            onClick={() => test(rows.map(r => r.item))}>Test all</Button>
                    <span>The saved configuration is tested; no mail is fetched or sent.</span>
                </div>
                {message && <Alert id="test-error" variant="danger" isInline title={message} />}
                <table id="test-table" className="pf-v5-c-table pf-m-compact pf-m-grid-md" aria-label="Connection tests">
                    <thead>
                        <tr><th>Account</th><th>Verdict</th><th>Time</th><th>Failed step</th><th>Details</th><th /></tr>
                    </thead>
                    <tbody>
                        {rows.map(row => {
                            const r = results[key(row.item)];
                            const busy = running[key(row.item)];
                            return (
                                <tr key={row.item} data-item={row.item}>
                                    <td>{row.title}</td>
                                    <td className="test-verdict" data-verdict={r ? r.verdict : ''}>
                                        {busy ? <Spinner size="sm" aria-label="Testing" />
                                            : r && <Label color={verdictColor(r)}>{r.verdictText}</Label>}
                                    </td>
                                    <td className="test-time">{r && !busy ? `${r.ms} ms` : ''}</td>
                                    <td className="test-step">{r && !busy ? r.failedStep || '' : ''}</td>
                                    <td className="test-message">{r && !busy ? [r.message, ...(r.notes || [])].filter(Boolean).join(' ') : ''}</td>
                                    <td className="qm-actions">
                                        <Button className="test-one" variant="secondary" size="sm" isDisabled={!!busy}
                                                onClick={() => test([row.item])}>Test</Button>
                                    </td>
                                </tr>);
                        })}
                    </tbody>
                </table>
            </CardBody>
        </Card>);
}
