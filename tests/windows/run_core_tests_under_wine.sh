#!/usr/bin/env bash
# Runs the core tests of the Windows build (the windows preset, build/windows) under Wine.
# Fails on any test failure, and when the Windows-only tests did not run at all.
set -euo pipefail
build_dir=$1
source "$(dirname "$0")/../../scripts/lib/wine.sh"
wine_env "$build_dir/wineprefix"
wine_prefix_init
unset DISPLAY # no window: the core has none

log="$build_dir/core_tests.log"
status=0
wine "$build_dir/tests/core_tests.exe" --gtest_color=no </dev/null >"$log" 2>&1 || status=$?
# Wait for this prefix's wineserver to go, so that it holds no output pipe of CTest's.
wine_stop
cat "$log"

if [ "$status" -ne 0 ]; then
    echo "core_tests.exe failed under Wine (exit status $status)" >&2
    exit 1
fi
grep -q '^\[  PASSED  \] [1-9]' "$log" || { echo "no test passed under Wine" >&2; exit 1; }
if grep -q '^\[  FAILED  \]' "$log"; then
    echo "failed tests under Wine" >&2
    exit 1
fi
grep -q '^\[       OK \] Windows' "$log" ||
    { echo "the Windows-only tests were not built into core_tests.exe" >&2; exit 1; }
