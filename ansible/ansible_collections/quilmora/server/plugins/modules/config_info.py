#!/usr/bin/python3
# -*- coding: utf-8 -*-
# Copyright: Quilmora maintainers
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: config_info
short_description: Read the configuration of a Quilmora server
version_added: "1.6.0"
description:
  - Returns the configuration of a Quilmora mail-to-news gateway as C(quilmora-config dump)
    prints it, with every password and digest left out, and the SHA-256 of the file read.
  - Changes nothing; runs the same in check mode.
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
    support: none
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
    description: The configuration file in I(folder); C(quilmora.ini) by default. Not with I(host).
    type: str
  encoding:
    description: The character set of the configuration's text; the locale's when not given.
    type: str
  executable:
    description: The C(quilmora-config) program to run; looked up on PATH by default.
    type: path
  host:
    description:
      - Read the configuration of the server at this address through the remote configuration
        protocol (fetched into a private folder that is removed afterwards).
    type: str
  port:
    description: The server's configuration port.
    type: int
    default: 35000
  timeout:
    description: With I(host), the seconds the fetch may take.
    type: int
  login_user:
    description: The administrator's user name on the server (default C(QUILMORA_LOGIN_USER)).
    type: str
  login_password:
    description: The administrator's password on the server (default C(QUILMORA_LOGIN_PASSWORD)).
    type: str
seealso:
  - module: quilmora.server.config
'''

EXAMPLES = r'''
- name: What the gateway holds
  quilmora.server.config_info:
  register: gateway

- name: Every group's name
  ansible.builtin.debug:
    msg: "{{ gateway.config.groups | map(attribute='Name') | list }}"
'''

RETURN = r'''
config:
  description: The configuration in C(quilmora-config dump)'s form, without C(AdminPass), C(SMTPUserPass), C(Pass) and C(Password).
  returned: always
  type: dict
sha256:
  description: The SHA-256 of the configuration file's bytes as read.
  returned: always
  type: str
path:
  description: The configuration file read.
  returned: always
  type: str
'''

import os

from ansible.module_utils.basic import AnsibleModule, env_fallback
from ansible_collections.quilmora.server.plugins.module_utils.quilmora import Cli, PrivateFolder, QuilmoraError, pull


def main():
    module = AnsibleModule(
        argument_spec=dict(
            folder=dict(type='path', default='/var/lib/quilmora'),
            file=dict(type='str'),
            encoding=dict(type='str'),
            executable=dict(type='path'),
            host=dict(type='str'),
            port=dict(type='int', default=35000),
            timeout=dict(type='int'),
            login_user=dict(type='str', fallback=(env_fallback, ['QUILMORA_LOGIN_USER'])),
            login_password=dict(type='str', no_log=True, fallback=(env_fallback, ['QUILMORA_LOGIN_PASSWORD'])),
        ),
        mutually_exclusive=[('host', 'file')],
        supports_check_mode=True,
    )
    p = module.params
    executable = p['executable'] or module.get_bin_path('quilmora-config', required=True)
    try:
        if p['host']:
            with PrivateFolder() as private:
                cli = Cli(module, executable, private, p['host'], p['encoding'])
                pull(cli, p['host'], p)
                config, sha = cli.dump()
                path = os.path.join(os.path.abspath(p['folder']), p['host'])
        else:
            cli = Cli(module, executable, os.path.abspath(p['folder']), p['file'], p['encoding'])
            config, sha = cli.dump()
            path = cli.path
    except QuilmoraError as e:
        module.fail_json(msg=str(e))
    module.exit_json(changed=False, config=config, sha256=sha, path=path)


if __name__ == '__main__':
    main()
