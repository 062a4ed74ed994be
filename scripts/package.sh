#!/usr/bin/env bash
# Builds the Debian package: scripts/package.sh [BUILD_DIR]   (default build-package/)
# Installs what is missing, configures a build for /usr without tests, builds the programs,
# and packs them with CPack; dpkg-shlibdeps finds the dependencies. Prints the .deb's path.
#   sudo apt install ./build-package/quilmora_1.05_amd64.deb
# Beside it, cockpit-quilmora_1.05_all.deb (the Cockpit page) and the Ansible collection's tarball (build-package/quilmora-server-1.5.0.tar.gz).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-package}
"$root/scripts/install-deps.sh"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
fi
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUILMORA_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
# The manual is rendered by a target of its own when the project has one.
if cmake --build "$dir" --target help | grep -q '^quilmora_manual:'; then
  cmake --build "$dir" --target quilmora_manual
fi
rm -f "$dir"/quilmora_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/quilmora_*.deb)
# The Ansible collection as a tarball too, for ansible-galaxy collection install.
rm -f "$dir"/quilmora-server-*.tar.gz
ansible-galaxy collection build "$root/ansible/ansible_collections/quilmora/server" --output-path "$dir" >/dev/null
# The Cockpit page as a package of its own, beside it.
cockpit_deb=$("$root/scripts/package-cockpit.sh" "$dir")
# Debian's checker finds no error in any package made here.
if command -v lintian >/dev/null; then
  bash "$root/tests/install/lintian.sh" "$dir" "$dir"/*.deb >&2
fi
echo "$deb"
echo "$cockpit_deb"
