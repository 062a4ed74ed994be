#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the editor need, only those missing.
set -euo pipefail
# clang with libclang-rt-dev (the sanitizer and libFuzzer runtimes of Debian's default
# clang, whatever its version) builds the fuzz targets; g++ brings ASan and UBSan; lld
# links the test programs in a third of the time of the default linker.
packages=(
  cmake ninja-build g++ clang libclang-rt-dev lld git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  xvfb xauth fonts-liberation imagemagick
  ccache desktop-file-utils man-db file dpkg-dev
  ansible-core yamllint python3-pyflakes pycodestyle
  lintian
  pylint
  nodejs cockpit-ws cockpit-bridge cockpit-system chromium chromium-driver python3-selenium
  libgit2-dev zlib1g-dev libssl-dev
  libfontconfig-dev
)
# The Cockpit page's build needs npm; a nodejs from elsewhere (NodeSource) brings its own
# and conflicts with Debian's package of it.
command -v npm >/dev/null || packages+=(npm)
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
# Another apt or dpkg run (an unattended upgrade, a package manager window) holds the
# package locks for a while: wait for them rather than fail. apt-get install waits by
# itself (DPkg::Lock::Timeout); apt-get update does not wait for the lists lock, so it is
# tried again while that lock is held.
lock_wait=${QUILMORA_APT_LOCK_TIMEOUT:-600}
apt_options=(-o "DPkg::Lock::Timeout=$lock_wait")
deadline=$((SECONDS + lock_wait))
said=
until errors=$("${sudo[@]}" apt-get "${apt_options[@]}" update -qq 2>&1 >/dev/null); do
  if ! grep -q 'Could not get lock' <<<"$errors" || [ "$SECONDS" -ge "$deadline" ]; then
    printf '%s\n' "$errors" >&2
    exit 1
  fi
  if [ -z "$said" ]; then
    echo "Waiting for another apt or dpkg process to release the package lock (up to ${lock_wait} s)..."
    said=1
  fi
  sleep 3
done
if command -v fuser >/dev/null &&
   "${sudo[@]}" fuser /var/lib/dpkg/lock-frontend /var/lib/dpkg/lock >/dev/null 2>&1; then
  echo "Waiting for another apt or dpkg process to release the dpkg lock (up to ${lock_wait} s)..."
fi
"${sudo[@]}" apt-get "${apt_options[@]}" install -y -qq --no-install-recommends "${missing[@]}"
