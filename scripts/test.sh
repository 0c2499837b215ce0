#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh -DTESSALY_BUILD_TESTS=ON
ctest --test-dir "${TESSALY_BUILD_DIR:-build}" --output-on-failure --no-tests=error -j "$(nproc)"
