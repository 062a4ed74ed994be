#!/usr/bin/env bash
# Installs what is missing, builds and runs every test, and says how long each phase took.
#   scripts/test.sh            the sanitizer run of the core, the fuzz targets, then the whole suite
#   scripts/test.sh --quick    the whole suite only (the everyday run)
#   scripts/test.sh --sanitize the core suite under AddressSanitizer and UBSan only
#   scripts/test.sh --fuzz     the fuzz targets only (clang, libFuzzer), each for a bounded time
# With ccache installed every build goes through it (its cache: $CCACHE_DIR, else ~/.cache/ccache).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
mode=${1:-all}
jobs=$(nproc)

launcher=()
if command -v ccache >/dev/null; then
  # Under ccache the builds go without precompiled headers (see CMakeLists.txt), so every
  # phase also shows a source that lacks an include of its own.
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
  # Sources compiled against a precompiled header are cached too (the header's own defines
  # and time stamps do not change what it holds).
  export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}
  # A clone in another folder reuses the cache too (its debug information then names the
  # folder the object was first built in, which the tests never read).
  export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
fi
# lld links the sixty-odd test and benchmark programs about three times as fast.
if command -v ld.lld >/dev/null; then
  launcher+=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld)
fi

start_all=$SECONDS
timings=()
# phase NAME FUNCTION: runs it and notes its duration.
phase() {
  local name=$1 started=$SECONDS
  "$2"
  local took=$((SECONDS - started))
  timings+=("$(printf '%-34s %3d:%02d' "$name" $((took / 60)) $((took % 60)))")
  echo "== $name: $((took / 60)) min $((took % 60)) s"
}
report() {
  local took=$((SECONDS - start_all))
  echo "== durations"
  printf '   %s\n' "${timings[@]}"
  printf '   %-34s %3d:%02d\n' "total" $((took / 60)) $((took % 60))
}

sanitize() {
  echo "== core suite under AddressSanitizer + UBSan"
  # -O1 with line tables: the usual level for AddressSanitizer, with file and line in every
  # report, and about a third less compile time than -O2 with full debug information.
  "$root/scripts/build.sh" "$root/build-asan" -DQUILMORA_SANITIZE=ON -DQUILMORA_GUI=OFF -DQUILMORA_COCKPIT=OFF \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "${launcher[@]}"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$root/build-asan" -L core --output-on-failure -j"$jobs"
}
fuzz() {
  echo "== fuzz targets (side by side, $jobs at a time)"
  CC=clang CXX=clang++ "$root/scripts/build.sh" "$root/build-fuzz" -DQUILMORA_FUZZ=ON -DQUILMORA_GUI=OFF -DQUILMORA_COCKPIT=OFF \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only -DNDEBUG" "${launcher[@]}"
  ctest --test-dir "$root/build-fuzz" -L fuzz --output-on-failure -j"$jobs"
}
suite() {
  echo "== whole suite"
  # No debug information in the suite's build: a quarter less compile time, and a failure
  # is reproduced in a build of its own (the sanitizer phase keeps line tables).
  "$root/scripts/build.sh" "$root/build" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" "${launcher[@]}"
  ctest --test-dir "$root/build" --output-on-failure -j"$jobs"
}
case "$mode" in
  all) phase "core suite under ASan + UBSan" sanitize; phase "fuzz targets" fuzz; phase "whole suite" suite ;;
  --quick) phase "whole suite" suite ;;
  --sanitize) phase "core suite under ASan + UBSan" sanitize ;;
  --fuzz) phase "fuzz targets" fuzz ;;
  *) echo "usage: scripts/test.sh [--quick|--sanitize|--fuzz]" >&2; exit 2 ;;
esac
report
