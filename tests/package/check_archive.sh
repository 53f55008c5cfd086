#!/usr/bin/env bash
# The portable archive: CPack's .tar.gz holds the installed folder under one top directory;
# unpacked anywhere, the program finds its libraries and its entry can be re-registered.
set -euo pipefail
source "$(dirname "$0")/linkage.sh"
build_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build_dir/CPackConfig.cmake" -G TGZ -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; exit 1; }
archives=("$work"/out/quentra-module-upgrade-*.tar.gz)
[ -f "${archives[0]}" ] || { cat "$work/cpack.log" >&2; echo "no archive made" >&2; exit 1; }
archive=${archives[0]}
top=$(basename "$archive" .tar.gz)

tar -tzf "$archive" | sed "s|^\./||" >"$work/list"
for f in QuentraModuleUpgrade quentra-module-upgrade.png quentra-module-upgrade.desktop \
    register-desktop-entry.sh; do
    grep -qx "$top/$f" "$work/list" || { cat "$work/list" >&2; echo "$f not in $top/" >&2; exit 1; }
done
if grep -qv "^$top/" "$work/list"; then
    echo "entries outside the top folder $top/" >&2
    exit 1
fi

mkdir "$work/unpacked here"
tar -xzf "$archive" -C "$work/unpacked here"
folder="$work/unpacked here/$top"
desktop-file-validate "$folder/quentra-module-upgrade.desktop"
grep -qxF 'Exec="/opt/quentra-module-upgrade/QuentraModuleUpgrade"' \
    "$folder/quentra-module-upgrade.desktop" ||
    { cat "$folder/quentra-module-upgrade.desktop" >&2; echo "unexpected Exec" >&2; exit 1; }
check_linkage "$folder"
"$folder/register-desktop-entry.sh" --no-menu
grep -qxF "Exec=\"$folder/QuentraModuleUpgrade\"" "$folder/quentra-module-upgrade.desktop"
echo "archive $(basename "$archive"): $(wc -l <"$work/list") entries, $(du -h "$archive" | cut -f1)"
