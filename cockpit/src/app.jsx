// The page's frame: the folder, the draft's commands and the tabs.
/* global cockpit */
import React, { useCallback, useEffect, useMemo, useRef, useState } from 'react';
import {
    ActionGroup, Alert, AlertActionLink, Button, Card, CardBody, CardTitle, Checkbox, Form, FormGroup,
    FormSection, Label, Modal, Radio, Spinner, Tab, Tabs, TabTitleText, TextInput, FormSelect, FormSelectOption,
} from '@patternfly/react-core';
import { DEFAULT_FOLDER, run, runJson, tail } from './cli.js';
import { Draft, address, findingsByItem, findingsOf, itemId, toggled } from './draft.js';
import { KeyField } from './fields.jsx';
import { FindingLabels, ItemTable, MembershipList } from './tables.jsx';
import { ConnectionsView, HistoryView } from './views.jsx';

const FOLDER_KEY = 'quilmora-folder';
const SECRET_FORM = 'bytes';
const KIND_SCHEMA = { pops: 'pops', users: 'users', groups: 'groups' };
const KIND_TITLE = { pops: 'Accounts', users: 'Users', groups: 'Groups' };
const KIND_ONE = { pops: 'account', users: 'user', groups: 'group' };
const SERVER_PAGES = ['General Settings', 'Advanced Settings', 'Log Settings'];

function mark(name) {
    if (window.performance && performance.mark)
        performance.mark(name);
}

const TABS = ['server', 'pops', 'users', 'groups', 'connections', 'history', 'log', 'archive'];

function initialTab() {
    const first = cockpit.location.path[0];
    return TABS.includes(first) ? first : 'server';
}

function storedFolder() {
    try {
        return window.localStorage.getItem(FOLDER_KEY) || DEFAULT_FOLDER;
    } catch (_e) {
        return DEFAULT_FOLDER;
    }
}

// The keys of one page of the editor, box by box, in the table's order.
function boxesOf(keys, page) {
    const boxes = [];
    for (const k of keys) {
        if (k.page !== page)
            continue;
        let box = boxes.find(b => b.title === k.box);
        if (!box)
            boxes.push(box = { title: k.box, keys: [] });
        box.keys.push(k);
    }
    return boxes;
}

function Fields({ keys, values, onSet, idPrefix, readOnlyKeys = [], pending, setPending, onPassword }) {
    return keys.map(k => {
        if (k.form === SECRET_FORM) {
            return (
                <FormGroup key={k.key} label={k.caption} fieldId={`${idPrefix}-${k.key}`}>
                    <Button id={`${idPrefix}-${k.key}`} variant="secondary" onClick={() => onPassword(k)}>Change</Button>
                </FormGroup>);
        }
        if (k.form === 'list')
            return null; // shown as a membership list
        const pendingKey = `${idPrefix}.${k.key}`;
        return (
            <KeyField key={k.key} schemaKey={k} value={values[k.key]} idPrefix={idPrefix}
                      readOnly={!k.settable || readOnlyKeys.includes(k.key)}
                      pending={pending[pendingKey]}
                      onPending={(text, error) => setPending(pendingKey, text, error)}
                      onChange={v => onSet(k.key, v)} />);
    });
}

export function App() {
    const [folder, setFolder] = useState(storedFolder);
    const [folderText, setFolderText] = useState(folder);
    const [schema, setSchema] = useState(null);
    const [draft, setDraft] = useState(null);
    const [, setGeneration] = useState(0); // the draft changes in place; this redraws
    const [sha, setSha] = useState('');
    const [findings, setFindings] = useState([]);
    const [error, setError] = useState('');
    const [notice, setNotice] = useState('');
    const [conflict, setConflict] = useState('');
    const [busy, setBusy] = useState(false);
    // The tab is the page's path in Cockpit's address (…/quilmora#/users), so a link or a
    // reload opens it again.
    const [tab, setTabState] = useState(initialTab);
    const setTab = t => {
        setTabState(t);
        cockpit.location.go([t]);
    };
    const [selected, setSelected] = useState({ pops: null, users: null, groups: null });
    const [pending, setPendingState] = useState({}); // integer texts not yet valid
    const [review, setReview] = useState(null);
    const [modal, setModal] = useState(null);
    const firstTable = useRef(false);

    const redraw = () => setGeneration(g => g + 1);

    const load = useCallback(async (keepDraft) => {
        setBusy(true);
        setError('');
        mark('quilmora-load-start');
        try {
            const [sch, config] = await Promise.all([
                schema ? Promise.resolve(schema) : runJson(folder, ['schema', '--json']),
                run(folder, ['dump', '--no-secrets', '--sha256']).then(text => {
                    mark('quilmora-dump-read');
                    return JSON.parse(text);
                }),
            ]);
            setSchema(sch);
            setSha(config.sha256);
            delete config.sha256;
            setDraft(old => {
                if (keepDraft && old) {
                    old.rebase(config);
                    return old;
                }
                return new Draft(config);
            });
            redraw();
            mark('quilmora-loaded');
            setCheckDue(n => n + 1);
        } catch (ex) {
            setError(ex.message);
            setDraft(null);
        } finally {
            setBusy(false);
        }
    }, [folder, schema]);

    useEffect(() => { load(false) }, [folder]); // eslint-disable-line react-hooks/exhaustive-deps

    // The check runs once the configuration is on the screen: a second load of a large file
    // must not hold up the first table.
    const [checkDue, setCheckDue] = useState(0);
    useEffect(() => {
        if (!checkDue)
            return;
        const timer = setTimeout(() => {
            runJson(folder, ['check', '--json'], { okStatuses: [1] }).then(setFindings)
                    .catch(() => setFindings([]));
        }, 0);
        return () => clearTimeout(timer);
    }, [checkDue]); // eslint-disable-line react-hooks/exhaustive-deps

    useEffect(() => {
        if (draft && !firstTable.current && document.querySelector('table')) {
            firstTable.current = true;
            mark('quilmora-first-table');
        }
    });

    const openFolder = () => {
        const f = folderText.trim() || DEFAULT_FOLDER;
        try {
            window.localStorage.setItem(FOLDER_KEY, f);
        } catch (_e) { /* private windows keep nothing */ }
        setConflict('');
        setNotice('');
        if (f === folder)
            load(false);
        setFolder(f);
    };

    const setPending = (key, text, err) => {
        setPendingState(p => {
            const n = { ...p };
            if (text === undefined)
                delete n[key];
            else
                n[key] = text;
            return n;
        });
    };
    const invalid = Object.keys(pending);

    const edit = (kind, id, key, value) => {
        draft.set(kind, id, key, value);
        setNotice('');
        redraw();
    };

    const undo = () => {
        draft.undo();
        setPendingState({});
        redraw();
    };

    const mergeText = () => JSON.stringify(draft.merge());

    const openReview = async () => {
        setBusy(true);
        try {
            const out = await run(folder, ['apply', '-', '--merge', '--dry-run'], { input: mergeText() });
            setReview(out.split('\n').filter(l => l !== ''));
        } catch (ex) {
            setError(ex.message);
        } finally {
            setBusy(false);
        }
    };

    const save = async () => {
        setReview(null);
        setBusy(true);
        setError('');
        mark('quilmora-save-start');
        try {
            const answer = await runJson(folder, ['apply', '-', '--merge', '--expect-sha256', sha, '--json'],
                                         { input: mergeText() });
            // The file now holds the draft: it becomes the configuration as read, with the
            // file's new fingerprint. Reading the file again (for what quilmora-config gave
            // new items) and the check follow without holding up the page.
            const saved = draft.view();
            const strip = list => list.map(({ _new, ...item }) => item);
            draft.rebase({ ...draft.base, server: saved.server, pops: strip(saved.pops),
                           users: strip(saved.users), groups: strip(saved.groups) });
            draft.clear();
            setSha(answer.sha256);
            setPendingState({});
            setNotice(answer.changed ? `Saved: ${answer.changes.length} change${answer.changes.length === 1 ? '' : 's'}.` : 'Nothing to save: the file already holds these values.');
            redraw();
            mark('quilmora-saved');
            load(true);
        } catch (ex) {
            if (ex.message.startsWith('The configuration changed since it was read'))
                setConflict(ex.message);
            else
                setError(ex.message);
        } finally {
            setBusy(false);
        }
    };

    const reload = async () => {
        setConflict('');
        await load(true);
    };

    const view = draft ? draft.view() : null;
    const findingsMap = useMemo(() => findingsByItem(findings), [findings]);
    const names = useMemo(() => view
        ? { users: view.users.map(u => u.Name), groups: view.groups.map(g => g.Name) }
        : { users: [], groups: [] }, [view]);

    const header = (
        <div className="qm-header">
            <label htmlFor="folder-input">Server folder</label>
            <TextInput id="folder-input" className="qm-folder" value={folderText} aria-label="Server folder"
                       onChange={(_e, t) => setFolderText(t)}
                       onKeyDown={e => { if (e.key === 'Enter') openFolder() }} />
            <Button id="folder-open" variant="secondary" onClick={openFolder}>Open</Button>
            {draft && (
                <>
                    <Label id="findings-count" color={findings.some(f => f.level === 'error') ? 'red' : findings.length ? 'orange' : 'green'}>
                        {`${findings.length} finding${findings.length === 1 ? '' : 's'}`}
                    </Label>
                    <Label id="draft-count" color={draft.size ? 'blue' : 'grey'}>{`${draft.size} unsaved edit${draft.size === 1 ? '' : 's'}`}</Label>
                    <Button id="undo-button" variant="secondary" isDisabled={!draft.size || busy} onClick={undo}>Undo</Button>
                    <Button id="review-button" variant="secondary" isDisabled={!draft.size || busy || invalid.length > 0}
                            onClick={openReview}>Review changes</Button>
                    <Button id="save-button" variant="primary" isDisabled={!draft.size || busy || invalid.length > 0}
                            onClick={save}>Save</Button>
                    <Button id="discard-button" variant="link" isDisabled={!draft.size || busy}
                            onClick={() => { draft.clear(); setPendingState({}); redraw() }}>Discard</Button>
                    {busy && <Spinner id="busy" size="md" aria-label="Reading or writing the configuration" />}
                </>)}
        </div>);

    const alerts = (
        <>
            {error && <Alert id="error-alert" variant="danger" isInline title={error} />}
            {invalid.length > 0 && <Alert id="invalid-alert" variant="warning" isInline
                                          title="A value is not valid; Review and Save wait until it is mended or undone." />}
            {conflict && (
                <Alert id="conflict-alert" variant="warning" isInline title={conflict}
                       actionLinks={<AlertActionLink id="reload-button" onClick={reload}>Reload (keeps the unsaved edits)</AlertActionLink>}>
                    Nothing was written. Reload reads the file as it is now; the unsaved edits stay in the draft.
                </Alert>)}
            {notice && <Alert id="notice-alert" variant="success" isInline title={notice} />}
        </>);

    if (!draft || !schema) {
        return (
            <div className="qm-page">
                {header}
                {alerts}
                {busy && <p>Reading the configuration…</p>}
            </div>);
    }

    const serverForm = (
        <Form id="server-form" isHorizontal onSubmit={e => e.preventDefault()}>
            {SERVER_PAGES.map(page => (
                <Card key={page} isCompact>
                    <CardTitle>{page}</CardTitle>
                    <CardBody>
                        {boxesOf(schema.server, page).map(box => (
                            <FormSection key={box.title} title={box.title}>
                                <Fields keys={box.keys} values={view.server} idPrefix="server"
                                        pending={pending} setPending={setPending}
                                        onSet={(key, v) => edit('server', null, key, v)}
                                        onPassword={k => setModal({ type: 'password', item: k.key === 'AdminPass' ? 'server' : 'server.smtp', title: k.caption })} />
                            </FormSection>))}
                    </CardBody>
                </Card>))}
        </Form>);

    const itemPane = kind => {
        const id = selected[kind];
        const item = id !== null ? draft.find(kind, id) : null;
        const keys = schema[KIND_SCHEMA[kind]];
        const list = kind === 'groups' ? 'Users' : kind === 'pops' ? 'Newsgroups' : null;
        return (
            <div className="qm-split">
                <div>
                    <Button id={`${kind}-add`} variant="secondary" onClick={() => setModal({ type: 'add', kind })}>
                        {`Add ${KIND_ONE[kind]}`}
                    </Button>
                    <ItemTable kind={kind} rows={view[kind]} findings={findingsMap}
                               selected={id} onSelect={i => setSelected(s => ({ ...s, [kind]: i }))} />
                </div>
                <div>
                    {item && (
                        <Card id={`${kind}-form`}>
                            <CardTitle>
                                {`${keys[0].page}: ${id} `}
                                <FindingLabels findings={findingsOf(findingsMap, kind, id, view[kind].indexOf(item) + 1)} />
                            </CardTitle>
                            <CardBody>
                                <Form onSubmit={e => e.preventDefault()}>
                                    <Fields keys={keys} values={item} idPrefix={kind} pending={pending} setPending={setPending}
                                            readOnlyKeys={kind === 'pops' ? ['UserID', 'Host'] : ['Name']}
                                            onSet={(key, v) => edit(kind, id, key, v)}
                                            onPassword={() => setModal({ type: 'password', item: address(kind, id), title: `Password of ${id}`, isNew: item._new })} />
                                    {list && (
                                        <FormGroup label={keys.find(k => k.key === list).caption} fieldId={`${kind}-members`}>
                                            <MembershipList id={`${kind}-members`}
                                                            allNames={kind === 'groups' ? names.users : names.groups}
                                                            listed={item[list] || []}
                                                            onToggle={(name, on) => edit(kind, id, list, toggled(item[list] || [], name, on))} />
                                        </FormGroup>)}
                                    <ActionGroup>
                                        <Button id={`${kind}-delete`} variant="danger"
                                                onClick={() => setModal({ type: 'delete', kind, id })}>Delete</Button>
                                    </ActionGroup>
                                </Form>
                            </CardBody>
                        </Card>)}
                </div>
            </div>);
    };

    return (
        <div className="qm-page">
            {header}
            {alerts}
            <Tabs activeKey={tab} onSelect={(_e, k) => setTab(k)} mountOnEnter unmountOnExit>
                <Tab eventKey="server" id="tab-server" title={<TabTitleText>Server</TabTitleText>}>
                    {serverForm}
                </Tab>
                {['pops', 'users', 'groups'].map(kind => (
                    <Tab key={kind} eventKey={kind} id={`tab-${kind}`}
                         title={<TabTitleText>{`${KIND_TITLE[kind]} (${view[kind].length})`}</TabTitleText>}>
                        {itemPane(kind)}
                    </Tab>))}
                <Tab eventKey="connections" id="tab-connections" title={<TabTitleText>Connections</TabTitleText>}>
                    <ConnectionsView folder={folder} pops={draft.base.pops || []} />
                </Tab>
                <Tab eventKey="history" id="tab-history" title={<TabTitleText>History</TabTitleText>}>
                    <HistoryView folder={folder} draftSize={draft.size}
                                 onRestored={async revision => {
                                     setNotice(`Restored version ${revision.slice(0, 10)}.`);
                                     await load(true);
                                 }} />
                </Tab>
                <Tab eventKey="log" id="tab-log" title={<TabTitleText>Log</TabTitleText>}>
                    <LogView folder={folder} />
                </Tab>
                <Tab eventKey="archive" id="tab-archive" title={<TabTitleText>Message archive</TabTitleText>}>
                    <ArchiveView folder={folder} groups={names.groups} />
                </Tab>
            </Tabs>
            {review && (
                <Modal id="review-modal" title="Review changes" isOpen variant="medium" onClose={() => setReview(null)}
                       actions={[
                           <Button key="save" id="review-save" variant="primary" onClick={save}>Save</Button>,
                           <Button key="close" variant="link" onClick={() => setReview(null)}>Close</Button>,
                       ]}>
                    {review.length
                        ? <ul id="review-list" className="qm-review">{review.map((l, i) => <li key={i}>{l}</li>)}</ul>
                        : <p id="review-list">The draft changes nothing in the file.</p>}
                </Modal>)}
            {modal && modal.type === 'add' && (
                <AddModal kind={modal.kind} onClose={() => setModal(null)}
                          onAdd={item => {
                              if (!draft.add(modal.kind, item))
                                  return `An ${KIND_ONE[modal.kind]} of that name exists already.`;
                              setSelected(s => ({ ...s, [modal.kind]: itemId(modal.kind, item) }));
                              setModal(null);
                              redraw();
                              return '';
                          }} />)}
            {modal && modal.type === 'delete' && (
                <DeleteModal kind={modal.kind} id={modal.id} onClose={() => setModal(null)}
                             onDelete={withData => {
                                 draft.remove(modal.kind, modal.id, withData);
                                 setSelected(s => ({ ...s, [modal.kind]: null }));
                                 setModal(null);
                                 redraw();
                             }} />)}
            {modal && modal.type === 'password' && (
                <PasswordModal folder={folder} target={modal} draftSize={draft.size}
                               onClose={() => setModal(null)}
                               onDone={async () => {
                                   setModal(null);
                                   setNotice('The password is saved.');
                                   await load(true);
                               }} />)}
        </div>);
}

function AddModal({ kind, onAdd, onClose }) {
    const [a, setA] = useState('');
    const [b, setB] = useState('');
    const [message, setMessage] = useState('');
    const item = kind === 'pops' ? { UserID: a.trim(), Host: b.trim() } : { Name: a.trim() };
    const ready = kind === 'pops' ? item.UserID && item.Host : item.Name;
    const add = () => setMessage(onAdd(item));
    return (
        <Modal id="add-modal" title={`Add ${KIND_ONE[kind]}`} isOpen variant="small" onClose={onClose}
               actions={[
                   <Button key="add" id="add-confirm" variant="primary" isDisabled={!ready} onClick={add}>Add</Button>,
                   <Button key="cancel" variant="link" onClick={onClose}>Cancel</Button>,
               ]}>
            <Form onSubmit={e => { e.preventDefault(); if (ready) add() }}>
                <FormGroup label={kind === 'pops' ? 'User ID' : 'Name'} fieldId="add-name">
                    <TextInput id="add-name" value={a} onChange={(_e, t) => setA(t)} autoFocus />
                </FormGroup>
                {kind === 'pops' && (
                    <FormGroup label="Mail Server" fieldId="add-host">
                        <TextInput id="add-host" value={b} onChange={(_e, t) => setB(t)} />
                    </FormGroup>)}
                {message && <Alert variant="danger" isInline title={message} />}
            </Form>
        </Modal>);
}

function DeleteModal({ kind, id, onDelete, onClose }) {
    const [withData, setWithData] = useState(false);
    return (
        <Modal id="delete-modal" title={`Delete ${KIND_ONE[kind]} ${id}?`} isOpen variant="small" onClose={onClose}
               titleIconVariant="warning"
               actions={[
                   <Button key="delete" id="delete-confirm" variant="danger" onClick={() => onDelete(withData)}>Delete</Button>,
                   <Button key="cancel" variant="link" onClick={onClose}>Cancel</Button>,
               ]}>
            <p>{`The ${KIND_ONE[kind]} goes at the next Save.`}</p>
            {kind === 'groups' && (
                // The group's data folder is on this machine: the page works on a local folder.
                <Checkbox id="delete-with-data" label="Also delete the group's data (its messages and index files) after the save"
                          isChecked={withData} onChange={(_e, on) => setWithData(on)} />)}
        </Modal>);
}

function PasswordModal({ folder, target, draftSize, onDone, onClose }) {
    const [first, setFirst] = useState('');
    const [second, setSecond] = useState('');
    const [message, setMessage] = useState('');
    const [busy, setBusy] = useState(false);
    const change = async () => {
        if (first !== second) {
            setMessage('The two passwords differ.');
            return;
        }
        setBusy(true);
        try {
            // The password goes on standard input, never on a command line.
            await run(folder, ['passwd', '--password-file', '-', '--', target.item], { input: first });
            setFirst('');
            setSecond('');
            onDone();
        } catch (ex) {
            setMessage(ex.message);
        } finally {
            setBusy(false);
        }
    };
    return (
        <Modal id="password-modal" title={`Change: ${target.title}`} isOpen variant="small" onClose={onClose}
               actions={[
                   <Button key="ok" id="password-confirm" variant="primary" isDisabled={busy || target.isNew} onClick={change}>Change</Button>,
                   <Button key="cancel" variant="link" onClick={onClose}>Cancel</Button>,
               ]}>
            <Form onSubmit={e => { e.preventDefault(); change() }}>
                {target.isNew && <Alert variant="info" isInline title="Save the new item first; then its password can be set." />}
                <p>{`The password is saved at once${draftSize ? '; the unsaved edits stay in the draft' : ''}.`}</p>
                <FormGroup label="New password" fieldId="password-first">
                    <TextInput id="password-first" type="password" autoComplete="new-password" value={first}
                               onChange={(_e, t) => setFirst(t)} />
                </FormGroup>
                <FormGroup label="Confirm password" fieldId="password-second">
                    <TextInput id="password-second" type="password" autoComplete="new-password" value={second}
                               onChange={(_e, t) => setSecond(t)} />
                </FormGroup>
                {message && <Alert id="password-error" variant="danger" isInline title={message} />}
            </Form>
        </Modal>);
}

const LOG_BYTES = 256 * 1024;

function LogView({ folder }) {
    const [text, setText] = useState(null);
    const [find, setFind] = useState('');
    const [message, setMessage] = useState('');
    const refresh = useCallback(() => {
        tail(`${folder}/log.txt`, LOG_BYTES).then(t => { setText(t); setMessage('') })
                .catch(ex => { setText(''); setMessage(ex.message) });
    }, [folder]);
    useEffect(refresh, [refresh]);
    const lines = (text || '').split('\n');
    const needle = find.trim().toLowerCase();
    const hits = needle ? lines.filter(l => l.toLowerCase().includes(needle)) : lines;
    return (
        <Card>
            <CardBody>
                <div className="qm-header">
                    <TextInput id="log-find" value={find} placeholder="Find in the log" aria-label="Find in the log"
                               onChange={(_e, t) => setFind(t)} />
                    <Button id="log-refresh" variant="secondary" onClick={refresh}>Refresh</Button>
                    {needle && <span>{`${hits.length} line${hits.length === 1 ? '' : 's'}`}</span>}
                </div>
                {message && <Alert variant="info" isInline title={`No log: ${message}`} />}
                <pre id="log-text" className="qm-log">{hits.join('\n')}</pre>
            </CardBody>
        </Card>);
}

function ArchiveView({ folder, groups }) {
    const [group, setGroup] = useState(groups[0] || '');
    const [how, setHow] = useState('days');
    const [days, setDays] = useState('30');
    const [date, setDate] = useState('');
    const [count, setCount] = useState(null);
    const [message, setMessage] = useState('');
    const [asking, setAsking] = useState(false);
    // Names come after "--": a group may be named "-x".
    const cut = how === 'days' ? ['--older-than', days.trim()] : ['--before', date.trim()];
    const lastLine = out => out.trim().split('\n').pop();
    const preview = async () => {
        setMessage('');
        try {
            const out = await run(folder, ['purge', ...cut, '--dry-run', '--', group]);
            setCount(lastLine(out));
            setAsking(true);
        } catch (ex) {
            setMessage(ex.message);
        }
    };
    const purge = async () => {
        setAsking(false);
        try {
            const out = await run(folder, ['purge', ...cut, '--', group]);
            setMessage('');
            setCount(lastLine(out));
        } catch (ex) {
            setMessage(ex.message);
        }
    };
    return (
        <Card>
            <CardTitle>Delete Messages</CardTitle>
            <CardBody>
                <Form onSubmit={e => e.preventDefault()}>
                    <FormGroup label="Group" fieldId="archive-group">
                        <FormSelect id="archive-group" value={group} onChange={(_e, v) => setGroup(v)}>
                            {groups.slice(0, 5000).map(g => <FormSelectOption key={g} value={g} label={g} />)}
                        </FormSelect>
                    </FormGroup>
                    <FormGroup role="radiogroup" fieldId="archive-how" label="Delete messages">
                        <Radio id="archive-days" name="archive-how" label="older than (days)" isChecked={how === 'days'}
                               onChange={() => setHow('days')} />
                        <TextInput id="archive-days-value" value={days} isDisabled={how !== 'days'} aria-label="Days"
                                   onChange={(_e, t) => setDays(t)} />
                        <Radio id="archive-date" name="archive-how" label="dated before (YYYY-MM-DD)" isChecked={how === 'date'}
                               onChange={() => setHow('date')} />
                        <TextInput id="archive-date-value" value={date} isDisabled={how !== 'date'} aria-label="Date"
                                   placeholder="YYYY-MM-DD" onChange={(_e, t) => setDate(t)} />
                    </FormGroup>
                    <ActionGroup>
                        <Button id="archive-delete" variant="danger" isDisabled={!group} onClick={preview}>Delete</Button>
                    </ActionGroup>
                    {count && <Alert id="archive-count" variant="info" isInline title={count} />}
                    {message && <Alert id="archive-error" variant="danger" isInline title={message} />}
                </Form>
            </CardBody>
            {asking && (
                <Modal id="archive-modal" title={`Delete messages of ${group}?`} isOpen variant="small" titleIconVariant="warning"
                       onClose={() => setAsking(false)}
                       actions={[
                           <Button key="go" id="archive-confirm" variant="danger" onClick={purge}>Delete</Button>,
                           <Button key="cancel" variant="link" onClick={() => setAsking(false)}>Cancel</Button>,
                       ]}>
                    {count}
                </Modal>)}
        </Card>);
}
