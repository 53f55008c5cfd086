#!/bin/sh
# Writes quentra-module-upgrade.desktop beside this script for the folder where the program now
# lies, and adds it to the desktop's application menu (for the current user).
#   --location DIR   write the entry for DIR instead (the folder's final place)
#   --no-menu        only write the entry beside the script
set -eu
here=$(cd "$(dirname "$0")" && pwd)
location=$here
menu=yes
while [ $# -gt 0 ]; do
    case $1 in
    --location) location=$2; shift 2 ;;
    --no-menu) menu=no; shift ;;
    *) echo "usage: $0 [--location DIR] [--no-menu]" >&2; exit 2 ;;
    esac
done

# Exec takes a quoted argument: ", `, $ and \ get a backslash, then every \ of the value is
# doubled and % is written %% (desktop entry string and field-code rules).
exec_arg=$(printf '%s' "$location/QuentraModuleUpgrade" |
    sed -e 's/[\\"`$]/\\&/g' -e 's/\\/\\\\/g' -e 's/%/%%/g')
plain() { printf '%s' "$1" | sed -e 's/\\/\\\\/g'; }

entry="$here/quentra-module-upgrade.desktop"
cat >"$entry" <<ENTRY
[Desktop Entry]
Type=Application
Name=Quentra Module Upgrade
GenericName=Firmware Upgrade Job
Comment=Prepare a firmware upgrade job for the modules of a Quentra console system
Exec="$exec_arg"
Path=$(plain "$location")
Icon=$(plain "$location/quentra-module-upgrade.png")
Terminal=false
Categories=Utility;
ENTRY

if [ "$menu" = yes ]; then
    apps="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
    mkdir -p "$apps"
    cp "$entry" "$apps/quentra-module-upgrade.desktop"
    echo "Added Quentra Module Upgrade to the menu: $apps/quentra-module-upgrade.desktop"
fi
