#!/usr/bin/env bash
# The Ansible collection on the 20,000-user configuration (bench_config_loadsave --write
# --scale 4: 20,000 users, 4,000 groups, 2,000 accounts, 13 MB):
#   bench/ansible_fleet.sh BUILD_DIR
# Times, median of the runs, from inside one playbook (Ansible's start-up left out):
#   - a task of ansible.builtin.ping (what Ansible itself costs a task),
#   - quilmora.server.config setting one server key (a change), and the same again (none),
#   - a users: list of 10,000 users changing every Description, and the same again,
#   - and quilmora-config's own runs of such a task: dump --sha256 --no-secrets, apply --merge.
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
qc=$build/src/quilmora-config
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/folder"
"$build/bench/bench_config_loadsave" --write "$work/folder/quilmora.ini" --scale 4 >/dev/null
export ANSIBLE_COLLECTIONS_PATH=$src/ansible ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_HOME=$work/home
export ANSIBLE_NOCOLOR=1 ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3
/usr/bin/python3 -c '
import json, sys
json.dump({"bench_users": [{"Name": "reader %d" % i, "Description": "Bench %s %d" % (sys.argv[2], i)} for i in range(10000)]},
          open(sys.argv[1], "w"))' "$work/users-a.json" a
cat >"$work/bench.yml" <<'PLAY'
- hosts: localhost
  connection: local
  gather_facts: false
  module_defaults:
    quilmora.server.config: {executable: "{{ qc }}", folder: "{{ folder }}"}
  tasks:
    - {set_fact: {t: ["{{ now().timestamp() }}"]}}
    - {ping: null}
    - {set_fact: {t: "{{ t + [now().timestamp()] }}"}}
    - {ping: null}
    - {set_fact: {t: "{{ t + [now().timestamp()] }}"}}
    - {ping: null}
    - {set_fact: {t: "{{ t + [now().timestamp()] }}"}}
    - {quilmora.server.config: {item: server, values: {Name: Bench 1}}}
    - {set_fact: {t: "{{ t + [now().timestamp()] }}"}}
    - {quilmora.server.config: {item: server, values: {Name: Bench 2}}}
    - {set_fact: {t: "{{ t + [now().timestamp()] }}"}}
    - {quilmora.server.config: {item: server, values: {Name: Bench 3}}}
    - {set_fact: {t: "{{ t + [now().timestamp()] }}"}}
    - {quilmora.server.config: {item: server, values: {Name: Bench 3}}}
    - {set_fact: {t: "{{ t + [now().timestamp()] }}"}}
    - {quilmora.server.config: {users: "{{ bench_users }}", fail_on_findings: never}}
    - {set_fact: {t: "{{ t + [now().timestamp()] }}"}}
    - {quilmora.server.config: {users: "{{ bench_users }}", fail_on_findings: never}}
    - {set_fact: {t: "{{ t + [now().timestamp()] }}"}}
    - debug:
        msg: "TIMES {{ t | join(' ') }}"
PLAY
ansible-playbook -i localhost, "$work/bench.yml" -e "qc=$qc" -e "folder=$work/folder" -e "@$work/users-a.json" \
  >"$work/bench.log" 2>&1 || { tail -30 "$work/bench.log"; exit 1; }
times=$(grep -o 'TIMES [0-9. ]*' "$work/bench.log" | head -1 | cut -d' ' -f2-)
/usr/bin/python3 - $times <<'PY'
import statistics, sys
t = [float(x) for x in sys.argv[1:]]
d = [b - a for a, b in zip(t, t[1:])]
# set_fact costs almost nothing, but its share stays in each figure.
ping = statistics.median(d[0:3])
one = statistics.median(d[3:6])
print("Ansible's own task (ping):          %6.2f s" % ping)
print("one key, changed (median of 3):     %6.2f s  (%.1fx a ping task)" % (one, one / ping))
print("one key, unchanged:                 %6.2f s" % d[6])
print("users: 10,000 users, changed:       %6.2f s" % d[7])
print("users: 10,000 users, unchanged:     %6.2f s" % d[8])
PY
cp "$work/folder/quilmora.ini" "$work/one.ini"
sha=$(sha256sum "$work/folder/quilmora.ini" | cut -c1-64)
measure() { /usr/bin/time -f "%e s (%U s user, %S s system)" "$@" 2>&1 >/dev/null | tail -1; }
echo "quilmora-config dump --sha256 --no-secrets: $(measure "$qc" --folder "$work/folder" dump --sha256 --no-secrets)"
echo '{"server": {"Name": "Bench 4"}}' >"$work/one.json"
echo "quilmora-config apply --merge --json (one key): $(measure "$qc" --folder "$work/folder" apply --merge --json --fail-on-findings error --expect-sha256 "$sha" "$work/one.json")"
