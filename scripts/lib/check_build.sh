#!/usr/bin/env bash
# Run by the tests that check another preset's build: fails, saying how to make it, when that
# build is missing, lacks one of FILES or is older than the sources (what ninja would do).
# CTest only runs tests; scripts/test.sh makes these builds before the suite.
# Usage: check_build.sh PRESET BUILD_DIR [FILES...]   (FILES relative to BUILD_DIR)
set -euo pipefail
preset=$1
build_dir=$2
shift 2
make_it="scripts/test.sh makes it, or: cmake --preset $preset && cmake --build --preset $preset"

[ -f "$build_dir/build.ninja" ] || { echo "no $preset build in $build_dir: $make_it" >&2; exit 1; }
for f in "$@"; do
    [ -f "$build_dir/$f" ] || { echo "the $preset build lacks $f: $make_it" >&2; exit 1; }
done
pending=$(ninja -C "$build_dir" -n) || { echo "$pending" >&2; exit 1; }
if ! grep -q '^ninja: no work to do\.$' <<<"$pending"; then
    echo "the $preset build in $build_dir is older than the sources ($(grep -c '^\[' <<<"$pending")" \
        "steps to do): $make_it" >&2
    exit 1
fi
echo "the $preset build in $build_dir is present and up to date"
