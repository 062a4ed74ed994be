# -*- coding: utf-8 -*-
# Copyright: Quilmora maintainers
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
"""quilmora-config as the collection's modules run it: values travel as JSON on standard
input, never as command-line words."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os
import shutil
import tempfile

# Passwords and digests, as dump shows them (upper-case hexadecimal): never shown.
PASSWORD_KEYS = ('AdminPass', 'SMTPUserPass', 'Password', 'Pass')
KINDS = {'user': 'users', 'group': 'groups', 'pop': 'pops'}

TEXT, MULTI, INT, SWITCH, FLAG, LIST, BYTES = 'text', 'multi', 'int', 'switch', 'flag', 'list', 'bytes'
# The keys of each kind and their forms, as quilmora-config's dump names them.
KEYS = {
    'server': [('Port', INT), ('Name', TEXT), ('Version', None), ('SMTPHost', TEXT), ('OutboundPrefix', TEXT),
               ('OutboundMarker', TEXT), ('BindIP', TEXT), ('AdminEmail', TEXT), ('AdminEmailActive', SWITCH),
               ('SMTPUserID', TEXT), ('SMTPUserPass', BYTES), ('SMTPPort', INT), ('LogSize', INT), ('Log', INT),
               ('AdminUser', TEXT), ('AdminPass', BYTES), ('ConfigPort', INT)],
    'pops': [('Host', TEXT), ('Port', INT), ('UserID', TEXT), ('Password', BYTES), ('Newsgroups', LIST),
             ('DefaultGroup', TEXT), ('AutoReply', FLAG), ('AutoReplyFrom', TEXT), ('AutoReplyBody', MULTI),
             ('AutoReplySubject', TEXT), ('AutoReplyFromIgnore', TEXT), ('AssignOutboundID', FLAG),
             ('SafetyBox', TEXT)],
    'users': [('Name', TEXT), ('Pass', BYTES), ('Description', TEXT)],
    'groups': [('Name', TEXT), ('Description', TEXT), ('OutboundAddress', TEXT), ('KeyList', MULTI),
               ('Users', LIST), ('ReadOnly', FLAG)],
}
TRUE_WORDS = ('y', 'yes', 'on', '1', 'true', 't')
FALSE_WORDS = ('n', 'no', 'off', '0', 'false', 'f')


class QuilmoraError(Exception):
    """A refusal, with the message the task fails with."""


class Cli(object):
    """quilmora-config on one folder and file."""

    def __init__(self, module, executable, folder, file_name=None, encoding=None):
        self.module = module
        self.executable = executable
        self.folder = folder
        self.file_name = file_name
        self.encoding = encoding

    def command(self, args, remote=False):
        cmd = [self.executable, '--folder', self.folder]
        # pull and push name the local copy by its host, never by --file.
        if self.file_name and not remote:
            cmd += ['--file', self.file_name]
        if self.encoding:
            cmd += ['--encoding', self.encoding]
        return cmd + args

    def run(self, args, data=None, remote=False, ok=(0,)):
        rc, out, err = self.module.run_command(self.command(args, remote), data=data, binary_data=True)
        if rc not in ok:
            raise QuilmoraError((err or out or 'quilmora-config failed').strip())
        return rc, out, err

    @property
    def path(self):
        return os.path.join(self.folder, self.file_name or 'quilmora.ini')

    def dump(self, secrets=False, only=None):
        """The configuration (with `only`, those members of it) and the SHA-256 of the bytes
        it was read from."""
        args = ['dump', '--sha256'] + ([] if secrets else ['--no-secrets'])
        if only:
            args += ['--only', ','.join(only)]
        config = json.loads(self.run(args)[1])
        return config, config.pop('sha256')


def remote_login(params):
    """The pull/push options and the password for standard input."""
    login = ['--port', str(params['port'])]
    if params.get('timeout'):
        login += ['--timeout', str(params['timeout'])]
    if params['login_user'] is not None:
        login += ['--user', params['login_user']]
    secret = None
    if params['login_password'] is not None:
        login += ['--password-file', '-']
        secret = params['login_password'].encode('utf-8')
    return login, secret


def pull(cli, host, params):
    login, secret = remote_login(params)
    cli.run(['pull'] + login + ['--', host], data=secret, remote=True)


def push(cli, host, params):
    login, secret = remote_login(params)
    cli.run(['push'] + login + ['--', host], data=secret, remote=True)


class PrivateFolder(object):
    """A private folder, removed afterwards."""

    def __enter__(self):
        self.path = tempfile.mkdtemp(prefix='quilmora-ansible-')
        return self.path

    def __exit__(self, *args):
        shutil.rmtree(self.path, ignore_errors=True)


def masked_item(entry):
    out = dict(entry)
    for key in PASSWORD_KEYS:
        if key in out:
            out[key] = '********' if out[key] else '(none)'
    return out
