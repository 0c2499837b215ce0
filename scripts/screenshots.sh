#!/usr/bin/env bash
# Draws the windows in every state at 100% and 200% into docs/screenshots/, off screen, from
# the app tests' drawing test. Builds first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh -DTESSALY_BUILD_TESTS=ON >/dev/null
for scale in 1 2; do
  out="docs/screenshots/${scale}x"
  rm -rf "$out"
  LC_ALL=en_US.UTF-8 QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=$scale TESSALY_SCREENSHOTS="$PWD/$out" \
    "${TESSALY_BUILD_DIR:-build}/tests/tessaly_app_tests" \
    --gtest_filter='TessalyAppTest.EveryStateIsDrawnAndShowsWhatTheModelHolds' >/dev/null
  echo "$out: $(ls "$out" | wc -l) pictures"
done
