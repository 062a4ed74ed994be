#!/usr/bin/env bash
# install_tree.sh BUILD DESTDIR GUI SOURCE: `cmake --install` into a temporary DESTDIR puts every
# file in its place, and the installed programs run from there.
set -euo pipefail
build=$1; destdir=$2; gui=$3; source=$4
rm -rf "$destdir"
DESTDIR=$destdir cmake --install "$build" --prefix /usr >/dev/null
usr=$destdir/usr
failed=0
need() {
  if [ ! -s "$usr/$1" ]; then echo "FAIL: not installed: /usr/$1" >&2; failed=1; fi
}
need bin/quilmora-config
need bin/quilmora-test-server
need share/man/man1/quilmora-config.1.gz
need share/man/man1/quilmora-test-server.1.gz
need share/doc/quilmora/copyright
need share/doc/quilmora/changelog.gz
need share/bash-completion/completions/quilmora-config
need share/doc/quilmora/README.md
need share/doc/quilmora/examples/demo/quilmora.ini
need share/doc/quilmora/examples/demo/data/sales/xover.dat
collections=share/ansible/collections
need $collections/ansible_collections/quilmora/server/plugins/modules/config.py
need $collections/ansible_collections/quilmora/server/meta/runtime.yml
# The Help menu's documents, when the project has them.
[ -f "$source/share/tips.dat" ] && need share/quilmora/tips.dat
[ -f "$build/src/quilmora.pdf" ] && need share/quilmora/quilmora.pdf
if [ "$gui" = 1 ]; then
  need bin/quilmora-editor
  need share/applications/quilmora-editor.desktop
  need share/icons/hicolor/scalable/apps/quilmora-editor.svg
  need share/icons/hicolor/48x48/apps/quilmora-editor.png
  need share/man/man1/quilmora-editor.1.gz
fi

version=$("$usr/bin/quilmora-config" --version)
if [ "$version" != "quilmora-config 1.05" ]; then
  echo "FAIL: installed quilmora-config --version says '$version'" >&2; failed=1
fi
dump=$("$usr/bin/quilmora-config" --folder "$usr/share/doc/quilmora/examples/demo" dump)
if ! grep -q '"Name": "Harbour Office"' <<<"$dump"; then
  echo "FAIL: the installed quilmora-config does not dump the demo" >&2; failed=1
fi
dry=$("$usr/bin/quilmora-config" --folder "$usr/share/doc/quilmora/examples/demo" purge sales --older-than 30 --dry-run)
if ! grep -q 'would be removed' <<<"$dry" || grep -q '^0 entries' <<<"$dry"; then
  echo "FAIL: the demo's purge dry run removes nothing: $dry" >&2; failed=1
fi
# The programs' private modules, found by the installed program beside itself: a save is
# recorded and `history` (history-git.so) lists it; `pull` (cli-network.so) runs as far as
# its usage error.
modules=$(ls -d "$usr"/lib/*/quilmora "$usr"/lib/quilmora 2>/dev/null | head -1 || true)
for m in history-git cli-network; do
  [ -s "$modules/$m.so" ] || { echo "FAIL: not installed: the module $m.so (in /usr/lib/<multiarch>/quilmora)" >&2; failed=1; }
done
work=$destdir/module-check
cp -r "$usr/share/doc/quilmora/examples/demo" "$work"
if ! "$usr/bin/quilmora-config" --folder "$work" set server.Name Moved 2>&1 ||
   ! "$usr/bin/quilmora-config" --folder "$work" history --limit 1 | grep -q 'set: server: Name'; then
  echo "FAIL: the installed quilmora-config does not record and list a save" >&2; failed=1
fi
pull_status=0
pull_err=$("$usr/bin/quilmora-config" --folder "$work" pull 2>&1) || pull_status=$?
if [ "$pull_status" != 2 ] || ! grep -q 'no HOST given' <<<"$pull_err"; then
  echo "FAIL: the installed quilmora-config pull (status $pull_status): $pull_err" >&2; failed=1
fi
# Installed under /usr, Debian's ansible-core finds the collection there without settings.
if command -v ansible-doc >/dev/null; then
  ANSIBLE_COLLECTIONS_PATH=$usr/$collections ANSIBLE_HOME=$destdir/ansible-home \
    ansible-doc quilmora.server.config 2>&1 | grep -q 'login_password' ||
    { echo "FAIL: ansible-doc quilmora.server.config of the installed collection" >&2; failed=1; }
fi
if [ "$gui" = 1 ]; then
  env -u DISPLAY -u WAYLAND_DISPLAY "$usr/bin/quilmora-editor" --help | grep -q "usage: quilmora-editor" ||
    { echo "FAIL: the installed editor's --help" >&2; failed=1; }
  exec_line=$(sed -n 's/^Exec=//p' "$usr/share/applications/quilmora-editor.desktop")
  [ -x "$usr/bin/${exec_line%% *}" ] || { echo "FAIL: Exec=$exec_line is no installed program" >&2; failed=1; }
  png=$(file -b "$usr/share/icons/hicolor/48x48/apps/quilmora-editor.png")
  [[ $png == "PNG image data, 48 x 48"* ]] || { echo "FAIL: the 48-pixel icon is $png" >&2; failed=1; }
fi
rm -rf "$destdir"
[ "$failed" -eq 0 ] && echo "ok: installed tree"
exit "$failed"
