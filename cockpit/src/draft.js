// The page's draft: the edits made since the configuration was read, kept as a list so the
// last ones can be undone, shown over the configuration as read, and handed to
// `quilmora-config apply --merge` as one change object. The file itself is only ever read
// and written by quilmora-config; this module knows nothing of its syntax.

export const KINDS = ['pops', 'users', 'groups'];

// The name an item is addressed by: a user's or group's Name, an account's UserID/Host;
// compared ignoring letter case, as quilmora-config compares names.
export function itemId(kind, item) {
    return kind === 'pops' ? `${item.UserID}/${item.Host}` : item.Name;
}

export function sameId(a, b) {
    return a.toLowerCase() === b.toLowerCase();
}

// The address quilmora-config takes for an item: "user:tom", "group:sales", "pop:ann/host".
export function address(kind, id) {
    const word = { pops: 'pop', users: 'user', groups: 'group' }[kind];
    // A name that begins with "#" would read as a position.
    return `${word}:${id.startsWith('#') ? '=' : ''}${id}`;
}

function sameValue(a, b) {
    return JSON.stringify(a) === JSON.stringify(b);
}

export class Draft {
    // `config`: the configuration as `dump --no-secrets` printed it.
    constructor(config) {
        this.base = config;
        this.edits = [];
        this._view = null;
    }

    get size() {
        return this.edits.length;
    }

    // Keeps the edits over a configuration read again (after a save elsewhere or a reload).
    rebase(config) {
        this.base = config;
        this._view = null;
    }

    // Sets a key of the server (kind "server", id null) or of an item. Typing into the same
    // field again replaces the last edit rather than adding one, so undo takes back the field.
    set(kind, id, key, value) {
        const last = this.edits[this.edits.length - 1];
        if (last && last.op === 'set' && last.kind === kind && last.key === key &&
            (kind === 'server' || sameId(last.id, id))) {
            last.value = value;
            if (sameValue(this._baseValue(kind, id, key, this.edits.length - 1), value))
                this.edits.pop();
        } else {
            if (sameValue(this.value(kind, id, key), value))
                return;
            this.edits.push({ op: 'set', kind, id, key, value });
        }
        this._view = null;
    }

    // Adds an item; `item` holds its naming keys (Name, or UserID and Host). Refused (false)
    // when an item of that kind already has the name.
    add(kind, item) {
        const id = itemId(kind, item);
        if (this.find(kind, id))
            return false;
        this.edits.push({ op: 'add', kind, id, item: { ...item } });
        this._view = null;
        return true;
    }

    remove(kind, id, withData = false) {
        this.edits.push({ op: 'remove', kind, id, withData: kind === 'groups' && withData });
        this._view = null;
    }

    undo() {
        const edit = this.edits.pop();
        this._view = null;
        return edit;
    }

    clear() {
        this.edits = [];
        this._view = null;
    }

    // The configuration as it would be after the edits, in file order, new items last.
    // Each item carries `_new` when the draft added it.
    view() {
        if (this._view)
            return this._view;
        const v = {
            server: { ...this.base.server },
            pops: this.base.pops.slice(),
            users: this.base.users.slice(),
            groups: this.base.groups.slice(),
        };
        const indexes = {};
        const indexOf = (kind, id) => {
            if (!indexes[kind]) {
                indexes[kind] = new Map();
                v[kind].forEach((item, i) => {
                    const k = itemId(kind, item).toLowerCase();
                    if (!indexes[kind].has(k))
                        indexes[kind].set(k, i);
                });
            }
            const i = indexes[kind].get(id.toLowerCase());
            return i === undefined ? -1 : i;
        };
        for (const e of this.edits) {
            if (e.kind === 'server') {
                v.server[e.key] = e.value;
                continue;
            }
            const i = indexOf(e.kind, e.id);
            if (e.op === 'set' && i >= 0) {
                v[e.kind][i] = { ...v[e.kind][i], [e.key]: e.value };
            } else if (e.op === 'add' && i < 0) {
                v[e.kind].push({ ...defaults(e.kind), ...e.item, _new: true });
                indexes[e.kind] = null;
            } else if (e.op === 'remove' && i >= 0) {
                v[e.kind].splice(i, 1);
                indexes[e.kind] = null;
            }
        }
        this._view = v;
        return v;
    }

    find(kind, id) {
        const list = this.view()[kind];
        return list.find(item => sameId(itemId(kind, item), id)) || null;
    }

    value(kind, id, key) {
        if (kind === 'server')
            return this.view().server[key];
        const item = this.find(kind, id);
        return item ? item[key] : undefined;
    }

    _baseValue(kind, id, key, upTo) {
        const saved = this.edits;
        this.edits = saved.slice(0, upTo);
        this._view = null;
        const value = this.value(kind, id, key);
        this.edits = saved;
        this._view = null;
        return value;
    }

    // The change object for `apply --merge`: the server keys set, each item's keys set (a new
    // item with its naming keys), and the items removed. Empty members are left out.
    merge() {
        const out = {};
        const server = {};
        const items = { pops: new Map(), users: new Map(), groups: new Map() };
        const removed = new Map();
        const naming = (kind, id) => {
            const existing = this.base[kind].find(item => sameId(itemId(kind, item), id));
            if (kind !== 'pops')
                return { Name: existing ? existing.Name : id };
            if (existing)
                return { UserID: existing.UserID, Host: existing.Host };
            const cut = id.lastIndexOf('/');
            return { UserID: id.slice(0, cut), Host: id.slice(cut + 1) };
        };
        for (const e of this.edits) {
            if (e.kind === 'server') {
                server[e.key] = e.value;
                continue;
            }
            const k = e.id.toLowerCase();
            const map = items[e.kind];
            if (e.op === 'add') {
                removed.delete(`${e.kind}\n${k}`);
                map.set(k, { ...naming(e.kind, e.id), ...e.item, _added: true });
            } else if (e.op === 'set') {
                if (!map.has(k))
                    map.set(k, naming(e.kind, e.id));
                map.get(k)[e.key] = e.value;
            } else if (e.op === 'remove') {
                const pending = map.get(k);
                map.delete(k);
                // An item the draft itself added goes without a trace.
                if (!(pending && pending._added))
                    removed.set(`${e.kind}\n${k}`, { kind: e.kind, id: e.id, withData: e.withData });
            }
        }
        if (Object.keys(server).length)
            out.server = server;
        for (const kind of KINDS) {
            const list = [...items[kind].values()].map(({ _added, ...rest }) => rest);
            if (list.length)
                out[kind] = list;
        }
        if (removed.size) {
            out.remove = [...removed.values()].map(r => r.withData
                ? { item: address(r.kind, r.id), withData: true }
                : address(r.kind, r.id));
        }
        return out;
    }
}

// What Add gives a new item, shown until the save; the saved item gets quilmora-config's own.
export function defaults(kind) {
    if (kind === 'pops')
        return { Host: '', Port: 110, UserID: '', Newsgroups: [], DefaultGroup: '', AutoReply: 'N', AutoReplyFrom: '',
                 AutoReplyBody: '', AutoReplySubject: '', AutoReplyFromIgnore: '', AssignOutboundID: 'N', SafetyBox: '' };
    if (kind === 'users')
        return { Name: '', Description: '' };
    return { Name: '', Description: '', OutboundAddress: '', KeyList: '', Users: [], ReadOnly: 'N' };
}

// The rows of a table that a filter leaves, sorted: `text` matched in any of `columns`
// ignoring letter case; `sort` = {column, ascending}.
// `haystacks` (from searchTexts) spares lower-casing every row again at each keystroke.
export function filterRows(rows, text, columns, sort, haystacks = null) {
    const needle = text.trim().toLowerCase();
    const texts = needle && !haystacks ? searchTexts(rows, columns) : haystacks;
    let out = needle ? rows.filter((_r, i) => texts[i].includes(needle)) : rows.slice();
    if (sort && sort.column) {
        const col = sort.column;
        const dir = sort.ascending ? 1 : -1;
        const collator = new Intl.Collator(undefined, { sensitivity: 'base', numeric: true });
        out.sort((a, b) => dir * collator.compare(String(a[col] ?? ''), String(b[col] ?? '')));
    }
    return out;
}

// Each row's columns in lower case, one text a row, for filterRows. A line break parts the
// columns, so a filter text never matches across two of them.
export function searchTexts(rows, columns) {
    return rows.map(r => columns.map(c => String(r[c] ?? '')).join('\n').toLowerCase());
}

// A membership list (a group's users, an account's groups): every name that exists, with
// the names the list holds ticked; names the list holds that do not exist come first, ticked,
// so they can be unticked. `filter` and `checkedOnly` narrow it.
export function membership(allNames, listed, filter = '', checkedOnly = false) {
    const ticked = new Set(listed.map(n => n.toLowerCase()));
    const known = new Set(allNames.map(n => n.toLowerCase()));
    const rows = listed.filter(n => !known.has(n.toLowerCase())).map(name => ({ name, checked: true, unknown: true }));
    for (const name of allNames)
        rows.push({ name, checked: ticked.has(name.toLowerCase()), unknown: false });
    const needle = filter.trim().toLowerCase();
    return rows.filter(r => (!checkedOnly || r.checked) && (!needle || r.name.toLowerCase().includes(needle)));
}

// A list with a name ticked or unticked, keeping the order and spelling of the names kept.
export function toggled(listed, name, on) {
    const rest = listed.filter(n => n.toLowerCase() !== name.toLowerCase());
    return on ? [...rest, name] : rest;
}

// The findings of `check --json` by the item they name ("server", "user:tom", "group:#3").
export function findingsByItem(findings) {
    const map = new Map();
    for (const f of findings) {
        const key = f.item.toLowerCase();
        if (!map.has(key))
            map.set(key, []);
        map.get(key).push(f);
    }
    return map;
}

// The findings of one item: by its name address, or by its position address where two items
// share the name.
export function findingsOf(map, kind, id, position) {
    const word = { pops: 'pop', users: 'user', groups: 'group' }[kind];
    return [...(map.get(address(kind, id).toLowerCase()) || []),
        ...(position ? map.get(`${word}:#${position}`) || [] : [])];
}
