#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang) and runs each for a bounded time.
#   scripts/fuzz.sh [--seconds N | --runs N] [--build-dir DIR] [--build-only | --no-build] [target...]
# Targets: numeric_text settings_file firmware_name (all when none is named). Default: 600 s
# each. New inputs collect in DIR/corpus/<target>, beside the seeds in fuzz/corpus/<target>;
# a failing input is kept in DIR/artifacts/<target>/ and the script exits non-zero.
# --runs N is the test suite's mode: N inputs from a fixed seed and the seeds alone (a fresh
# working corpus), so that a run does the same work on any machine, idle or busy.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

seconds=600
runs=
build_dir=$source_dir/build/fuzz
build=yes
run=yes
targets=()
while [ $# -gt 0 ]; do
    case $1 in
        --seconds) seconds=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --build-dir) build_dir=$2; shift 2 ;;
        --build-only) run=no; shift ;;
        --no-build) build=no; shift ;;
        -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
        *) targets+=("$1"); shift ;;
    esac
done
[ ${#targets[@]} -gt 0 ] || targets=(numeric_text settings_file firmware_name)

if [ "$build" = yes ]; then
    cmake --preset fuzz -B "$build_dir" >/dev/null
    cmake --build "$build_dir" -j 2
fi
[ "$run" = yes ] || exit 0

status=0
for t in "${targets[@]}"; do
    exe=$build_dir/fuzz/${t}_fuzz
    [ -x "$exe" ] || { echo "no fuzz target $exe" >&2; exit 1; }
    artifacts=$build_dir/artifacts/$t/
    log=$build_dir/$t.log
    if [ -n "$runs" ]; then
        corpus=$build_dir/corpus-fixed/$t
        rm -rf "$corpus"
        bound=(-runs="$runs" -seed=1)
        echo "== $t: $runs runs"
    else
        corpus=$build_dir/corpus/$t
        bound=(-max_total_time="$seconds")
        echo "== $t: ${seconds} s"
    fi
    mkdir -p "$corpus" "$artifacts"
    # -timeout only catches a hang (one input running for minutes), never a slow machine.
    rc=0
    "$exe" "${bound[@]}" -timeout=120 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts" "$corpus" "$source_dir/fuzz/corpus/$t" >"$log" 2>&1 || rc=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    units=$(ls "$corpus" | wc -l)
    echo "$t: ${execs:-?} executions, exit $rc, working corpus $units inputs (log $log)"
    if [ "$rc" -ne 0 ]; then
        grep -E 'invariant failed|ERROR:|SUMMARY:|^  ' "$log" | head -20 >&2 || true
        ls "$artifacts" >&2
        status=1
    fi
done
exit $status
