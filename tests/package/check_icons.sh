#!/usr/bin/env bash
# The package icons are derived from the window icon (scripts/make_package_icons.sh); fails when
# the window icon changed and they were not made again.
set -euo pipefail
cd "$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
same() { # expected actual what
    local diff
    diff=$(compare -metric AE "$1" "$2" null: 2>&1) || true
    [ "$diff" = 0 ] || { echo "$3 differs from the window icon ($diff pixels): run scripts/make_package_icons.sh" >&2; exit 1; }
}
convert src/ui/resources/icon.xpm -filter point -resize 400% "PNG32:$work/png.png"
same "$work/png.png" packaging/linux/quentra-module-upgrade.png "the desktop icon"
convert src/ui/resources/icon.xpm "PNG32:$work/32.png"
convert 'packaging/windows/QuentraModuleUpgrade.ico[1]' "PNG32:$work/ico32.png"
same "$work/32.png" "$work/ico32.png" "the Windows icon"
convert 'packaging/windows/QuentraModuleUpgrade.ico[4]' "PNG32:$work/ico16colours.png"
same "$work/32.png" "$work/ico16colours.png" "the Windows icon's 16-colour image"
echo "package icons match the window icon"
