#!/usr/bin/env bash
# Builds the committed HEAD twice, from two fresh clones in folders of different names and path
# lengths, one after the other, with different time zones, umasks and locales, and checks that
# both give the same bytes: the Windows program and its ZIP, and with --linux also the Linux
# .tar.gz. Prints the first differing bytes and exits non-zero when they differ.
# Uncommitted changes are not built: commit first.
# Usage: scripts/check_reproducible.sh [--linux] [--keep]
#   --linux  also builds the release preset's program and compares the Linux archives
#   --keep   leaves the two clones and their builds in the temporary folder it names
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
linux=0
keep=0
for arg in "$@"; do
    case $arg in
        --linux) linux=1 ;;
        --keep) keep=1 ;;
        *) echo "usage: $0 [--linux] [--keep]" >&2; exit 2 ;;
    esac
done

commit=$(git -C "$repo" rev-parse HEAD)
[ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ] ||
    echo "note: uncommitted changes are not part of the check; it builds $commit" >&2
work=$(mktemp -d "${TMPDIR:-/tmp}/qmu-reproducible.XXXXXX")
if [ $keep -eq 1 ]; then
    echo "builds kept in $work"
else
    trap 'rm -rf "$work"' EXIT
fi
jobs=$(nproc 2>/dev/null || echo 2)
# A published package is dated by its commit; the builds here take that date the same way.
unset SOURCE_DATE_EPOCH

# build_one FOLDER TZ UMASK LOCALE: clones HEAD into FOLDER and builds there what is compared.
build_one() {
    local src=$1
    mkdir -p "$(dirname "$src")"
    git clone -q --no-checkout "$repo" "$src"
    git -C "$src" checkout -q --detach "$commit"
    (
        cd "$src"
        export TZ=$2 LANG=$4 LC_ALL=$4
        umask "$3"
        echo "== $src (TZ=$2, umask $3, $4)"
        cmake --preset windows -DQMU_BUILD_TESTS=OFF >"$src/configure.log" 2>&1 ||
            { cat "$src/configure.log" >&2; exit 1; }
        cmake --build build/windows -j "$jobs" >"$src/build.log" 2>&1 ||
            { cat "$src/build.log" >&2; exit 1; }
        cpack --config build/windows/CPackConfig.cmake -B "$src/out" >"$src/cpack.log" 2>&1 ||
            { cat "$src/cpack.log" >&2; exit 1; }
        if [ $linux -eq 1 ]; then
            cmake --preset release -DQMU_BUILD_TESTS=OFF -DQMU_BUILD_BENCH=OFF \
                >>"$src/configure.log" 2>&1 || { cat "$src/configure.log" >&2; exit 1; }
            cmake --build build/release -j "$jobs" >>"$src/build.log" 2>&1 ||
                { cat "$src/build.log" >&2; exit 1; }
            cpack --config build/release/CPackConfig.cmake -B "$src/out" >>"$src/cpack.log" 2>&1 ||
                { cat "$src/cpack.log" >&2; exit 1; }
        fi
    )
}

first=$work/a
second=$work/another/folder/b
start=$SECONDS
build_one "$first" UTC 022 C.UTF-8
sleep 2 # the second build at another second, whatever the machine's speed
build_one "$second" Pacific/Kiritimati 077 C

status=0
compare() {
    local what=$1 one=$2 two=$3
    if cmp -s "$one" "$two"; then
        echo "same    $(sha256sum "$one" | cut -d' ' -f1)  $what"
    else
        status=1
        echo "DIFFER  $what: $(stat -c %s "$one") and $(stat -c %s "$two") bytes; first differing" \
            "bytes (offset, octal, octal):"
        cmp -l "$one" "$two" | head -20 || true
    fi
}
exe=build/windows/src/app/QuentraModuleUpgrade.exe
compare "$(basename "$exe")" "$first/$exe" "$second/$exe"
for package in "$first"/out/*.zip "$first"/out/*.tar.gz; do
    [ -f "$package" ] || continue
    compare "$(basename "$package")" "$package" "$second/out/$(basename "$package")"
done
echo "two builds of $commit in $((SECONDS - start)) s: $([ $status -eq 0 ] && echo identical ||
    echo DIFFERENT)"
exit $status
