#!/usr/bin/env bash
# man_pages.sh PAGE...: each manual page formats without a single warning of man/groff.
set -u
failed=0
for page in "$@"; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  status=$?
  if [ "$status" -ne 0 ] || [ -n "$warnings" ]; then
    echo "FAIL: $page (status $status)" >&2
    printf '%s\n' "$warnings" >&2
    failed=1
  else
    echo "ok: $page"
  fi
done
exit "$failed"
