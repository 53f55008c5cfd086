#!/usr/bin/env bash
# The Windows ZIP, as CPack makes it from the windows preset's build: unpacks to one folder
# holding the program and its text, the program imports only the system's own DLLs, and the
# unpacked program starts under Wine and writes Config.dat beside itself on Alt+O.
# Usage: check_package.sh BUILD_DIR
set -euo pipefail
build_dir=$(realpath "$1")
source "$(dirname "$0")/../../scripts/lib/wine.sh"
source "$(dirname "$0")/../support/test_lib.sh"

wine_scratch
status=0
fail() { echo "FAILED: $*" >&2; status=1; }

cpack --config "$build_dir/CPackConfig.cmake" -G ZIP -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; exit 1; }
zip=$(ls "$work"/out/quentra-module-upgrade-*-windows-x86_64.zip)
folder=$(basename "$zip" .zip)
mkdir "$work/unpacked"
(cd "$work/unpacked" && unzip -q "$zip")
contents=$(cd "$work/unpacked" && find . -type f | sort | tr '\n' ' ')
[ "$contents" = "./$folder/QuentraModuleUpgrade.exe ./$folder/README.txt " ] ||
    fail "the archive holds: $contents"
exe="$work/unpacked/$folder/QuentraModuleUpgrade.exe"

# Linked statically: nothing to put beside it but what every Windows has.
system_dlls=" ADVAPI32.dll COMCTL32.dll comdlg32.dll GDI32.dll KERNEL32.dll msvcrt.dll ole32.dll USER32.dll "
headers=$(x86_64-w64-mingw32-objdump -p "$exe")
while read -r dll; do
    [[ "$system_dlls" == *" $dll "* ]] || fail "imports $dll"
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$headers")
grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || fail "not a GUI-subsystem program"
size=$(stat -c %s "$exe")
[ "$size" -le $((2 * 1024 * 1024)) ] || fail "the program is $size bytes, more than 2 MB"

wine_env "$build_dir/wineprefix"
wine_prefix_init
start_xvfb "$work"
cd "$work/unpacked/$folder"
if wine_start_window "$work/program.log" "Quentra Module Upgrade" ./QuentraModuleUpgrade.exe; then
    xdotool windowfocus --sync "$WINE_WID"
    xdotool key alt+o
    wine_wait_exit "$WINE_PID" "after Alt+O" || fail "still running after Alt+O"
    WINE_PID=""
    expect_lines "$(wine "$build_dir/tests/windows/profile_probe.exe" Config.dat | tr -d '\r')"
else
    fail "the unpacked program showed no window"
fi
[ $status -eq 0 ] && echo "the ZIP unpacks, and its program starts and saves under Wine"
exit $status
