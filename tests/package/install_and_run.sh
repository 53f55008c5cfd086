#!/usr/bin/env bash
# Installs the program into a temporary folder (with a blank in its name), moves the folder
# elsewhere, starts the program there under its own Xvfb from an unrelated working directory,
# presses Ok (Alt+O) and expects Config.dat beside the installed program, and nowhere else.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/xvfb.sh"
source "$(dirname "$0")/linkage.sh"
source "$(dirname "$0")/../support/test_lib.sh"
build_dir=$1

scratch_dir
xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    stop_xvfb "$xvfb_pid"
}

cmake --install "$build_dir" --prefix "$work/first place" >/dev/null
mv "$work/first place" "$work/Quentra Module Upgrade"
folder="$work/Quentra Module Upgrade"
program="$folder/QuentraModuleUpgrade"
[ -x "$program" ] || { echo "no program at $program" >&2; exit 1; }
[ -f "$folder/quentra-module-upgrade.png" ] || { echo "no icon in $folder" >&2; exit 1; }
check_linkage "$folder"

start_xvfb "$work"
xvfb_pid=$XVFB_PID
export QT_QPA_PLATFORM=xcb
export QT_DEBUG_PLUGINS=1

mkdir "$work/elsewhere"
(cd "$work/elsewhere" && exec "$program") >"$work/app.log" 2>&1 &
app_pid=$!

window=""
for _ in $(seq 1200); do
    window=$(xdotool search --onlyvisible --name '^Quentra Module Upgrade$' 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && break
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$window" ]; then
    cat "$work/app.log" >&2
    echo "the window did not appear" >&2
    exit 1
fi
[ -e "$folder/Config.dat" ] && { echo "Config.dat written before Ok" >&2; exit 1; }
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers alt+o

wait_for_exit "$app_pid" "after Ok"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || { cat "$work/app.log" >&2; echo "exit status $status" >&2; exit 1; }

if [ -f "$folder/qt.conf" ] && ! grep -qF "$folder/plugins/platforms/libqxcb.so" "$work/app.log"; then
    grep -i 'qxcb' "$work/app.log" >&2 || true
    echo "the bundled platform plugin was not the one loaded" >&2
    exit 1
fi
[ -f "$folder/Config.dat" ] || { ls -la "$folder" >&2; echo "no Config.dat beside the program" >&2; exit 1; }
grep -q '^\[FILE INFO\]' "$folder/Config.dat" ||
    { cat "$folder/Config.dat" >&2; echo "Config.dat lacks its section" >&2; exit 1; }
for key in 'Type' 'Address' 'File Length' 'Block Size' 'File Name' 'Wait' 'Console' 'Port #1' 'Port #16'; do
    grep -q "^$key=" "$folder/Config.dat" ||
        { cat "$folder/Config.dat" >&2; echo "Config.dat lacks \"$key\"" >&2; exit 1; }
done
if [ -n "$(ls -A "$work/elsewhere")" ]; then
    ls -la "$work/elsewhere" >&2
    echo "the program wrote into its working directory" >&2
    exit 1
fi
echo "Config.dat written beside $program:"
cat "$folder/Config.dat"
