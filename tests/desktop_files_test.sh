#!/usr/bin/env bash
# Installs the build into a scratch prefix and looks at it as a desktop would: the desktop
# entry and the AppStream metadata pass their validators, and in a fresh profile that knows
# only this prefix, Tessaly has not become the default opener of folders or of text.
# Usage: desktop_files_test.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail
build=$1 scratch=$2
prefix=$scratch/prefix
rm -rf "$scratch"
mkdir -p "$scratch/home"
cmake --install "$build" --prefix "$prefix" >/dev/null

desktop-file-validate "$prefix"/share/applications/*.desktop
appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml

update-desktop-database "$prefix/share/applications"
for type in inode/directory text/plain; do
    opener=$(env -i PATH="$prefix/bin:/usr/bin:/bin" HOME="$scratch/home" \
        XDG_DATA_DIRS="$prefix/share" XDG_CONFIG_DIRS="$scratch/no-config" \
        xdg-mime query default "$type")
    if [ -n "$opener" ]; then
        echo "after installing, $type opens with $opener" >&2
        exit 1
    fi
done
