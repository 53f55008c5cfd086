#!/usr/bin/env bash
# Start-up of the Windows program under Wine against its floor (bench/win32: a bare Win32 window
# of the same controls, flags, fonts and resources), alternating, process start to window
# shown; and the size of the packaged .exe. Prints the figures for docs/performance.md.
# Usage: scripts/bench_windows.sh [ROUNDS]   (run it on an otherwise idle machine)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/wine.sh
rounds=${1:-20}
build_dir=$PWD/build/windows
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target QuentraModuleUpgrade bench_startup_floor_win32
(cd "$build_dir" && cpack -G ZIP >/dev/null)

wine_env "$build_dir/wineprefix"
wine_prefix_init
wine_scratch
start_xvfb "$work"
wine_set_dpi 96
mkdir -p "$work/app" "$work/floor"
# The program as packaged (stripped), with the job the floor shows.
unzip -q -j "$build_dir"/quentra-module-upgrade-*-windows-x86_64.zip '*/QuentraModuleUpgrade.exe' -d "$work/app"
x86_64-w64-mingw32-strip -o "$work/floor/floor.exe" "$build_dir/bench/win32/bench_startup_floor_win32.exe"
printf '%s\r\n' "[FILE INFO]" "Type=6050" "Address=12" "File Length=70144" "Block Size=65536" \
    "File Name=vtl_2.bin" "Wait=0" "Console=1" >"$work/app/Config.dat"
for p in $(seq 1 16); do printf 'Port #%d=15\r\n' "$p" >>"$work/app/Config.dat"; done

wineserver -p # one server for every start, as on a desktop where Wine already runs
python=/usr/bin/python3
[ -x $python ] || python=python3
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $(wine --version)"
echo "rounds: $rounds, alternating; seconds from process start to window shown (median lowest highest)"
$python bench/win32/measure_startup.py "$rounds" "Quentra Module Upgrade" \
    "program=QuentraModuleUpgrade.exe@$work/app" "floor=floor.exe@$work/floor" | tee "$work/times.txt"
awk '$1=="program"{a=$2} $1=="floor"{f=$2} $1=="program-cpu"{ac=$2} $1=="floor-cpu"{fc=$2}
    END{printf "ratio program/floor (medians): wall-clock %.3f, CPU %.3f\n", a/f, ac/fc}' "$work/times.txt"
echo "sizes (bytes): program $(stat -c %s "$work/app/QuentraModuleUpgrade.exe"), floor $(stat -c %s "$work/floor/floor.exe")"
