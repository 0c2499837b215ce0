#!/usr/bin/env bash
# Builds the packer in Release, writes the generated trees and prints the benchmark table.
#
#   bench/run.sh [--growth] [--translations] [--runs N] [--peer repomix] [[LABEL=]TREE...]
#
# TREE       more folders to pack beside the usual ones, e.g. a git checkout.
# --growth   also packs the growth trees: the generated checkout at 4x, 20,000 small files in
#            one folder and a 400-deep folder chain, each with its cost per byte against the
#            base tree.
# --translations
#            also packs a tree of translation catalogues in many scripts, made from the
#            system's own: every /usr/share/locale/*/LC_MESSAGES/*.mo of twelve common
#            domains turned back into .po text by msgunfmt (Debian package gettext).
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
translations=0
runs=5
peer_name=""
extra=()
while [ $# -gt 0 ]; do
  case "$1" in
    --growth) growth=1 ;;
    --translations) translations=1 ;;
    --runs) runs="${2:?--runs needs a value}"; shift ;;
    --peer) peer_name="${2:?--peer needs a name}"; shift ;;
    -*) echo "usage: bench/run.sh [--growth] [--translations] [--runs N] [--peer repomix]" \
             "[[LABEL=]TREE...]" >&2; exit 2 ;;
    *) extra+=("$1") ;;
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
generate scripts --scripts 320
trees+=("generated=$scratch/generated" "scripts=$scratch/scripts")

# The system's translations of some common domains, as .po text again; what the machine has
# decides the bytes, so the figures compare only on one machine.
translations() {
  local dir="$scratch/translations" mo domain lang
  command -v msgunfmt >/dev/null || bash scripts/setup.sh gettext
  rm -rf "$dir"
  for mo in /usr/share/locale/*/LC_MESSAGES/*.mo; do
    domain="$(basename "$mo" .mo)"
    case "$domain" in
      glib20|gtk20|gtk20-properties|gdk-pixbuf|Linux-PAM|iso_3166|iso_639|PackageKit|\
        at-spi2-core|shared-mime-info|software-properties|xdg-user-dirs) ;;
      *) continue ;;
    esac
    lang="${mo#/usr/share/locale/}"
    lang="${lang%%/*}"
    mkdir -p "$dir/$domain"
    msgunfmt "$mo" -o "$dir/$domain/$lang.po" 2>/dev/null || rm -f "$dir/$domain/$lang.po"
  done
  echo "$dir: $(find "$dir" -type f | wc -l) catalogues, $(du -sh "$dir" | cut -f1)" >&2
}
if [ "$translations" -eq 1 ]; then
  translations
  trees+=("translations=$scratch/translations")
fi
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

trees+=("${extra[@]}")

echo >&2
exec "$bench" run --pack "$pack" --runs "$runs" "${peer[@]}" "${compares[@]}" "${trees[@]}"
