#!/usr/bin/env bash
# Runs each benchmark once, offscreen and in a scratch directory: both start-up programs must
# paint their window and end by themselves with status 0, and every store case must run
# without an error. Times nothing.
set -euo pipefail
app=$1
floor=$2
store=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

for program in "$app" "$floor"; do
    timeout 60 "$program"
    echo "ok: $(basename "$program") painted and ended"
done

# Every kind of store case in every encoding, on files of up to 1 MB and the floor on 10 MB: the
# 50 MB and hostile files take minutes in a debug build and are left to scripts/bench.sh.
"$store" --dir="$work" --benchmark_min_time=0.001 --benchmark_format=json \
    --benchmark_filter='file_mb:(0|1)/encoding:./file_info_keys:0|^BM_Floor/file_mb:10/encoding:0/' >"$work/store.json"
python3 - "$work/store.json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
names = sorted(r["name"] for r in runs)
expected = sorted([f"BM_{op}/file_mb:{n}/encoding:{e}/file_info_keys:0" for op in ("Save", "Load")
                   for n in (0, 1) for e in range(4)]
                  + [f"BM_PeakMemory/file_mb:1/encoding:{e}/file_info_keys:0/op:{op}"
                     "/iterations:1/repeats:1" for e in range(4) for op in (0, 1)]
                  + ["BM_Floor/file_mb:10/encoding:0/file_info_keys:0"])
if names != expected:
    sys.exit(f"store cases {names}, expected {expected}")
failed = [r["name"] for r in runs if r.get("error_occurred")]
if failed:
    sys.exit(f"store cases failed: {failed}")
for r in runs:
    if r["iterations"] < 1 or not r["real_time"] > 0:
        sys.exit(f"{r['name']} did not run")
    if r["name"].startswith("BM_PeakMemory") and not r.get("peak_bytes", 0) > 0:
        sys.exit(f"{r['name']} measured no memory")
print(f"ok: {len(runs)} store cases ran")
PY
