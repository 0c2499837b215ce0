#!/usr/bin/env bash
# Builds a signed release of Tessaly: the bundle, its zip archive and the manifest that
# offers it. Upload both files to https://HOST/tessaly/.
set -euo pipefail

usage() {
    cat >&2 <<'USAGE'
usage: scripts/make-release.sh --version VERSION --key PRIVATE_KEY --public-key HEX
                               --team TEAM_ID --host UPDATE_HOST [--notes TEXT] [--out DIR]
Makes DIR/Tessaly.app (signed), DIR/Tessaly-VERSION.zip and DIR/latest.json (default DIR:
build-release/dist). The public key and team are built into the program: every later
release must be signed with the same key and team.
USAGE
    exit 2
}

version="" key="" public_key="" team="" host="" notes="" out=""
while [ $# -gt 0 ]; do
    case "$1" in
        --version) version="${2-}"; shift 2 ;;
        --key) key="${2-}"; shift 2 ;;
        --public-key) public_key="${2-}"; shift 2 ;;
        --team) team="${2-}"; shift 2 ;;
        --host) host="${2-}"; shift 2 ;;
        --notes) notes="${2-}"; shift 2 ;;
        --out) out="${2-}"; shift 2 ;;
        *) usage ;;
    esac
done
[ -n "$version" ] && [ -n "$key" ] && [ -n "$public_key" ] && [ -n "$team" ] && [ -n "$host" ] || usage
[[ "$version" =~ ^[0-9A-Za-z.+-]+$ ]] || { echo "version: use digits, letters, . + -" >&2; exit 2; }
[[ "$host" =~ ^[0-9A-Za-z.-]+(:[0-9]+)?$ ]] || { echo "host: a host name, optionally :port" >&2; exit 2; }
command -v zip >/dev/null || { echo "zip is needed: sudo apt-get install zip" >&2; exit 1; }

cd "$(dirname "$0")/.."
./scripts/setup.sh
build=build-release
out="${out:-$build/dist}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALY_BUILD_TESTS=OFF \
    -DTESSALY_VERSION="$version" -DTESSALY_UPDATE_HOST="$host" \
    -DTESSALY_UPDATE_PUBLIC_KEY="$public_key" -DTESSALY_TEAM_ID="$team" >/dev/null
cmake --build "$build"

mkdir -p "$out"
out="$(cd "$out" && pwd)"
rm -rf "$out/Tessaly.app"
cmake --install "$build" --prefix "$out/Tessaly.app" >/dev/null
"$build/update/tessaly-sign" sign --key "$key" --team "$team" --version "$version" "$out/Tessaly.app"
"$build/update/tessaly-sign" verify --public-key "$public_key" --team "$team" "$out/Tessaly.app" >/dev/null

archive="Tessaly-$version.zip"
rm -f "$out/$archive"
(cd "$out" && zip -qry "$archive" Tessaly.app)

json_string() {
    local s=$1
    s=${s//\\/\\\\}; s=${s//\"/\\\"}
    s=${s//$'\n'/\\n}; s=${s//$'\r'/\\r}; s=${s//$'\t'/\\t}
    printf '"%s"' "$s"
}
notes_json=$(json_string "$notes")
printf '{\n  "version": "%s",\n  "url": "https://%s/tessaly/%s",\n  "notes": %s\n}\n' \
    "$version" "$host" "$archive" "$notes_json" > "$out/latest.json.tmp"
mv "$out/latest.json.tmp" "$out/latest.json"
echo "Release $version: $out/$archive and $out/latest.json; upload both to https://$host/tessaly/" >&2
