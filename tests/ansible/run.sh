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

echo "== lint"
collection=$src/ansible/ansible_collections/quilmora/server
/usr/bin/python3 -m pyflakes "$collection/plugins/modules/"*.py
# Ansible modules import after their documentation blocks (E402).
/usr/bin/python3 -m pycodestyle --max-line-length=160 --ignore=E402 "$collection/plugins/modules/"*.py
yamllint -d '{extends: default, rules: {line-length: {max: 160}, document-start: disable, truthy: disable}}' \
  "$collection" "$src/tests/ansible"

echo "== on a local folder"
cp -r "$src/examples/demo" "$work/local"
playbook "$src/tests/ansible/local.yml" -e "qc=$qc" -e "folder=$work/local" | tee "$work/local.log"

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
  if grep -q -- "$secret" "$work/local.log" "$work/remote.log"; then
    echo "the output shows the password $secret"; exit 1
  fi
done
echo "== passed"
