#!/usr/bin/env bash
# Takes the screenshots of the Windows program under Wine, in a Wine desktop so that the frame
# and title bar show: docs/screenshot-windows.png at 96 dpi, and build/windows/screenshot-144dpi.png
# at 144 dpi to look at. The same job as scripts/screenshot.sh shows.
# Usage: scripts/screenshot_windows.sh [build dir of the windows preset]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/wine.sh
build_dir=$(realpath "${1:-build/windows}")
exe=$build_dir/src/app/QuentraModuleUpgrade.exe
[ -f "$exe" ] || { echo "build the windows preset first (cmake --build --preset windows)" >&2; exit 1; }

# A prefix of its own: the screen resolution set here must not reach the tests' prefix.
wine_env "$build_dir/wineprefix-screenshots"
wine_prefix_init
wine_scratch
XVFB_SCREEN=1280x1600x24 start_xvfb "$work"
cp "$exe" "$work/"
printf '%s\r\n' "[FILE INFO]" "Type=6050" "Address=12" "File Length=70144" "Block Size=65536" \
    "File Name=vtl_2.bin" "Wait=0" "Console=1" "Port #1=15" "Port #2=3" "Port #5=8" \
    >"$work/Config.dat"

shoot() { # DPI DESKTOP_SIZE OUTPUT
    wine_set_dpi "$1"
    (cd "$work" && wine explorer "/desktop=qmu,$2" QuentraModuleUpgrade.exe >/dev/null 2>&1 &)
    local desktop=""
    desktop=$(timeout 120 xdotool search --sync --onlyvisible --name 'Wine desktop' | head -n 1)
    sleep 5 # the program's window inside the desktop is no X window of its own to wait for
    import -window "$desktop" "$3"
    wine_stop
}
shoot 96 400x800 "$work/96.png"
shoot 144 560x1180 "$build_dir/screenshot-144dpi.png"
mkdir -p docs
cp "$work/96.png" docs/screenshot-windows.png
echo "docs/screenshot-windows.png and $build_dir/screenshot-144dpi.png written"
