#!/usr/bin/env bash
# Packs the Cockpit page of a configured and built tree as cockpit-quilmora_VERSION_all.deb:
#   scripts/package-cockpit.sh BUILD_DIR
# The page is installed from the tree's "cockpit" component; the package depends on the
# Cockpit that serves it and on quilmora for quilmora-config. Prints the .deb's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(cd "$1" && pwd)
version=$(sed -n 's/^project(Quilmora VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
stage="$dir/cockpit-quilmora-stage"
rm -rf "$stage"
cmake --build "$dir" --target cockpit_page >/dev/null
DESTDIR="$stage" cmake --install "$dir" --component cockpit --prefix /usr >/dev/null
doc="$stage/usr/share/doc/cockpit-quilmora"
install -d -m 755 "$doc"
install -m 644 "$root/packaging/cockpit/copyright" "$doc/copyright"
gzip -9n < "$root/packaging/cockpit/changelog" > "$doc/changelog.gz"
chmod 644 "$doc/changelog.gz"
find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
install -d -m 755 "$stage/DEBIAN"
size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
cat > "$stage/DEBIAN/control" <<CONTROL
Package: cockpit-quilmora
Version: $version
Architecture: all
Maintainer: Quilmora maintainers <maintainers@quilmora.example.org>
Installed-Size: $size
Depends: cockpit-bridge (>= 287), quilmora
Section: admin
Priority: optional
Description: Cockpit page for the Quilmora server's configuration
 Adds "Quilmora" to the menu of Cockpit, the web console: the server's
 settings, incoming accounts, users and groups, passwords, the findings of
 the configuration check, a draft with review and undo, a save that refuses
 a file changed meanwhile, the log and the message archive. Every read and
 write goes through quilmora-config.
CONTROL
deb="$dir/cockpit-quilmora_${version}_all.deb"
rm -f "$dir"/cockpit-quilmora_*.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"
