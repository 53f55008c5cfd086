#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; exits non-zero on any failure.
# The sanitizer build runs first; the full suite of the debug build runs last, so the output
# ends with CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

echo "== sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --preset asan -j "$jobs" -LE slow

echo "== debug build, full suite"
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
ctest --preset dev -j "$jobs"
