#!/usr/bin/env bash
# Runs every benchmark on the release build and writes the figures into docs/performance.md:
# start-up of the program beside the bare-window floor as whole processes (hyperfine, offscreen
# and under Xvfb), their peak memory (/usr/bin/time), and Save/Load of Config.dat (bench_store:
# 1, 10 and 50 MB files and hostile ones in each encoding, a 10 MB Save beside the floor of a
# durable replace, peak memory) on the disk and, where there is one, on a memory file system.
#
# Knobs (environment): QMU_BENCH_ROUNDS (alternating hyperfine rounds, default 10),
# QMU_BENCH_RUNS (runs of each program per round, 10), QMU_BENCH_MEMORY_RUNS (15),
# QMU_BENCH_STORE_REPETITIONS (7), QMU_BENCH_PLATFORMS ("offscreen xcb"), QMU_BENCH_BUILD_DIR
# (build/release), QMU_BENCH_ONLY ("startup store": which parts to run; the page keeps the
# figures of a part not run).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source scripts/lib/xvfb.sh
scripts/setup.sh

rounds=${QMU_BENCH_ROUNDS:-10}
runs=${QMU_BENCH_RUNS:-10}
memory_runs=${QMU_BENCH_MEMORY_RUNS:-15}
store_repetitions=${QMU_BENCH_STORE_REPETITIONS:-7}
platforms=${QMU_BENCH_PLATFORMS:-offscreen xcb}
only=${QMU_BENCH_ONLY:-startup store}
part() { [[ " $only " == *" $1 "* ]]; }

build=${QMU_BENCH_BUILD_DIR:-$root/build/release}
echo "== release build in $build"
cmake --preset release -B "$build" >/dev/null
targets=()
if part startup; then targets+=(bench_startup_app bench_startup_floor); fi
if part store; then targets+=(bench_store); fi
cmake --build "$build" -j 2 --target "${targets[@]}"
bin=$build/bench

work=$(mktemp -d)
XVFB_PID=""
cleanup() {
    stop_xvfb "$XVFB_PID"
    rm -f "$bin/Config.dat"
    rm -rf "$work" "$build/bench-store-disk"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

load() { cut -d' ' -f1-3 /proc/loadavg; }
echo "load at start: $(load)"
if awk '{ exit !($1 > 1.5) }' /proc/loadavg; then
    echo "warning: the machine is busy (load $(load)); figures will be noisy" >&2
fi

# The program starts as it does after the first Ok: with a saved job beside it. The floor shows
# this job's texts and ticks as constants (bench/startup_floor.cpp): change both together.
printf '[FILE INFO]\r\nType=6050\r\nAddress=3\r\nFile Length=81920\r\nBlock Size=65536\r\nFile Name=vtl_2.bin\r\nWait=0\r\nConsole=1\r\n' >"$bin/Config.dat"
for p in $(seq 1 16); do printf 'Port #%d=15\r\n' "$p" >>"$bin/Config.dat"; done

app=$bin/bench_startup_app
floor=$bin/bench_startup_floor
part startup || platforms=""
for platform in $platforms; do
    if [ "$platform" = xcb ]; then
        start_xvfb "$work"
    fi
    export QT_QPA_PLATFORM=$platform
    echo "== start-up, $platform: $rounds rounds of $runs runs each, order alternating (load $(load))"
    echo "$(load)" >"$work/load.startup.$platform"
    for r in $(seq 1 "$rounds"); do
        if [ $((r % 2)) -eq 1 ]; then order=("$app" "$floor"); else order=("$floor" "$app"); fi
        hyperfine -N --style none --warmup 3 --runs "$runs" \
            --export-json "$work/startup.$platform.$r.json" "${order[@]}" >/dev/null
    done
    echo "== peak memory, $platform: $memory_runs runs each, alternating"
    for _ in $(seq 1 "$memory_runs"); do
        /usr/bin/time -a -o "$work/memory.$platform.app" -f %M "$app"
        /usr/bin/time -a -o "$work/memory.$platform.floor" -f %M "$floor"
    done
    echo "$(load)" >>"$work/load.startup.$platform"
    unset QT_QPA_PLATFORM
done

# Durable Save on the disk the build lives on; on a memory file system the flush costs
# nothing, which leaves the work of Save itself.
store_dirs=()
if part store; then
    store_dirs+=("disk:$build/bench-store-disk")
    if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ]; then
        store_dirs+=("memory:/dev/shm")
    fi
fi
# The file system's own name (ext4, not stat's "ext2/ext3").
fs_type() { findmnt -n -o FSTYPE --target "$1" 2>/dev/null | tail -n 1 | grep . || stat -f -c %T "$1"; }
for entry in "${store_dirs[@]}"; do
    kind=${entry%%:*}
    dir=${entry#*:}
    mkdir -p "$dir"
    # Peak memory does not depend on where the file is: measured once, on the disk.
    filter=.
    [ "$kind" = disk ] || filter='^BM_(Save|Load|Floor)/'
    echo "== Save and Load, $kind ($(fs_type "$dir")), $store_repetitions repetitions (load $(load))"
    echo "$(load)" >"$work/load.store.$kind"
    # Repetitions interleaved at random, so that a Save and its floor meet the same load.
    "$bin/bench_store" --dir="$dir" --benchmark_repetitions="$store_repetitions" \
        --benchmark_enable_random_interleaving=true --benchmark_filter="$filter" \
        --benchmark_min_time=0.2 --benchmark_format=console \
        --benchmark_out_format=json --benchmark_out="$work/store.$kind.json" |
        grep -E '_median|PeakMemory' || true
    echo "$(load)" >>"$work/load.store.$kind"
    fs_type "$dir" >"$work/fs.$kind"
    echo "$dir" >"$work/dir.$kind"
done

echo "== machine"
{
    echo "cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
    echo "nproc=$(nproc)"
    echo "memory=$(free -m | awk '/^Mem:/ { print $2 " MiB" }')"
    echo "kernel=$(uname -r)"
    echo "os=$(. /etc/os-release && echo "$PRETTY_NAME")"
    echo "qt=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || echo unknown)"
    echo "compiler=$(c++ --version | head -n 1)"
    echo "build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")"
    echo "flags=$(sed -n 's/^CMAKE_CXX_FLAGS_RELWITHDEBINFO:[A-Z]*=//p' "$build/CMakeCache.txt")"
    echo "hyperfine=$(hyperfine --version)"
    echo "benchmark=$(dpkg-query -W -f='${Version}' libbenchmark-dev 2>/dev/null || echo unknown)"
    echo "date=$(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
} >"$work/machine"
cat "$work/machine"

python3 bench/report.py "$work" docs/performance.md
echo "load at end: $(load)"
echo "figures written to docs/performance.md"
