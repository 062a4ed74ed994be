#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/test.sh            the sanitizer run of the core, the fuzz targets, then the whole suite
#   scripts/test.sh --quick    the whole suite only
#   scripts/test.sh --sanitize the core suite under AddressSanitizer and UBSan only
#   scripts/test.sh --fuzz     the fuzz targets only (clang, libFuzzer), each for a bounded time
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
mode=${1:-all}
jobs=$(nproc)

sanitize() {
  echo "== core suite under AddressSanitizer + UBSan"
  "$root/scripts/build.sh" "$root/build-asan" -DQUILMORA_SANITIZE=ON -DQUILMORA_GUI=OFF
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$root/build-asan" -L core --output-on-failure -j"$jobs"
}
fuzz() {
  echo "== fuzz targets"
  CC=clang CXX=clang++ "$root/scripts/build.sh" "$root/build-fuzz" -DQUILMORA_FUZZ=ON -DQUILMORA_GUI=OFF
  ctest --test-dir "$root/build-fuzz" -L fuzz --output-on-failure
}
suite() {
  echo "== whole suite"
  "$root/scripts/build.sh" "$root/build"
  ctest --test-dir "$root/build" --output-on-failure -j"$jobs"
}
case "$mode" in
  all) sanitize; fuzz; suite ;;
  --quick) suite ;;
  --sanitize) sanitize ;;
  --fuzz) fuzz ;;
  *) echo "usage: scripts/test.sh [--quick|--sanitize|--fuzz]" >&2; exit 2 ;;
esac
