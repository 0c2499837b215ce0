#!/usr/bin/env bash
# Builds the packer in Release, writes the generated trees and prints the benchmark table.
#
#   bench/run.sh [--growth] [--runs N] [--peer repomix]
#
# --growth   also packs the growth trees: the generated checkout at 4x, 20,000 small files in
#            one folder and a 400-deep folder chain, each with its cost per byte against the
#            base tree.
# --peer repomix
#            times repomix beside ours in its fastest configuration (no secret scan, no git
#            sorting), installed from npm into the scratch folder on first use, never into
#            the project.
# PEER_CMD   when set, a peer packer timed beside ours: run by /bin/sh inside each tree with
#            the tree's path as $1, writing its document to standard output. Install it into
#            a scratch folder, never into the project, e.g.
#              npm install --prefix "$TMPDIR/peer" SOME-PACKER
#              PEER_CMD="$TMPDIR/peer/node_modules/.bin/SOME-PACKER --stdout ." bench/run.sh
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
scratch="${TMPDIR:-/tmp}/tessaly-bench"
growth=0
runs=5
peer_name=""
while [ $# -gt 0 ]; do
  case "$1" in
    --growth) growth=1 ;;
    --runs) runs="${2:?--runs needs a value}"; shift ;;
    --peer) peer_name="${2:?--peer needs a name}"; shift ;;
    *) echo "usage: bench/run.sh [--growth] [--runs N] [--peer repomix]" >&2; exit 2 ;;
  esac
  shift
done

cd "$root"
bash scripts/setup.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench --target tessaly-pack tessaly-bench
bench="$root/build-bench/bench/tessaly-bench"
pack="$root/build-bench/cli/tessaly-pack"

# Written afresh each time: it takes seconds, and a tree left from an older generator
# would give figures that no longer match the code.
generate() {
  local name="$1"
  shift
  rm -rf "${scratch:?}/$name"
  "$bench" generate "$scratch/$name" "$@" >&2
}

trees=(/usr/include)
for dir in /usr/lib/python3.*; do
  if [ -d "$dir" ]; then
    trees+=("$dir")
    break
  fi
done

mkdir -p "$scratch"
generate generated
trees+=("generated=$scratch/generated")
compares=()
if [ "$growth" -eq 1 ]; then
  generate generated-x4 --scale 4
  generate flat-20000 --flat 20000
  generate deep-400 --deep 400
  trees+=("generated-x4=$scratch/generated-x4" "flat-20000=$scratch/flat-20000"
          "deep-400=$scratch/deep-400")
  compares=(--compare generated:generated-x4 --compare generated:flat-20000
            --compare generated:deep-400)
fi

# The peer lives in the scratch folder, outside the project; its version is pinned so the
# figures stay comparable.
install_peer() {
  local prefix="$scratch/peer"
  case "$1" in
    repomix)
      if [ ! -x "$prefix/node_modules/.bin/repomix" ]; then
        mkdir -p "$prefix"
        npm install --prefix "$prefix" --no-audit --no-fund --silent repomix@1.18 >&2
      fi
      PEER_CMD="'$prefix/node_modules/.bin/repomix' --stdout --style markdown --quiet"
      PEER_CMD+=" --no-security-check --no-git-sort-by-changes ."
      ;;
    *) echo "bench/run.sh: unknown peer '$1' (known: repomix)" >&2; exit 2 ;;
  esac
}
if [ -n "$peer_name" ]; then
  install_peer "$peer_name"
fi

peer=()
if [ -n "${PEER_CMD:-}" ]; then
  peer=(--peer "$PEER_CMD")
fi

echo >&2
exec "$bench" run --pack "$pack" --runs "$runs" "${peer[@]}" "${compares[@]}" "${trees[@]}"
