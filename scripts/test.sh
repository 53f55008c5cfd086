#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; exits non-zero on any failure.
# The sanitizer build and its suite come first (the suite beside the debug build); then the
# Windows and fuzz builds, each in its own folder under build/; last the full suite of the debug
# build, which also runs the Windows programs under Wine and the fuzz targets from those builds
# (CTest only runs tests), so the output ends with CTest's summary. The builds compile their
# files in batches (CMake's unity builds), in a third of the time; clang-tidy, in the full
# suite, still parses each file alone.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

# The run sets what the tests need itself and takes nothing from the caller's environment:
# variables that steer the compiler, CMake, CTest, GoogleTest, the sanitizers, Qt or Wine are
# dropped; then come a UTF-8 locale that every Debian has (Wine maps non-ASCII file names
# through it), Qt's offscreen platform (the tests that need a real X server start a private
# Xvfb), and a runtime directory of its own for Qt.
for v in $(compgen -e); do
    case $v in
        CC | CXX | CFLAGS | CXXFLAGS | CPPFLAGS | LDFLAGS | CMAKE_* | CTEST_* | GTEST_* | \
            ASAN_* | UBSAN_* | LSAN_* | QT_* | WINE* | LC_* | LANGUAGE | DISPLAY | \
            WAYLAND_DISPLAY | XAUTHORITY) unset "$v" ;;
    esac
done
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export QT_QPA_PLATFORM=offscreen
export HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
runtime_dir=$(mktemp -d "${TMPDIR:-/tmp}/qmu-test-runtime.XXXXXX")
# A job still running in the background (a failed step ends the script) ends with it.
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$runtime_dir"' EXIT
chmod 700 "$runtime_dir"
export XDG_RUNTIME_DIR=$runtime_dir

jobs=$(nproc 2>/dev/null || echo 2)
logs=build/test-logs
mkdir -p "$logs"

# Each configuration runs on one core: the four side by side.
echo "== configure the sanitizer, debug, Windows and fuzz builds"
presets=(asan dev windows fuzz)
pids=()
for preset in "${presets[@]}"; do
    cmake --preset "$preset" >"$logs/configure-$preset.log" 2>&1 &
    pids+=($!)
done
for i in "${!presets[@]}"; do
    wait "${pids[$i]}" || { cat "$logs/configure-${presets[$i]}.log"; exit 1; }
done

echo "== sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake --build --preset asan -j "$jobs"
# Its suite runs beside the debug build: most of its time is one program's cases on one core.
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --preset asan -j "$jobs" -LE slow >"$logs/asan-suite.log" 2>&1 &
asan_suite=$!

echo "== debug build"
cmake --build --preset dev -j "$jobs"

echo "== suite of the sanitizer build (run beside the debug build)"
status=0
wait "$asan_suite" || status=$?
cat "$logs/asan-suite.log"
[ "$status" -eq 0 ] || exit "$status"

echo "== Windows build (mingw-w64: the program, the core and its tests, the profile probe)"
cmake --build --preset windows -j "$jobs"

echo "== fuzz build (clang, libFuzzer)"
cmake --build --preset fuzz -j "$jobs"

# Twice as many tests as cores at a time: the Wine, Xvfb and volume tests spend most of their
# time waiting for a window, a key or a file, and would otherwise hold a core that clang-tidy and
# the fuzz targets can use.
echo "== full suite of the debug build"
ctest --preset dev -j "$((2 * jobs))"
