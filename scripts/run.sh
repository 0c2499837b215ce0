#!/usr/bin/env bash
# Builds the packer and packs a folder: with no arguments this checkout, into
# build/context.md; otherwise the arguments go to tessaly-pack as they are.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
(cd "$root" && bash scripts/build.sh)
pack="$root/${TESSALY_BUILD_DIR:-build}/cli/tessaly-pack"
if [ $# -eq 0 ]; then
  exec "$pack" -o "$root/build/context.md" "$root"
fi
exec "$pack" "$@"
