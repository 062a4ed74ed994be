#!/usr/bin/env bash
# completion.sh COMPLETION QUILMORA_CONFIG: the bash completion offers the program's
# commands, the global options and each command's options. The helpers of the
# bash-completion package are stood in for, so the test needs only bash.
set -u
completion=$1
program=$2
_init_completion() {
  words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD
  cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]}
}
_filedir() { COMPREPLY=(FILES); }
complete() { :; }
# shellcheck source=/dev/null
source "$completion"

failed=0
# expect "WORDS..." "EXPECTED REPLIES (sorted, space separated)"
expect() {
  read -r -a COMP_WORDS <<<"$1"
  [[ $1 == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _quilmora_config "$program" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//')
  if [ "$got" != "$2" ]; then
    echo "FAIL: '$1' completes to '$got', not '$2'" >&2
    failed=1
  fi
}
expect "quilmora-config du" "dump"
expect "quilmora-config --folder /tmp pu" "pull purge push"
expect "quilmora-config --f" "--file --folder"
expect "quilmora-config --folder " "FILES"
expect "quilmora-config purge sales --" "--before --dry-run --help --older-than"
expect "quilmora-config --encoding UTF-8 push host --p" "--password-file --port"
expect "quilmora-config push host --password-file " "FILES"
expect "quilmora-config push host --f" "--force"
expect "quilmora-config restore-backup --" "--dry-run --force --help"
expect "quilmora-config apply --" "--dry-run --expect-sha256 --fail-on-findings --help --json --merge"
expect "quilmora-config dump --" "--help --no-secrets --only --sha256"
# Items, keys, kinds and group names come from the configuration in the folder.
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
printf '[SERVER]\r\nVersion=1.05\r\n[POP1]\r\nHost=mail.example\r\nUserID=info\r\n[USER1]\r\nName=ann\r\n[USER2]\r\nName=#2\r\n[GROUP1]\r\nName=sales\r\n[GROUP2]\r\nName=comp.lang\r\n' >"$folder/quilmora.ini"
expect "quilmora-config --folder $folder get " "group:comp.lang group:sales pop:info/mail.example server user:=#2 user:ann"
expect "quilmora-config --folder $folder remove user:" "user:=#2 user:ann"
expect "quilmora-config --folder $folder set user:ann.D" "user:ann.Description"
expect "quilmora-config --folder $folder set user:ann.P" ""
expect "quilmora-config --folder $folder get user:ann.P" "user:ann.Pass"
expect "quilmora-config --folder $folder set group:comp." "group:comp.lang"
expect "quilmora-config --folder $folder set group:comp.lang.R" "group:comp.lang.ReadOnly"
expect "quilmora-config --folder $folder set server.Po" "server.Port"
expect "quilmora-config --folder $folder purge " "comp.lang sales"
expect "quilmora-config --folder $folder add " "group pop user"
expect "quilmora-config --folder $folder add user carol D" "Description="
expect "quilmora-config --folder $folder add group news U" "Users="
expect "quilmora-config help pu" "pull purge push"
# Every command --help lists is offered.
commands=$("$program" --help | sed -n '/^Commands:/,/^$/ s/^  \([a-z][a-z-]*\)\( .*\)\{0,1\}$/\1/p' | sort | tr '\n' ' ' | sed 's/ $//')
expect "quilmora-config " "$commands"
[ -n "$commands" ] || { echo "FAIL: no command found in --help" >&2; failed=1; }
[ "$failed" -eq 0 ] && echo "ok: completion"
exit "$failed"
