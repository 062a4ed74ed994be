#!/usr/bin/env bash
# lintian.sh BUILD [DEB...]: Debian's checker finds no error (E:) in any package. Without DEB
# arguments, every package CPack makes from BUILD's configuration (as scripts/package.sh
# packs it) is made in a temporary folder and checked. Warnings are printed, not failed.
set -u
build=$1; shift
if ! command -v lintian >/dev/null; then
  echo "FAIL: lintian is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
debs=("$@")
if [ ${#debs[@]} -eq 0 ]; then
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
  if ! (cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1); then
    echo "FAIL: cpack could not make the packages" >&2
    cat "$out/cpack.log" >&2
    exit 1
  fi
  mapfile -t debs < <(find "$out" -maxdepth 1 -name '*.deb' | sort)
fi
if [ ${#debs[@]} -eq 0 ]; then
  echo "FAIL: no package to check" >&2
  exit 1
fi
failed=0
for deb in "${debs[@]}"; do
  report=$(lintian --tag-display-limit 0 "$deb" 2>&1)
  name=$(basename "$deb")
  if grep -q '^E: ' <<<"$report"; then
    echo "FAIL: lintian reports errors on $name:" >&2
    printf '%s\n' "$report" >&2
    failed=1
  else
    echo "ok: $name has no lintian error"
    [ -n "$report" ] && printf '%s\n' "$report"
  fi
done
exit "$failed"
