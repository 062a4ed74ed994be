#!/usr/bin/python3
# -*- coding: utf-8 -*-
# Copyright: Quilmora maintainers
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: config
short_description: Manage the configuration of a Quilmora server
version_added: "1.5.0"
description:
  - Manages C(quilmora.ini), the configuration of a Quilmora mail-to-news gateway, through
    C(quilmora-config), on the server's own machine or through the server's remote
    configuration protocol.
  - Works on one item (I(item) with I(values), I(password) and I(state)), on whole lists of
    users, groups and incoming accounts (I(users), I(groups), I(pops), optionally
    I(exclusive)), or on the whole configuration (I(config), in the form
    C(quilmora-config dump) prints).
  - A task reads the configuration once and, only when something is to change, writes it
    once with C(quilmora-config apply --merge), whatever the length of the lists. Values
    travel to the program as JSON on its standard input, never as command-line words.
  - The write is guarded - it is refused when the file changed since the task read it (its
    SHA-256 differs); the task then fails and writes nothing. It is also refused when the
    result would have new findings of the level I(fail_on_findings) names.
  - Passwords and digests never appear in the output, the diff or the logs, at any verbosity.
author:
  - Quilmora maintainers (@quilmora)
requirements:
  - C(quilmora-config) on the managed machine (the quilmora package)
attributes:
  check_mode:
    description: Can run in check mode and return changed status prediction without modifying target.
    support: full
  diff_mode:
    description: Will return details on what has changed (or possibly needs changing in check mode), when in diff mode.
    support: full
  platform:
    description: Target OS/families that can be operated against.
    support: full
    platforms: posix
options:
  folder:
    description: The server's folder, where the configuration lives.
    type: path
    default: /var/lib/quilmora
  file:
    description:
      - The configuration file in I(folder); C(quilmora.ini) by default.
      - Not with I(host), whose local copy is named after the host.
    type: str
  encoding:
    description:
      - The character set of the configuration's text (for example C(windows-1252)); the
        locale's when not given. Values are given to the module as Unicode text.
    type: str
  executable:
    description: The C(quilmora-config) program to run; looked up on PATH by default.
    type: path
  item:
    description:
      - One item to manage, in the words of C(quilmora-config) - C(server), C(user:NAME),
        C(group:NAME), C(pop:USERID/HOST) (split at the last C(/)), or C(KIND:#N) for the
        Nth item of its kind. C(server.smtp) names the SMTP login, for I(password) only.
      - Names compare ignoring letter case. An item named by name is created with the
        editor's defaults when absent and I(state=present).
    type: str
  state:
    description:
      - With I(item) - C(present) makes the item exist with the given I(values) and
        I(password); C(absent) removes it.
    type: str
    choices: [present, absent]
    default: present
  with_data:
    description:
      - A group removed (I(state=absent), or left out of I(groups) with I(exclusive)) takes
        its data folder (its messages) with it. Not available with I(host).
    type: bool
    default: false
  values:
    description:
      - Keys to set on I(item), as C(quilmora-config dump) names them (C(Description),
        C(Port), C(Users), ...; letter case ignored).
      - Lists (C(Users), C(Newsgroups)) as YAML lists - a plain text is refused; switches and
        flags (C(ReadOnly), C(AutoReply)) as Ansible booleans (C(yes), C(true), C(false)...)
        or C(Y)/C(N); numbers as numbers; multi-line texts (C(AutoReplyBody), C(KeyList)) as
        YAML block texts, a final line break not being part of the text.
      - Passwords go in I(password).
    type: dict
  password:
    description:
      - The password of I(item) - on C(server) the administrator's (kept as its digest), on
        C(server.smtp) the SMTP login's, on a user the user's (digest), on an account its
        mailbox password. A change only when the stored one differs.
    type: str
  users:
    description:
      - Users to make exist with these keys; each a mapping with C(Name) (its identity,
        letter case ignored) and any other keys of a user. C(password) gives the user's
        password in plain text (stored as its digest). Keys not given are kept.
    type: list
    elements: dict
  groups:
    description:
      - Groups to make exist with these keys; each a mapping with C(Name) and any other keys
        of a group (C(Users) a YAML list).
    type: list
    elements: dict
  pops:
    description:
      - Incoming accounts to make exist with these keys; each a mapping with C(UserID) and
        C(Host) (together its identity) and any other keys of an account. C(password) gives
        its mailbox password.
    type: list
    elements: dict
  exclusive:
    description:
      - With I(users), I(groups) or I(pops) - the items of each kind given that are not listed
        are removed (groups with their data when I(with_data)).
    type: bool
    default: false
  config:
    description:
      - The whole configuration, as C(quilmora-config dump) prints it (C(server), C(pops),
        C(users), C(groups)); items not in it are removed. Passwords as in the dump, in
        hexadecimal.
    type: dict
  backup:
    description:
      - Before writing, keep a copy of the file as it was read, named with the time
        (C(quilmora.ini.PID.DATE@TIME~)), and return its path as RV(backup_file). A later task
        never overwrites it.
    type: bool
    default: false
  fail_on_findings:
    description:
      - C(error) - the task fails, writing nothing, when the result has an error-level
        finding of C(quilmora-config check) that the configuration did not have (removing a
        user whom a group still admits, say). C(warning) - also for a new warning.
        C(never) - findings are only returned.
    type: str
    choices: [error, warning, never]
    default: error
  host:
    description:
      - Work through the remote configuration protocol - fetch the configuration of the
        server at this address into its local copy in I(folder), change it, and return it to
        the server only when something changed. A return is refused when the server's
        configuration changed since it was fetched.
    type: str
  port:
    description: The server's configuration port.
    type: int
    default: 35000
  timeout:
    description: With I(host), the seconds a fetch or a return may take before the task fails.
    type: int
  login_user:
    description:
      - The administrator's user name on the server. Taken from C(QUILMORA_LOGIN_USER) when
        not given.
    type: str
  login_password:
    description:
      - The administrator's password on the server. Taken from C(QUILMORA_LOGIN_PASSWORD)
        when not given.
    type: str
notes:
  - A task runs C(quilmora-config) at most twice (with I(host) also C(pull) and, after a
    change, C(push)) - C(dump) to read, and C(apply --merge) to write or, in check mode, to
    dry-run. An item that is already as given costs no write.
seealso:
  - module: quilmora.server.config_info
  - name: quilmora-config(1)
    description: The command-line tool this module drives.
    link: https://quilmora.example/
'''

EXAMPLES = r'''
- name: The front desk user exists, with its description and password
  quilmora.server.config:
    item: user:front desk
    values:
      Description: Sales desk
    password: "{{ vault_front_desk_password }}"

- name: The sales group admits these users
  quilmora.server.config:
    item: group:sales
    values:
      Description: Sales enquiries
      Users: [front desk, anna]
      ReadOnly: false

- name: Every user and group of the fleet in one task; unlisted users go
  quilmora.server.config:
    users:
      - {Name: front desk, Description: Sales desk}
      - {Name: anna, password: "{{ vault_anna }}"}
    groups:
      - {Name: sales, Users: [front desk, anna]}
    exclusive: true
    backup: true

- name: An incoming account filing into sales
  quilmora.server.config:
    item: pop:sales/pop.harbour.example
    values:
      Port: 110
      Newsgroups: [sales]
      DefaultGroup: sales
      AutoReply: yes
      AutoReplyBody: |
        Thank you for your message.
        We will answer within one working day.
    password: "{{ vault_sales_mailbox }}"

- name: The old group is gone, with its messages
  quilmora.server.config:
    item: group:old-projects
    state: absent
    with_data: true

- name: The same change on a server reached over the network
  quilmora.server.config:
    host: gateway.harbour.example
    login_user: admin
    login_password: "{{ vault_admin_password }}"
    folder: /var/cache/quilmora
    item: user:front desk
    values:
      Description: Sales desk
'''

RETURN = r'''
path:
  description: The configuration file (with I(host), the local copy).
  returned: always
  type: str
  sample: /var/lib/quilmora/quilmora.ini
sha256:
  description: The SHA-256 of the configuration file after the task.
  returned: always
  type: str
changes:
  description:
    - What changed (in check mode, what would change), as C(quilmora-config diff --json)
      gives it, items paired by name; passwords show as C(********).
  returned: always
  type: list
  elements: dict
  sample: [{"change": "changed", "item": "user:anna", "key": "Description", "from": "", "to": "Sales"}]
findings:
  description: The findings of C(quilmora-config check) on the result, when the task had something to change.
  returned: always
  type: list
  elements: dict
  sample: [{"level": "warning", "code": "empty-password", "item": "user:anna", "message": "..."}]
backup_file:
  description: The copy of the file taken before the write, with I(backup) and a change.
  returned: changed and backup
  type: str
  sample: /var/lib/quilmora/quilmora.ini.2291.2026-12-11@07:10:02~
'''

import hashlib
import json
import os

from ansible.module_utils.basic import AnsibleModule, env_fallback
from ansible_collections.quilmora.server.plugins.module_utils.quilmora import (
    BYTES, FLAG, INT, KEYS, KINDS, LIST, MULTI, PASSWORD_KEYS, SWITCH, TRUE_WORDS, FALSE_WORDS,
    Cli, PrivateFolder, QuilmoraError, masked_item, pull, push)

MASK = '********'


def digest(password):
    """The digest a user's or the administrator's password is kept as."""
    return hashlib.md5(password.encode('utf-8')).hexdigest().upper()  # nosec - the server's own format


def plain(password):
    return password.encode('utf-8').hex().upper()


class Request(object):
    """What the task asks for, as the changes apply --merge takes."""

    def __init__(self, module):
        self.module = module
        self.secrets = set()
        self.merge = {}
        self.needs_secrets = False

    def secret(self, value):
        if value:
            self.secrets.add(value)
            self.module.no_log_values.add(value)
        return value

    def convert(self, plural, key, value, where):
        """(the key as dump names it, the value in dump's form)."""
        for name, form in KEYS[plural]:
            if name.lower() == key.lower():
                break
        else:
            raise QuilmoraError('%s: %s has no key %s' % (where, plural.rstrip('s'), key))
        label = '%s.%s' % (where, name)
        if form is None:
            raise QuilmoraError('%s is written by the program' % label)
        if form == BYTES:
            if not isinstance(value, str):
                raise QuilmoraError('%s: a password or digest in hexadecimal, as dump shows it' % label)
            self.needs_secrets = True
            return name, self.secret(value.upper())
        if form == LIST:
            if not isinstance(value, (list, tuple)):
                raise QuilmoraError('%s takes a list of names (a YAML list such as [maria, tom]), not %r'
                                    % (label, value))
            return name, [self.text(v, label) for v in value]
        if form in (SWITCH, FLAG):
            if isinstance(value, bool):
                truth = value
            elif str(value).lower() in TRUE_WORDS:
                truth = True
            elif str(value).lower() in FALSE_WORDS:
                truth = False
            else:
                raise QuilmoraError('%s takes a boolean (yes, no, true, false, Y, N), not %r' % (label, value))
            return name, truth if form == SWITCH else ('Y' if truth else 'N')
        if form == INT:
            if isinstance(value, bool):
                raise QuilmoraError('%s takes a number, not %r' % (label, value))
            try:
                return name, int(str(value).strip(), 10)
            except ValueError:
                raise QuilmoraError('%s takes a number, not %r' % (label, value))
        text = self.text(value, label)
        if form == MULTI:
            # A YAML block text ends with a line break that is not part of the text; lines
            # are joined by CR LF.
            text = text.replace('\r\n', '\n').replace('\r', '\n')
            if text.endswith('\n'):
                text = text[:-1]
            text = text.replace('\n', '\r\n')
        return name, text

    @staticmethod
    def text(value, label):
        if isinstance(value, bool) or value is None or isinstance(value, (dict, list, tuple)):
            raise QuilmoraError('%s takes a text, not %r' % (label, value))
        return value if isinstance(value, str) else str(value)

    def item(self, plural, entry, where, password=None):
        out = {}
        for key, value in entry.items():
            if key == 'password':
                password = value
                continue
            name, converted = self.convert(plural, key, value, where)
            out[name] = converted
        identity = ('UserID', 'Host') if plural == 'pops' else ('Name',)
        for key in identity:
            if key not in out:
                raise QuilmoraError('%s: %s is missing (items are matched by it)' % (where, key))
        if password is not None:
            self.secret(password)
            key, value = ('Password', plain(password)) if plural == 'pops' else ('Pass', digest(password))
            out[key] = self.secret(value)
            self.needs_secrets = True
        return out


def parse_item(item):
    """(kind, name) of an item address; name None for a position (KIND:#N)."""
    if item in ('server', 'server.smtp'):
        return item, None
    kind, sep, rest = item.partition(':')
    if not sep or kind not in KINDS:
        raise QuilmoraError('Not an item address: %s (server, user:NAME, group:NAME, pop:USERID/HOST)' % item)
    if rest.startswith('#'):
        return kind, None
    if rest.startswith('='):
        rest = rest[1:]
    return kind, rest


def identity(plural, entry):
    if plural == 'pops':
        return ('%s/%s' % (entry.get('UserID', ''), entry.get('Host', ''))).casefold()
    return entry.get('Name', '').casefold()


def address(plural, entry):
    kind = [k for k, v in KINDS.items() if v == plural][0]
    name = '%s/%s' % (entry['UserID'], entry['Host']) if plural == 'pops' else entry['Name']
    return '%s:%s%s' % (kind, '=' if name.startswith('#') else '', name)


def build(module, request, current):
    """The changes for apply --merge, from the task's options."""
    p = module.params
    merge = {}
    if p['config'] is not None:
        config = p['config']
        server = {}
        for key, value in (config.get('server') or {}).items():
            if key.lower() == 'version':
                continue
            name, converted = request.convert('server', key, value, 'config.server')
            server[name] = converted
        merge['server'] = server
        for plural in ('pops', 'users', 'groups'):
            merge[plural] = [request.item(plural, e, 'config.%s[%d]' % (plural, i))
                             for i, e in enumerate(config.get(plural) or [])]
        merge['exclusive'] = ['pops', 'users', 'groups']
        return merge
    for plural in ('users', 'groups', 'pops'):
        if p[plural] is not None:
            merge[plural] = [request.item(plural, e, '%s[%d]' % (plural, i)) for i, e in enumerate(p[plural])]
    if p['exclusive']:
        kinds = [k for k in ('users', 'groups', 'pops') if p[k] is not None]
        if p['with_data'] and 'groups' in kinds:
            listed = set(identity('groups', e) for e in merge['groups'])
            merge['remove'] = [{'item': address('groups', g), 'withData': True}
                               for g in current['groups'] if identity('groups', g) not in listed]
        merge['exclusive'] = kinds
    if p['item'] is None:
        return merge
    kind, name = parse_item(p['item'])
    if kind in ('server', 'server.smtp'):
        if kind == 'server.smtp' and p['values']:
            raise QuilmoraError('server.smtp takes a password only; set server keys on item server')
        if p['state'] == 'absent':
            raise QuilmoraError('state=absent needs an item other than the server')
        server = merge.setdefault('server', {})
        for key, value in (p['values'] or {}).items():
            if key.lower() in [k.lower() for k in PASSWORD_KEYS]:
                raise QuilmoraError('item %s: %s is a password: use the password option' % (p['item'], key))
            key_name, converted = request.convert('server', key, value, 'server')
            server[key_name] = converted
        if p['password'] is not None:
            request.secret(p['password'])
            request.needs_secrets = True
            server['SMTPUserPass' if kind == 'server.smtp' else 'AdminPass'] = request.secret(
                plain(p['password']) if kind == 'server.smtp' else digest(p['password']))
        return merge
    plural = KINDS[kind]
    if name is None:
        # By position: the item that stands there now, named by its name.
        position = p['item'].partition('#')[2]
        items = current[plural]
        if not position.isdigit() or not 1 <= int(position) <= len(items) or position.startswith('0'):
            if p['state'] == 'absent':
                return merge
            raise QuilmoraError('No %s:#%s: there are %d' % (kind, position, len(items)))
        entry = items[int(position) - 1]
    elif kind == 'pop':
        user_id, sep, host = name.rpartition('/')
        if not sep:
            raise QuilmoraError('An account is named pop:USERID/HOST, not %s' % p['item'])
        entry = {'UserID': user_id, 'Host': host}
    else:
        entry = {'Name': name}
    if p['state'] == 'absent':
        merge['remove'] = [{'item': address(plural, entry), 'withData': bool(p['with_data'])}]
        return merge
    values = dict(p['values'] or {})
    for key in list(values):
        if key.lower() in [k.lower() for k in PASSWORD_KEYS]:
            raise QuilmoraError('item %s: %s is a password: use the password option' % (p['item'], key))
    wanted = dict((k, entry[k]) for k in (('UserID', 'Host') if plural == 'pops' else ('Name',)))
    # The item keeps the spelling its name has when it exists (letter case aside).
    for existing in current[plural]:
        if identity(plural, existing) == identity(plural, wanted):
            wanted = dict((k, existing[k]) for k in wanted)
            break
    wanted.update(values)
    merge.setdefault(plural, []).append(request.item(plural, wanted, p['item'], p['password']))
    return merge


def differs(merge, current):
    """Whether applying `merge` to `current` (a dump) would change anything."""
    for key, value in (merge.get('server') or {}).items():
        if current['server'].get(key) != value:
            return True
    for plural in ('users', 'groups', 'pops'):
        existing = dict((identity(plural, e), e) for e in current[plural])
        for entry in merge.get(plural) or []:
            had = existing.get(identity(plural, entry))
            if had is None or any(had.get(k) != v for k, v in entry.items()):
                return True
        if plural in (merge.get('exclusive') or []):
            listed = set(identity(plural, e) for e in merge.get(plural) or [])
            if any(identity(plural, e) not in listed for e in current[plural]):
                return True
    for removal in merge.get('remove') or []:
        target = removal['item'] if isinstance(removal, dict) else removal
        kind, name = parse_item(target)
        plural = KINDS[kind]
        if any(identity(plural, e) == (name or '').casefold() for e in current[plural]):
            return True
    return False


def masked_changes(changes):
    out = []
    for change in changes:
        change = dict(change)
        if change.get('key') in PASSWORD_KEYS:
            change['from'] = MASK if change.get('from') else '(none)'
            change['to'] = MASK + ' (changed)' if change.get('to') else '(none)'
        out.append(change)
    return out


def diff_text(changes, current, merge):
    """before and after, one line a key, items paired by name; no password or digest."""
    before, after = [], []

    def lines(item, entry):
        return ['%s.%s: %s' % (item, k, json.dumps(v, ensure_ascii=False))
                for k, v in sorted(masked_item(entry).items())]

    def find(item, entries):
        kind, name = parse_item(item)
        plural = KINDS[kind]
        for entry in entries.get(plural) or []:
            if identity(plural, entry) == (name or '').casefold():
                return entry
        return {}

    for change in changes:
        item = change['item']
        if change['change'] == 'changed':
            before.append('%s.%s: %s' % (item, change['key'], json.dumps(change['from'], ensure_ascii=False)))
            after.append('%s.%s: %s' % (item, change['key'], json.dumps(change['to'], ensure_ascii=False)))
        elif change['change'] == 'removed':
            before.append(item)
            before.extend(lines(item, find(item, current)))
        else:
            after.append(item)
            after.extend(lines(item, find(item, merge)))
    return '\n'.join(before) + ('\n' if before else ''), '\n'.join(after) + ('\n' if after else '')


def sha256_of(path):
    with open(path, 'rb') as f:
        return hashlib.sha256(f.read()).hexdigest()


def run(module, request, cli):
    p = module.params
    # Passwords are compared with what is stored: read with them only when the task gives
    # one (they are never returned).
    # Only the kinds the task touches are read: a server key on a large configuration costs
    # no copy of its items.
    only = ['server']
    if p['config'] is not None:
        only = None
    else:
        only += [k for k in ('pops', 'users', 'groups') if p[k] is not None]
        if p['item'] not in (None, 'server', 'server.smtp') and p['item'].partition(':')[0] in KINDS:
            only.append(KINDS[p['item'].partition(':')[0]])
    current, sha = cli.dump(secrets=request.needs_secrets, only=only)
    for plural in ('pops', 'users', 'groups'):
        current.setdefault(plural, [])
    merge = build(module, request, current)
    result = dict(changed=False, path=cli.path, sha256=sha, changes=[], findings=[])
    if not differs(merge, current):
        return result, False
    args = ['apply', '--merge', '--json', '--expect-sha256', sha]
    if p['fail_on_findings'] != 'never':
        args += ['--fail-on-findings', p['fail_on_findings']]
    if module.check_mode:
        args.append('--dry-run')
    backup_file = None
    if p['backup'] and not module.check_mode:
        backup_file = module.backup_local(cli.path)
        if sha256_of(backup_file) != sha:
            os.unlink(backup_file)
            raise QuilmoraError('The configuration changed since it was read: %s; nothing was written' % cli.path)
    try:
        answer = json.loads(cli.run(args + ['--', '-'], data=json.dumps(merge).encode('utf-8'))[1])
    except QuilmoraError:
        if backup_file:
            os.unlink(backup_file)
        raise
    result.update(changed=answer['changed'], sha256=answer['sha256'], changes=masked_changes(answer['changes']),
                  findings=answer['findings'])
    if backup_file and answer['changed']:
        result['backup_file'] = backup_file
    elif backup_file:
        os.unlink(backup_file)
    if module._diff and answer['changed']:
        before, after = diff_text(result['changes'], current, merge)
        result['diff'] = dict(before=before, after=after, before_header=cli.path, after_header=cli.path)
    return result, answer['changed']


def main():
    module = AnsibleModule(
        argument_spec=dict(
            folder=dict(type='path', default='/var/lib/quilmora'),
            file=dict(type='str'),
            encoding=dict(type='str'),
            executable=dict(type='path'),
            item=dict(type='str'),
            state=dict(type='str', choices=['present', 'absent'], default='present'),
            with_data=dict(type='bool', default=False),
            values=dict(type='dict'),
            password=dict(type='str', no_log=True),
            users=dict(type='list', elements='dict'),
            groups=dict(type='list', elements='dict'),
            pops=dict(type='list', elements='dict'),
            exclusive=dict(type='bool', default=False),
            config=dict(type='dict'),
            backup=dict(type='bool', default=False),
            fail_on_findings=dict(type='str', choices=['error', 'warning', 'never'], default='error'),
            host=dict(type='str'),
            port=dict(type='int', default=35000),
            timeout=dict(type='int'),
            login_user=dict(type='str', fallback=(env_fallback, ['QUILMORA_LOGIN_USER'])),
            login_password=dict(type='str', no_log=True, fallback=(env_fallback, ['QUILMORA_LOGIN_PASSWORD'])),
        ),
        mutually_exclusive=[('item', 'config'), ('users', 'config'), ('groups', 'config'), ('pops', 'config')],
        required_one_of=[('item', 'config', 'users', 'groups', 'pops')],
        supports_check_mode=True,
    )
    p = module.params
    request = Request(module)
    # What the task was given in dump's form (hexadecimal passwords) stays out of the logs.
    for entries in [(p['config'] or {}).get(k) or [] for k in ('users', 'groups', 'pops')] + \
            [[(p['config'] or {}).get('server') or {}]] + [p[k] or [] for k in ('users', 'groups', 'pops')]:
        for entry in entries:
            for key, value in (entry or {}).items():
                if key in PASSWORD_KEYS or key == 'password':
                    request.needs_secrets = True
                    request.secret(value if isinstance(value, str) else None)
                    if isinstance(value, str) and key in PASSWORD_KEYS:
                        request.secret(value.upper())
                        request.secret(value.lower())
    if p['password'] is not None:
        request.needs_secrets = True
        request.secret(digest(p['password']))
        request.secret(plain(p['password']))
    for entries in [p[k] or [] for k in ('users', 'pops')]:
        for entry in entries:
            if isinstance(entry.get('password'), str):
                request.secret(digest(entry['password']))
                request.secret(plain(entry['password']))
    if p['state'] == 'absent' and (p['values'] or p['password'] is not None):
        module.fail_json(msg='values and password go with state=present')
    if p['host'] and p['with_data']:
        module.fail_json(msg="with_data is not available with host: the group's data lies on the server's machine")
    if p['host'] and p['file']:
        module.fail_json(msg='file does not go with host: the local copy is named after the host')
    if p['exclusive'] and not any(p[k] is not None for k in ('users', 'groups', 'pops')):
        module.fail_json(msg='exclusive needs users, groups or pops')

    executable = p['executable'] or module.get_bin_path('quilmora-config', required=True)
    folder = os.path.abspath(p['folder'])
    try:
        if p['host']:
            with PrivateFolder() as private:
                # In check mode the fetched copy goes to a private folder: nothing is written.
                fetch_folder = private if module.check_mode else folder
                if not os.path.isdir(fetch_folder):
                    os.makedirs(fetch_folder)
                cli = Cli(module, executable, fetch_folder, p['host'], p['encoding'])
                pull(cli, p['host'], p)
                result, changed = run(module, request, cli)
                if changed and not module.check_mode:
                    push(cli, p['host'], p)
                if module.check_mode:
                    result['path'] = os.path.join(folder, p['host'])
        else:
            cli = Cli(module, executable, folder, p['file'], p['encoding'])
            result, changed = run(module, request, cli)
    except QuilmoraError as e:
        module.fail_json(msg=str(e))
    module.exit_json(**result)


if __name__ == '__main__':
    main()
