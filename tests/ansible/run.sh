#!/usr/bin/env bash
# The Ansible collection against a copy of the demo folder and against the test server:
#   tests/ansible/run.sh SOURCE_DIR QUILMORA_CONFIG QUILMORA_TEST_SERVER
set -euo pipefail
src=$1 qc=$2 test_server=$3
command -v ansible-playbook >/dev/null || { echo "ansible-playbook is not installed"; exit 1; }
work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export ANSIBLE_COLLECTIONS_PATH=$src/ansible ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_HOME=$work/home
export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3
playbook() { ansible-playbook -i localhost, -v "$@"; }

echo "== the documentation"
ansible-doc quilmora.server.config >"$work/doc.txt"
for word in folder item state values password config host login_password EXAMPLES RETURN findings; do
  grep -q "$word" "$work/doc.txt" || { echo "ansible-doc lacks $word"; exit 1; }
done

ansible-doc quilmora.server.config_info >"$work/doc_info.txt"
# The declared minimum, ansible-core 2.14, shows O() and V() raw: the documentation uses I() and C().
if grep -n -E '(^|[^R])[OV]\(' "$src/ansible/ansible_collections/quilmora/server/plugins/modules/"*.py | grep -q .; then
  echo "documentation markup ansible-core 2.14 does not render"; exit 1
fi

echo "== lint"
collection=$src/ansible/ansible_collections/quilmora/server
python_files=("$collection/plugins/modules/"*.py "$collection/plugins/module_utils/"*.py)
/usr/bin/python3 -m pyflakes "${python_files[@]}"
# Ansible modules import after their documentation blocks (E402).
/usr/bin/python3 -m pycodestyle --max-line-length=160 --ignore=E402 "${python_files[@]}"
# pylint with the settings ansible-test's sanity test uses for a collection.
pylint_config=$(/usr/bin/python3 -c 'import ansible_test, os; print(os.path.join(os.path.dirname(ansible_test.__file__), "_util/controller/sanity/pylint/config/collection.cfg"))')
(cd "$src/ansible" && PYTHONPATH=$src/ansible /usr/bin/python3 -m pylint --rcfile "$pylint_config" \
  ansible_collections/quilmora/server/plugins/modules/*.py ansible_collections/quilmora/server/plugins/module_utils/*.py)
yamllint -d '{extends: default, rules: {line-length: {max: 160}, document-start: disable, truthy: disable}}' \
  "$collection" "$src/tests/ansible"

echo "== on a local folder"
cp -r "$src/examples/demo" "$work/local"
playbook "$src/tests/ansible/local.yml" -e "qc=$qc" -e "folder=$work/local" | tee "$work/local.log"

echo "== lists, guarded writes, backups and diffs, at -vvv"
cp -r "$src/examples/demo" "$work/fleet"
mkdir -p "$work/scratch"
# A quilmora-config whose apply finds the file changed by another writer since the read.
printf '#!/bin/sh\nfor a; do if [ "$a" = apply ]; then "%s" --folder "%s" add user intruder >/dev/null; break; fi; done\nexec "%s" "$@"\n' \
  "$qc" "$work/fleet" "$qc" >"$work/scratch/racing-quilmora-config"
chmod +x "$work/scratch/racing-quilmora-config"
ansible-playbook -i localhost, -vvv "$src/tests/ansible/fleet.yml" -e "qc=$qc" -e "folder=$work/fleet" \
  -e "work=$work/scratch" >"$work/fleet.log" 2>&1 || { tail -50 "$work/fleet.log"; exit 1; }
grep -q 'ok=.*failed=0' "$work/fleet.log" || { tail -50 "$work/fleet.log"; exit 1; }
for secret in fl33t-Secret n3w-fl33t-Secret; do
  forms=$(/usr/bin/python3 -c 'import hashlib, sys; p = sys.argv[1].encode(); d = hashlib.md5(p).hexdigest(); print(d, d.upper(), p.hex(), p.hex().upper())' "$secret")
  for form in "$secret" $forms; do
    if grep -q -- "$form" "$work/fleet.log"; then
      echo "-vvv output shows the password $secret as $form"; exit 1
    fi
  done
done

echo "== twenty tasks racing other writers lose nothing"
cp -r "$src/examples/demo" "$work/race"
: >"$work/race-added.txt"
(
  for i in $(seq 1000); do
    [ -e "$work/race-stop" ] && break
    "$qc" --folder "$work/race" add user "racer $i" >/dev/null 2>&1 && echo "racer $i" >>"$work/race-added.txt"
    sleep 0.05
  done
) &
racer=$!
ansible-playbook -i localhost, "$src/tests/ansible/race.yml" -e "qc=$qc" -e "folder=$work/race" >"$work/race.log" 2>&1 || true
touch "$work/race-stop"
wait "$racer"
"$qc" --folder "$work/race" dump --no-secrets >"$work/race.json"
/usr/bin/python3 -c '
import json, sys
names = set(u["Name"] for u in json.load(open(sys.argv[1]))["users"])
added = [line.strip() for line in open(sys.argv[2]) if line.strip()]
rounds = ["task " + line.strip() for line in open(sys.argv[3]) if line.strip()]
lost = [n for n in added + rounds if n not in names]
print("%d adds and %d tasks went through; %d tasks refused" % (len(added), len(rounds), 20 - len(rounds)))
if lost or not added or not rounds:
    sys.exit("lost: %s" % lost)
' "$work/race.json" "$work/race-added.txt" "$work/race/rounds.txt"

echo "== through the network"
cp -r "$src/examples/demo" "$work/served"
mkdir "$work/copies"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
login_password='adm1n-Secret'
"$test_server" --port "$port" --user admin --password "$login_password" "$work/served" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 50); do grep -q . "$work/server.log" 2>/dev/null && break; sleep 0.1; done
playbook "$src/tests/ansible/remote.yml" -e "qc=$qc" -e "folder=$work/copies" \
  -e "server_folder=$work/served" -e "port=$port" -e "login_password=$login_password" | tee "$work/remote.log"

echo "== no password in the output"
for secret in n1ght-Secret weekend-Secret other-Secret m4ria-Secret "$login_password"; do
  if grep -q -- "$secret" "$work/local.log" "$work/remote.log" "$work/fleet.log"; then
    echo "the output shows the password $secret"; exit 1
  fi
done
echo "== passed"
