#!/usr/bin/env bash
# The desktop entries of the installed folder: desktop-file-validate passes on the one written
# at install time and on the one register-desktop-entry.sh writes after a move, and both
# start the program of their folder, also from a path that needs quoting.
set -euo pipefail
build_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The value Exec must have for a program path: quoted, with ", `, $ and \ escaped, then the
# string escapes (every \ doubled) and %% for %.
expected_exec() {
    printf 'Exec="%s"' "$(printf '%s' "$1" |
        sed -e 's/[\\"`$]/\\&/g' -e 's/\\/\\\\/g' -e 's/%/%%/g')"
}

check_entry() { # entry folder
    local entry=$1 folder=$2
    desktop-file-validate "$entry"
    grep -qxF "$(expected_exec "$folder/QuentraModuleUpgrade")" "$entry" ||
        { cat "$entry" >&2; echo "Exec does not start $folder/QuentraModuleUpgrade" >&2; exit 1; }
    grep -qxF "Icon=$folder/quentra-module-upgrade.png" "$entry" ||
        { cat "$entry" >&2; echo "Icon is not the folder's" >&2; exit 1; }
    grep -qxF "Name=Quentra Module Upgrade" "$entry" || { cat "$entry" >&2; exit 1; }
    [ -f "$folder/quentra-module-upgrade.png" ]
}

prefix="$work/Quentra Module Upgrade 50%"
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
check_entry "$prefix/quentra-module-upgrade.desktop" "$prefix"

moved="$work/moved \$HOME \"quoted\""
mv "$prefix" "$moved"
XDG_DATA_HOME="$work/data" "$moved/register-desktop-entry.sh" >/dev/null
check_entry "$moved/quentra-module-upgrade.desktop" "$moved"
cmp "$moved/quentra-module-upgrade.desktop" "$work/data/applications/quentra-module-upgrade.desktop"
echo "desktop entries valid"
