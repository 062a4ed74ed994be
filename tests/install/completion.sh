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
expect "quilmora-config purge sales --" "--before --dry-run --older-than"
expect "quilmora-config --encoding UTF-8 push host --p" "--password-file --port"
expect "quilmora-config push host --password-file " "FILES"
expect "quilmora-config push host --f" "--force"
expect "quilmora-config restore-backup --" "--dry-run --force"
# Every command --help lists is offered.
commands=$("$program" --help | sed -n '/^Commands:/,/^$/ s/^  \([a-z][a-z-]*\)\( .*\)\{0,1\}$/\1/p' | sort | tr '\n' ' ' | sed 's/ $//')
expect "quilmora-config " "$commands"
[ -n "$commands" ] || { echo "FAIL: no command found in --help" >&2; failed=1; }
[ "$failed" -eq 0 ] && echo "ok: completion"
exit "$failed"
