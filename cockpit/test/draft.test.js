// The draft's logic: edits over the configuration as read, undo, the change object handed to
// `apply --merge`, and the tables' filter and membership lists.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { Draft, address, filterRows, findingsByItem, findingsOf, membership, toggled } from '../src/draft.js';

const config = () => ({
    oldFormat: false,
    server: { Port: 119, Name: 'Office', Log: 1 },
    pops: [{ Host: 'pop.example', Port: 110, UserID: 'ann', Newsgroups: ['sales'], DefaultGroup: 'sales' }],
    users: [{ Name: 'front desk', Description: 'Desk' }, { Name: 'Maria', Description: '' }],
    groups: [{ Name: 'sales', Description: '', Users: ['front desk'], ReadOnly: 'N' }],
});

test('edits show over the configuration and become one change object', () => {
    const d = new Draft(config());
    d.set('server', null, 'Port', 120);
    d.set('users', 'MARIA', 'Description', 'Sales');
    assert.equal(d.view().server.Port, 120);
    assert.equal(d.find('users', 'maria').Description, 'Sales');
    assert.equal(d.base.users[1].Description, '', 'the configuration as read is kept');
    // The item's own spelling of its name goes to quilmora-config.
    assert.deepEqual(d.merge(), { server: { Port: 120 }, users: [{ Name: 'Maria', Description: 'Sales' }] });
});

test('typing into one field is one edit; typing back to the value read is none', () => {
    const d = new Draft(config());
    for (const t of ['S', 'Sa', 'Sal'])
        d.set('users', 'Maria', 'Description', t);
    assert.equal(d.size, 1);
    d.set('users', 'Maria', 'Description', '');
    assert.equal(d.size, 0);
    d.set('server', null, 'Name', 'Office');
    assert.equal(d.size, 0, 'setting the value read is no edit');
});

test('undo takes back the last edits one by one', () => {
    const d = new Draft(config());
    d.set('server', null, 'Port', 120);
    d.add('groups', { Name: 'support' });
    d.set('groups', 'support', 'Users', ['Maria']);
    assert.equal(d.undo().key, 'Users');
    assert.deepEqual(d.find('groups', 'support').Users, []);
    d.undo();
    assert.equal(d.find('groups', 'support'), null);
    assert.deepEqual(d.merge(), { server: { Port: 120 } });
});

test('added and removed items', async t => {
    await t.test('a new group with two users', () => {
        const d = new Draft(config());
        assert.ok(d.add('groups', { Name: 'support' }));
        d.set('groups', 'support', 'Users', ['front desk', 'Maria']);
        assert.ok(d.find('groups', 'support')._new);
        assert.deepEqual(d.merge(), { groups: [{ Name: 'support', Users: ['front desk', 'Maria'] }] });
    });
    await t.test('a name taken, letter case ignored, is refused', () => {
        const d = new Draft(config());
        assert.equal(d.add('users', { Name: 'maria' }), false);
        assert.equal(d.size, 0);
    });
    await t.test('an account is named by user ID and host', () => {
        const d = new Draft(config());
        d.add('pops', { UserID: 'bob', Host: 'mail.example' });
        d.set('pops', 'ann/pop.example', 'Port', 995);
        assert.deepEqual(d.merge().pops, [{ UserID: 'bob', Host: 'mail.example' },
            { UserID: 'ann', Host: 'pop.example', Port: 995 }]);
    });
    await t.test('removing drops the item and its pending keys; a group may take its data', () => {
        const d = new Draft(config());
        d.set('groups', 'sales', 'Description', 'x');
        d.remove('groups', 'sales', true);
        d.remove('users', 'Maria', true);
        assert.equal(d.view().groups.length, 0);
        assert.deepEqual(d.merge(), { remove: [{ item: 'group:sales', withData: true }, 'user:Maria'] });
    });
    await t.test('an item added and removed in the draft leaves nothing', () => {
        const d = new Draft(config());
        d.add('users', { Name: 'temp' });
        d.set('users', 'temp', 'Description', 'x');
        d.remove('users', 'temp');
        assert.deepEqual(d.merge(), {});
    });
});

test('rebase keeps the edits over the configuration read again', () => {
    const d = new Draft(config());
    d.set('users', 'Maria', 'Description', 'Sales');
    const again = config();
    again.server.Name = 'Changed outside';
    d.rebase(again);
    assert.equal(d.view().server.Name, 'Changed outside');
    assert.equal(d.find('users', 'Maria').Description, 'Sales');
});

test('addresses: a name that begins with # is not a position', () => {
    assert.equal(address('groups', 'sales'), 'group:sales');
    assert.equal(address('users', '#2'), 'user:=#2');
    assert.equal(address('pops', 'ann/pop.example'), 'pop:ann/pop.example');
});

test('filter and sort of a table', () => {
    const rows = [{ Name: 'b10' }, { Name: 'B2', Description: 'x' }, { Name: 'a' }];
    assert.deepEqual(filterRows(rows, ' b ', ['Name'], null).map(r => r.Name), ['b10', 'B2']);
    assert.deepEqual(filterRows(rows, '', ['Name'], { column: 'Name', ascending: true }).map(r => r.Name), ['a', 'B2', 'b10']);
    assert.deepEqual(filterRows(rows, 'X', ['Name', 'Description'], null).map(r => r.Name), ['B2']);
});

test('membership lists: ticks, unknown names, filter and checked only', () => {
    const all = ['front desk', 'Maria', 'Tom'];
    const listed = ['maria', 'gone'];
    assert.deepEqual(membership(all, listed).map(r => [r.name, r.checked, r.unknown]),
                     [['gone', true, true], ['front desk', false, false], ['Maria', true, false], ['Tom', false, false]]);
    assert.deepEqual(membership(all, listed, '', true).map(r => r.name), ['gone', 'Maria']);
    assert.deepEqual(membership(all, listed, 'MA').map(r => r.name), ['Maria']);
    assert.deepEqual(toggled(['maria', 'gone'], 'Maria', false), ['gone']);
    assert.deepEqual(toggled(['gone'], 'Tom', true), ['gone', 'Tom']);
});

test('findings by item, by name and by position', () => {
    const map = findingsByItem([
        { level: 'error', code: 'unknown-user', item: 'group:sales', message: 'a' },
        { level: 'warning', code: 'duplicate-name', item: 'group:#3', message: 'b' },
    ]);
    assert.equal(findingsOf(map, 'groups', 'SALES', 1).length, 1);
    assert.equal(findingsOf(map, 'groups', 'sales', 3).length, 2);
    assert.equal(findingsOf(map, 'users', 'sales', 1).length, 0);
});
