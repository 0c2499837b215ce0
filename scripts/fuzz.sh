#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang into build-fuzz/ and runs each for a bounded
# time on a copy of its seed corpus, as many at once as there are cores:
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET]     (default 60)
#
# Exits non-zero when any target crashed or broke one of its properties; its log and the
# input that did it stay in build-fuzz/fuzz-run/ (replaced by the next run).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS_PER_TARGET]" >&2
  exit 2
fi
targets=(text tokens_fence language version manifest signed_list unzip)
dir=build-fuzz
run="$dir/fuzz-run"

# clang and its runtimes (libFuzzer, the sanitizers) beside the project's own packages.
bash scripts/setup.sh clang libclang-rt-dev
built=$SECONDS
# Only the libraries the targets link, and line tables rather than full debug information:
# reports still name every file and line, and the build takes less time.
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -gline-tables-only" \
  -DTESSALY_FUZZ=ON -DTESSALY_BUILD_APP=OFF -DTESSALY_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" --target "${targets[@]/%/_fuzzer}"

rm -rf "$run"
mkdir -p "$run"
# The unzip target's scratch folders, in memory where possible; gone when this script ends.
scratch="$(mktemp -d -p /dev/shm tessaly-fuzz.XXXXXX 2>/dev/null || mktemp -d)"
trap 'chmod -R u+rwx "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
export TESSALY_FUZZ_SCRATCH="$scratch"
export UBSAN_OPTIONS="print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

# Runs one target and writes its summary line to $run/<target>.result.
fuzz() {
  local target="$1" corpus="$run/corpus/$1" artifacts="$run/artifacts/$1" log="$run/$1.log"
  mkdir -p "$corpus" "$artifacts"
  cp -R "fuzz/corpus/$target/." "$corpus/"  # new inputs go to the copy, never the repository
  local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
                 -artifact_prefix="$artifacts/")
  [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
  local start=$SECONDS status=0 runs result=ok
  "$dir/fuzz/${target}_fuzzer" "${options[@]}" "$corpus" >"$log" 2>&1 || status=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  [ -n "$runs" ] || runs="$(grep -o '^#[0-9]*' "$log" | tail -n 1 | tr -d '#' || true)"
  [ "$status" -eq 0 ] || result="CRASH (exit $status)"
  printf '%-14s %12s %8s  %s\n' "$target" "${runs:-?}" "$((SECONDS - start))" "$result" \
    >"$run/$target.result"
  echo "$target: ${runs:-?} runs in $((SECONDS - start)) s: $result"
  if [ "$status" -ne 0 ]; then
    grep -E "property violated|ERROR:|SUMMARY:" "$log" | head -n 5 | sed 's/^/  /' || true
    echo "  log: $log"
    find "$artifacts" -type f -printf '  input: %p\n'
  fi
}

echo "built in $((SECONDS - built)) s; fuzzing ${#targets[@]} targets for $seconds s each, $(nproc) at a time..."
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n || true; done
  fuzz "$target" &
done
wait

echo
printf '%-14s %12s %8s  %s\n' target runs seconds result
failed=0
for target in "${targets[@]}"; do
  cat "$run/$target.result" 2>/dev/null || echo "$target: no result"
  grep -q ' ok$' "$run/$target.result" 2>/dev/null || failed=1
done
exit "$failed"
