#!/usr/bin/env bash
# Builds everything and opens the desktop application; arguments are files and folders to pack
# at launch. Without a display (no X11 or Wayland), it packs with the command-line packer
# instead: this checkout into build/context.md, leaving out what its .gitignore lists (other
# build folders, say), or the arguments to stdout.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/${TESSALY_BUILD_DIR:-build}"
(cd "$root" && bash scripts/build.sh)
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
  exec "$build/app/tessaly" "$@"
fi
echo "No display: packing with tessaly-pack instead (run under xvfb-run to see the window)." >&2
if [ $# -eq 0 ]; then
  exec "$build/cli/tessaly-pack" --gitignore -o "$build/context.md" "$root"
fi
exec "$build/cli/tessaly-pack" "$@"
