#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang into build-fuzz/ and runs each for a bounded
# time on a copy of its seed corpus, one after another:
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
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSALY_FUZZ=ON -DTESSALY_BUILD_APP=OFF -DTESSALY_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" --target "${targets[@]/%/_fuzzer}"

rm -rf "$run"
mkdir -p "$run"
# The unzip target's scratch folders, in memory where possible; gone when this script ends.
scratch="$(mktemp -d -p /dev/shm tessaly-fuzz.XXXXXX 2>/dev/null || mktemp -d)"
trap 'chmod -R u+rwx "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
export TESSALY_FUZZ_SCRATCH="$scratch"
export UBSAN_OPTIONS="print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

failed=0
summary=()
for target in "${targets[@]}"; do
  corpus="$run/corpus/$target"
  artifacts="$run/artifacts/$target"
  log="$run/$target.log"
  mkdir -p "$corpus" "$artifacts"
  cp -R "fuzz/corpus/$target/." "$corpus/"  # new inputs go to the copy, never the repository
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$artifacts/")
  [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")

  echo "fuzzing $target for $seconds s..."
  start=$SECONDS
  status=0
  "$dir/fuzz/${target}_fuzzer" "${options[@]}" "$corpus" >"$log" 2>&1 || status=$?
  elapsed=$((SECONDS - start))
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  [ -n "$runs" ] || runs="$(grep -o '^#[0-9]*' "$log" | tail -n 1 | tr -d '#' || true)"
  [ -n "$runs" ] || runs="?"
  if [ "$status" -eq 0 ]; then
    result="ok"
  else
    result="CRASH (exit $status)"
    failed=1
  fi
  echo "$target: $runs runs in $elapsed s: $result"
  if [ "$status" -ne 0 ]; then
    grep -E "property violated|ERROR:|SUMMARY:" "$log" | head -n 5 | sed 's/^/  /' || true
    echo "  log: $log"
    find "$artifacts" -type f -printf '  input: %p\n'
  fi
  summary+=("$(printf '%-14s %12s %8s  %s' "$target" "$runs" "$elapsed" "$result")")
done

echo
printf '%-14s %12s %8s  %s\n' target runs seconds result
printf '%s\n' "${summary[@]}"
exit "$failed"
