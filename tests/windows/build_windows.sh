#!/usr/bin/env bash
# Builds the Windows preset (mingw-w64: the program, the core and its tests, the probe) into
# BUILD_DIR, makes the ZIP and prepares the Wine prefix the other Windows tests share.
# Usage: build_windows.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
source "$source_dir/scripts/lib/wine.sh"

for tool in x86_64-w64-mingw32-g++-posix wine wineserver Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/packages.extra)" >&2; exit 1; }
done

cd "$source_dir"
mkdir -p "$build_dir"
cmake --preset windows -B "$build_dir" >"$build_dir/configure.log" 2>&1 ||
    { cat "$build_dir/configure.log"; exit 1; }
cmake --build "$build_dir" -j 2
(cd "$build_dir" && cpack -G ZIP >cpack.log 2>&1) || { cat "$build_dir/cpack.log"; exit 1; }

wine_env "$build_dir/wineprefix"
wine_prefix_init
