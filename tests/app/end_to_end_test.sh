#!/usr/bin/env bash
# Starts the built program from a temporary directory under its own virtual X server, drives it
# with real key and mouse events, presses Alt+O and checks the Config.dat written beside it.
# Usage: end_to_end_test.sh <path of the built QuentraModuleUpgrade>
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/xvfb.sh"
source "$(dirname "$0")/../support/test_lib.sh"

exe=${1:?path of the program}
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/setup.sh installs it)" >&2; exit 1; }
done
scratch_dir
pid=""
xvfb=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    stop_xvfb "$xvfb"
}
cp "$exe" "$work/"
cd "$work"

start_xvfb "$work"
xvfb=$XVFB_PID
export QT_QPA_PLATFORM=xcb
./QuentraModuleUpgrade >program.log 2>&1 &
pid=$!

wid=$(timeout 120 xdotool search --sync --onlyvisible --name '^Quentra Module Upgrade$' | head -n 1)
[ -n "$wid" ] || { echo "the window did not appear" >&2; cat program.log >&2; exit 1; }

# Input events reach the program in the order they are sent, so only a state the next event
# depends on is waited for: the module list's drop-down (a window of its own) being open or
# closed. Bounded, so that a program that never gets there fails instead of hanging.
visible_windows() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l; }
wait_for_windows() {
    for _ in $(seq 1 1200); do
        [ "$(visible_windows)" -eq "$1" ] && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "expected $1 visible windows of the program, saw $(visible_windows)" >&2
    cat program.log >&2
    exit 1
}

# Window coordinates are the client area's (no window manager, so no frame): 15 twips a pixel.
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; }

# Type an address into "Module Address" (1920,720 in twips): click into it, replace the text.
click 150 60
xdotool key --window "$wid" ctrl+a
xdotool type --delay 50 "42"
# Tick the box of port 10, column A1 (2400,7380) and of port 1, column A0 (1920,4680).
click 168 500
click 136 320
# Pick "Unknown" in the module list with the keyboard: End selects the last entry.
click 240 20
wait_for_windows 2
xdotool key End Return
wait_for_windows 1
xdotool key alt+o

wait_for_exit "$pid" "after Alt+O"
wait "$pid" || { echo "the program ended with status $?" >&2; cat program.log >&2; exit 1; }
pid=""

[ -f Config.dat ] || { echo "no Config.dat beside the program" >&2; exit 1; }
expected=("Type=0" "Address=42" "File Length=0" "Block Size=0" "File Name=" "Wait=0"
    "Console=16383" "Port #1=1" "Port #10=2")
for n in 2 3 4 5 6 7 8 9 11 12 13 14 15 16; do expected+=("Port #$n=0"); done
status=0
fail() { echo "Config.dat: $*" >&2; status=1; }
expect_lines "$(tr -d '\r' <Config.dat)" "${expected[@]}"

# On a screen lower than the window (480 pixels), Ok and Cancel stand 1185 twips above the outer
# height the window was granted (its height and the design's frame of 405 twips). Each widget a
# window of its own, so that the X server tells the buttons' places (81x33 at 24 and 208).
stop_xvfb "$xvfb"
XVFB_SCREEN=640x480x24 start_xvfb "$work"
xvfb=$XVFB_PID
QT_USE_NATIVE_WINDOWS=1 ./QuentraModuleUpgrade >program.log 2>&1 &
pid=$!
wid=$(timeout 120 xdotool search --sync --onlyvisible --name '^Quentra Module Upgrade$' | head -n 1)
height=$(xwininfo -id "$wid" | sed -n 's/^ *Height: //p')
top=$(((height * 15 + 405 - 1185) / 15))
if [ "$(xwininfo -tree -id "$wid" | grep -cE " 81x33\+(24|208)\+$top ")" -ne 2 ]; then
    echo "Ok and Cancel are not at $top in a window $height high:" >&2
    xwininfo -tree -id "$wid" | grep -E " 81x33\+" >&2
    status=1
fi
exit $status
