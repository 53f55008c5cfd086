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

"$store" --dir="$work" --benchmark_min_time=0.001 --benchmark_format=json >"$work/store.json"
python3 - "$work/store.json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
names = sorted(r["name"] for r in runs)
expected = sorted(f"BM_{op}/foreign_bytes:{n}/encoding:{e}" for op in ("Save", "Load")
                  for n in (0, 1 << 20, 10 << 20) for e in (0, 1, 2))
if names != expected:
    sys.exit(f"store cases {names}, expected {expected}")
failed = [r["name"] for r in runs if r.get("error_occurred")]
if failed:
    sys.exit(f"store cases failed: {failed}")
for r in runs:
    if r["iterations"] < 1 or not r["real_time"] > 0:
        sys.exit(f"{r['name']} did not run")
print(f"ok: {len(runs)} store cases ran")
PY
