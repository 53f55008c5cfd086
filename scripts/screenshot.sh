#!/usr/bin/env bash
# Takes docs/screenshot.png: the window with a typical saved job, under a virtual X server.
# Usage: scripts/screenshot.sh [path of the built QuentraModuleUpgrade]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--inside" ]; then
    cd "$2"
    QT_QPA_PLATFORM=xcb ./QuentraModuleUpgrade >/dev/null 2>&1 &
    pid=$!
    wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quentra Module Upgrade$' | head -n 1)
    sleep 1
    import -window "$wid" shot.png
    kill "$pid"
    exit 0
fi

exe=${1:-build/release/src/app/QuentraModuleUpgrade}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$exe" "$work/"
cat >"$work/Config.dat" <<'JOB'
[FILE INFO]
Type=6050
Address=12
File Length=70144
Block Size=65536
File Name=vtl_2.bin
Wait=0
Console=1
Port #1=15
Port #2=3
Port #5=8
JOB
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" --inside "$work"
mkdir -p docs
cp "$work/shot.png" docs/screenshot.png
echo "docs/screenshot.png written"
