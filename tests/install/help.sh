#!/usr/bin/env bash
# help.sh PROGRAM PATTERN...: PROGRAM --help, without any display, exits 0 and prints each
# PATTERN (an extended regular expression) on standard output.
set -u
program=$1; shift
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help)
status=$?
if [ "$status" -ne 0 ]; then
  echo "FAIL: $program --help exited with $status" >&2
  exit 1
fi
failed=0
for pattern in "$@"; do
  if ! grep -Eq -- "$pattern" <<<"$out"; then
    echo "FAIL: $program --help does not say: $pattern" >&2
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "ok: $program --help"
exit "$failed"
