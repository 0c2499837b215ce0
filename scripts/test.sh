#!/usr/bin/env bash
# Builds everything and runs the whole test suite; then builds it again with AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer into build-asan/ and runs the suite there too.
# For a quick local run without the second pass: TESSALY_QUICK=1 ./scripts/test.sh (or --quick).
set -euo pipefail
cd "$(dirname "$0")/.."

quick="${TESSALY_QUICK:-0}"
case "${1-}" in
  --quick) quick=1 ;;
  "") ;;
  *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
esac

bash scripts/build.sh -DTESSALY_BUILD_TESTS=ON
ctest --test-dir "${TESSALY_BUILD_DIR:-build}" --output-on-failure --no-tests=error -j "$(nproc)"
[ "$quick" != 0 ] && exit 0

# Any report fails the test, leaks included. -O1 with line tables only: about half the build
# time of -O2 -g, and every frame of a report still has its file and line.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt"
TESSALY_BUILD_DIR=build-asan bash scripts/build.sh -DTESSALY_BUILD_TESTS=ON \
  -DTESSALY_SANITIZE=ON "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
ctest --test-dir build-asan --output-on-failure --no-tests=error -j "$(nproc)"
