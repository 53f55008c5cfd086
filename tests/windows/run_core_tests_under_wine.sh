#!/usr/bin/env bash
# Builds the core and its tests for Windows (preset windows-core, mingw-w64) into its own build
# directory and runs core_tests.exe under Wine. Fails on any build error or test failure, and
# when the Windows-only tests did not run at all.
set -euo pipefail
source_dir=$1
build_dir=$2

for tool in x86_64-w64-mingw32-g++-posix wine; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/packages.extra)" >&2; exit 1; }
done

cd "$source_dir"
cmake --preset windows-core -B "$build_dir" >"$build_dir.configure.log" 2>&1 ||
    { cat "$build_dir.configure.log"; exit 1; }
# Everything: the core, its tests and the program's icon resource.
cmake --build "$build_dir" -j 2

# The prefix lives in the build directory; its first start initialises it, which takes a while.
export WINEPREFIX="$build_dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko download prompt
unset DISPLAY WAYLAND_DISPLAY
# Wine maps non-ASCII file names through the Unix locale: a UTF-8 one that every Debian has.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset LANGUAGE
mkdir -p "$WINEPREFIX"

log="$build_dir/core_tests.log"
status=0
wine "$build_dir/tests/core_tests.exe" --gtest_color=no </dev/null >"$log" 2>&1 || status=$?
# Wait for this prefix's wineserver to go, so that it holds no output pipe of CTest's.
wineserver -w || true
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
