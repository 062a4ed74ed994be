#!/usr/bin/env bash
# Installs what is missing, builds, and starts the editor on the demo server folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display available (DISPLAY and WAYLAND_DISPLAY unset): the editor is built; to try it without a screen run it under Xvfb: xvfb-run -a scripts/run.sh" >&2
  exit 1
fi
# Outside a desktop session (xvfb-run from a plain shell) there is no runtime folder: the
# editor gets a private one (mode 0700) for this run.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
  "$root/build/src/quilmora-editor" --folder "$root/examples/demo" "$@"
  exit
fi
exec "$root/build/src/quilmora-editor" --folder "$root/examples/demo" "$@"
