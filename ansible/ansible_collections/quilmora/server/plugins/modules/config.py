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
  - Works on one item at a time (O(item) with O(values), O(password) and O(state)) or on the
    whole configuration at once (O(config), in the form C(quilmora-config dump) prints).
  - Every change is computed on a private copy first, with the program's own rules; the
    configuration is written once, atomically, only when something changed (the previous
    file is kept as its C(.bak)). A second run with the same options changes nothing.
  - Supports check mode and diff mode. Passwords never appear in the diff or the output.
author:
  - Quilmora maintainers (@quilmora)
requirements:
  - C(quilmora-config) on the managed machine (the quilmora package)
options:
  folder:
    description: The server's folder, where the configuration lives.
    type: path
    default: /var/lib/quilmora
  file:
    description:
      - The configuration file in O(folder). Defaults to C(quilmora.ini), or with O(host) to the
        local copy named after the host.
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
      - The item to manage, in the words of C(quilmora-config) - C(server), C(user:NAME),
        C(group:NAME), C(pop:USERID/HOST) (split at the last C(/)), or C(KIND:#N) for the
        Nth item of its kind. C(server.smtp) names the SMTP login, for O(password) only.
      - Names compare ignoring letter case. An item named by name is created with the
        editor's defaults when absent and O(state=present).
      - Mutually exclusive with O(config).
    type: str
  state:
    description:
      - V(present) makes the item exist with the given O(values) and O(password);
        V(absent) removes it.
    type: str
    choices: [present, absent]
    default: present
  with_data:
    description:
      - With O(state=absent) on a group, also removes the group's data folder (its messages).
        Not available with O(host), since the data lies on the server's machine.
    type: bool
    default: false
  values:
    description:
      - Keys to set on the item, as C(quilmora-config dump) names them (C(Description),
        C(Port), C(Users), ...; letter case ignored).
      - Lists (C(Users), C(Newsgroups)) as YAML lists; switches as booleans; flags as C(Y)
        or C(N) (booleans are taken as C(Y)/C(N) there); numbers as numbers or strings;
        multi-line texts (C(AutoReplyBody), C(KeyList)) as YAML block texts, a final line
        break not being part of the text.
      - A value the program refuses (out of range, a group name the name check refuses, a
        password key) fails the task with the program's message; nothing is written.
    type: dict
  password:
    description:
      - The item's password, set as C(quilmora-config passwd) sets it - on C(server) the
        administrator's (kept as its digest), on C(server.smtp) the SMTP login's, on a user
        the user's (digest), on an account its mailbox password.
      - Reported as a change only when the stored password differs.
    type: str
  config:
    description:
      - The whole configuration, as C(quilmora-config dump) prints it and C(apply) takes it
        (C(server), C(pops), C(users), C(groups); C(oldFormat) may be left out).
      - Mutually exclusive with O(item).
    type: dict
  host:
    description:
      - Work through the remote configuration protocol - fetch the configuration of the
        server at this address into its local copy in O(folder), change it, and return it to
        the server only when something changed. A return is refused when the server's
        configuration changed since it was fetched.
    type: str
  port:
    description: The server's configuration port.
    type: int
    default: 35000
  login_user:
    description: The administrator's user name on the server.
    type: str
  login_password:
    description: The administrator's password on the server.
    type: str
notes:
  - The module runs C(quilmora-config) several times on a private copy and writes the
    configuration with one C(quilmora-config apply). A configuration in the old format is
    converted by the first change, as the editor's next save would.
seealso:
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
      ReadOnly: N

- name: An incoming account filing into sales
  quilmora.server.config:
    item: pop:sales/pop.harbour.example
    values:
      Port: 110
      Newsgroups: [sales]
      DefaultGroup: sales
      AutoReply: Y
      AutoReplyBody: |
        Thank you for your message.
        We will answer within one working day.
    password: "{{ vault_sales_mailbox }}"

- name: Server settings
  quilmora.server.config:
    item: server
    values:
      Name: Harbour Office
      SMTPHost: mail.harbour.example
      LogSize: 512

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

- name: The whole configuration from a file kept in version control
  quilmora.server.config:
    config: "{{ lookup('file', 'harbour.json') | from_json }}"
'''

RETURN = r'''
path:
  description: The configuration file (with O(host), the local copy).
  returned: always
  type: str
  sample: /var/lib/quilmora/quilmora.ini
findings:
  description: The findings of C(quilmora-config check) on the configuration after the change.
  returned: always
  type: list
  elements: dict
  sample: [{"level": "warning", "code": "empty-password", "item": "user:#2", "message": "..."}]
'''

import json
import os
import shutil
import tempfile

from ansible.module_utils.basic import AnsibleModule

# Byte strings that hold passwords or their digests: never shown.
PASSWORD_KEYS = ('AdminPass', 'SMTPUserPass', 'Password', 'Pass')
KINDS = {'user': 'users', 'group': 'groups', 'pop': 'pops'}
MASK = '********'


class Cli(object):
    """quilmora-config on one folder and file."""

    def __init__(self, module, executable, folder, file_name, encoding):
        self.module = module
        self.executable = executable
        self.folder = folder
        self.file_name = file_name
        self.encoding = encoding

    def on(self, folder):
        return Cli(self.module, self.executable, folder, self.file_name, self.encoding)

    def run(self, args, data=None, check=True, remote=False):
        cmd = [self.executable, '--folder', self.folder]
        # pull and push name the local copy by its host, never by --file.
        if self.file_name and not remote:
            cmd += ['--file', self.file_name]
        if self.encoding:
            cmd += ['--encoding', self.encoding]
        cmd += args
        rc, out, err = self.module.run_command(cmd, data=data, binary_data=True)
        if check and rc != 0:
            self.fail(err or out, rc)
        return rc, out, err

    def fail(self, message, rc=1):
        self.module.fail_json(msg=(message or 'quilmora-config failed').strip(), rc=rc)

    def dump(self):
        return json.loads(self.run(['dump'])[1])

    def findings(self):
        # check exits 1 when an error-level finding exists: that is a result, not a failure.
        rc, out, err = self.run(['check', '--json'], check=False)
        if rc not in (0, 1):
            self.fail(err, rc)
        return json.loads(out or '[]')


def parse_item(item):
    """(kind, name) of an address that names an item by name; (kind, None) otherwise."""
    if item in ('server', 'server.smtp'):
        return item, None
    kind, sep, rest = item.partition(':')
    if not sep or kind not in KINDS:
        return None, None
    if rest.startswith('#'):
        return kind, None
    if rest.startswith('='):
        rest = rest[1:]
    return kind, rest


def find_named(dump, kind, name):
    """True when the dump holds an item of the kind with that name (letter case ignored)."""
    wanted = name.casefold()
    for entry in dump.get(KINDS[kind], []):
        if kind == 'pop':
            user_id, _, host = name.rpartition('/')
            if entry.get('UserID', '').casefold() == user_id.casefold() and \
                    entry.get('Host', '').casefold() == host.casefold():
                return True
        elif entry.get('Name', '').casefold() == wanted:
            return True
    return False


def value_text(value, current):
    if isinstance(value, bool):
        # A flag is held as "Y"/"N" (the dump shows it as a string), a switch as true/false.
        if isinstance(current, str):
            return 'Y' if value else 'N'
        return 'true' if value else 'false'
    return value if isinstance(value, str) else str(value)


class Change(object):
    def __init__(self, module, cli, work):
        self.module = module
        self.cli = cli
        self.work = work

    def text_file(self, text, encoding=None):
        """A private file holding the text: a value in the configuration's character set,
        a JSON text in UTF-8."""
        fd, path = tempfile.mkstemp(dir=self.work, prefix='value-')
        with os.fdopen(fd, 'wb') as f:
            f.write(text.encode(encoding or self.module.params['encoding'] or 'utf-8'))
        return path

    def set_values(self, item, values):
        current = json.loads(self.cli.run(['get', item])[1])
        lower = dict((k.lower(), v) for k, v in current.items())
        for key, value in values.items():
            target = '%s.%s' % (item, key)
            now = lower.get(key.lower())
            if isinstance(value, (list, tuple)):
                self.cli.run(['set', target] + [value_text(v, None) for v in value])
            elif isinstance(value, dict) or value is None:
                self.cli.fail('%s: a value must be a text, a number, a switch or a list' % target)
            elif isinstance(value, (bool, int, float)):
                self.cli.run(['set', target, value_text(value, now)])
            else:
                # Texts through a file: any character, several lines, a leading dash.
                self.cli.run(['set', target, '--value-file', self.text_file(value)])

    def set_password(self, item, password):
        self.cli.run(['passwd', item, '--password-file', '-'], data=password.encode('utf-8'))

    def present(self, item, values, password):
        kind, name = parse_item(item)
        if kind is None:
            self.cli.fail('Not an item address: %s (server, user:NAME, group:NAME, pop:USERID/HOST)' % item)
        if kind == 'server.smtp' and values:
            self.cli.fail('server.smtp takes a password only; set server keys on item server')
        if kind not in ('server', 'server.smtp'):
            rc, out, err = self.cli.run(['get', item], check=False)
            if rc != 0:
                if name is None or find_named(self.cli.dump(), kind, name):
                    self.cli.fail(err, rc)
                self.cli.run(['add', kind, name])
        if values:
            self.set_values(item, values)
        if password is not None:
            self.set_password(item, password)

    def apply(self, config):
        config = dict(config)
        config.setdefault('oldFormat', False)
        path = self.text_file(json.dumps(config, ensure_ascii=False), 'utf-8')
        self.cli.run(['apply', path])


def masked(dump, reference=None):
    """The dump with its passwords hidden; where `reference` holds the same item with
    another password, the password shows as changed."""
    def mask(entry, ref):
        out = dict(entry)
        for key in PASSWORD_KEYS:
            if key in out:
                old = ref.get(key) if ref is not None else None
                if ref is not None and old != out[key]:
                    out[key] = MASK + ' (changed)' if out[key] else '(none)'
                else:
                    out[key] = MASK if out[key] else '(none)'
        return out

    result = dict(dump)
    ref = reference or {}
    if 'server' in result:
        result['server'] = mask(result['server'], ref.get('server') if reference else None)
    for plural in KINDS.values():
        if plural in result:
            refs = ref.get(plural, []) if reference else []
            result[plural] = [mask(e, refs[i] if i < len(refs) else None) for i, e in enumerate(result[plural])]
    return result


def as_text(dump):
    return json.dumps(dump, indent=2, ensure_ascii=False, sort_keys=False) + '\n'


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
            config=dict(type='dict'),
            host=dict(type='str'),
            port=dict(type='int', default=35000),
            login_user=dict(type='str'),
            login_password=dict(type='str', no_log=True),
        ),
        mutually_exclusive=[('item', 'config')],
        required_one_of=[('item', 'config')],
        supports_check_mode=True,
    )
    p = module.params
    if p['config'] is not None and p['state'] == 'absent':
        module.fail_json(msg='state=absent needs an item, not a config')
    if p['state'] == 'absent' and (p['values'] or p['password'] is not None):
        module.fail_json(msg='values and password go with state=present')
    if p['host'] and p['with_data']:
        module.fail_json(msg="with_data is not available with host: the group's data lies on the server's machine")

    executable = p['executable'] or module.get_bin_path('quilmora-config', required=True)
    folder = os.path.abspath(p['folder'])
    work = tempfile.mkdtemp(prefix='quilmora-ansible-')
    try:
        result = run(module, executable, folder, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    module.exit_json(**result)


def run(module, executable, folder, work):
    p = module.params
    file_name = p['file']
    cli = Cli(module, executable, folder, file_name, p['encoding'])

    login = []
    if p['host']:
        login = ['--port', str(p['port'])]
        if p['login_user'] is not None:
            login += ['--user', p['login_user']]
        secret = None
        if p['login_password'] is not None:
            login += ['--password-file', '-']
            secret = p['login_password'].encode('utf-8')
        # In check mode the fetched copy goes to the private folder: nothing is written.
        fetch_folder = os.path.join(work, 'fetched') if module.check_mode else folder
        if not os.path.isdir(fetch_folder):
            os.makedirs(fetch_folder)
        cli = Cli(module, executable, fetch_folder, file_name or p['host'], p['encoding'])
        cli.run(['pull', p['host']] + login, data=secret, remote=True)

    path = os.path.join(cli.folder, cli.file_name or 'quilmora.ini')
    before = cli.dump()

    if p['state'] == 'absent':
        kind, name = parse_item(p['item'])
        rc, out, err = cli.run(['get', p['item']], check=False)
        if rc != 0 and (kind is None or name is None or find_named(before, kind, name)):
            cli.fail(err, rc)
        changed = rc == 0
        after = before
        final = cli
        if changed:
            shadow = shadow_copy(cli, work, path, before)
            shadow.run(['remove', p['item']])
            after = shadow.dump()
            final = shadow
            if not module.check_mode:
                cli.run(['remove', p['item']] + (['--with-data'] if p['with_data'] else []))
                final = cli
    else:
        shadow = shadow_copy(cli, work, path, before)
        change = Change(module, shadow, work)
        if p['config'] is not None:
            change.apply(p['config'])
        else:
            change.present(p['item'], p['values'] or {}, p['password'])
        after_text = shadow.run(['dump'])[1]
        after = json.loads(after_text)
        changed = after != before
        final = shadow
        if changed and not module.check_mode:
            # One write of the real file, whatever number of steps the change took.
            cli.run(['apply', change.text_file(after_text, 'utf-8')])
            final = cli

    if changed and p['host'] and not module.check_mode:
        cli.run(['push', p['host']] + login, data=secret_of(p), remote=True)

    result = dict(changed=changed, path=path, findings=final.findings())
    if module._diff:
        old = masked(before)
        result['diff'] = dict(before=as_text(old), after=as_text(masked(after, before)),
                              before_header=path, after_header=path)
    return result


def secret_of(p):
    return p['login_password'].encode('utf-8') if p['login_password'] is not None else None


def shadow_copy(cli, work, path, before):
    """A private copy of the configuration to change first."""
    shadow_folder = os.path.join(work, 'shadow')
    if os.path.isdir(shadow_folder):
        shutil.rmtree(shadow_folder)
    os.makedirs(shadow_folder)
    name = cli.file_name or 'quilmora.ini'
    shutil.copyfile(path, os.path.join(shadow_folder, name))
    shadow = cli.on(shadow_folder)
    if before.get('oldFormat'):
        # Files an old-format configuration names stay where they are: carry what the load
        # read from them over as the configuration's own values.
        fd, dumped = tempfile.mkstemp(dir=work, prefix='dump-')
        with os.fdopen(fd, 'w', encoding='utf-8') as f:
            json.dump(before, f, ensure_ascii=False)
        shadow.run(['apply', dumped])
    return shadow


if __name__ == '__main__':
    main()
