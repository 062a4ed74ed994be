#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the editor need, only those missing.
set -euo pipefail
# clang with libclang-rt-dev (the sanitizer and libFuzzer runtimes of Debian's default
# clang, whatever its version) builds the fuzz targets; g++ brings ASan and UBSan.
packages=(
  cmake ninja-build g++ clang libclang-rt-dev git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  xvfb xauth fonts-liberation imagemagick
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null; then
  sudo=(sudo)
else
  echo "Missing packages and no sudo: run scripts/install-deps.sh as root" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
