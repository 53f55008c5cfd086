#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over the C++ files changed since the first commit, committed or
# not, that the build compiles; fails on any finding. Outside a git checkout every compiled
# file is checked.
set -euo pipefail
source_dir=$1
build_dir=$2
db="$build_dir/compile_commands.json"
[ -f "$db" ] || { echo "no $db: configure the build first" >&2; exit 1; }
cd "$source_dir"

# Files the build compiles, relative to the source directory.
mapfile -t compiled < <(python3 - "$db" "$source_dir" <<'PY'
import json, os, sys
root = os.path.realpath(sys.argv[2])
for entry in json.load(open(sys.argv[1])):
    f = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    if f.startswith(root + os.sep):
        rel = os.path.relpath(f, root)
        if rel.split(os.sep)[0] in ("src", "tests", "bench", "fuzz"):
            print(rel)
PY
)

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    first=$(git rev-list --max-parents=0 HEAD | tail -n 1)
    mapfile -t changed < <({ git diff --name-only --diff-filter=d "$first" --;
                             git ls-files --others --exclude-standard; } | sort -u)
    files=()
    for f in "${compiled[@]}"; do
        for c in "${changed[@]}"; do
            if [ "$f" = "$c" ]; then files+=("$f"); break; fi
        done
    done
else
    files=("${compiled[@]}")
fi

if [ ${#files[@]} -eq 0 ]; then
    echo "no changed C++ file to check"
    exit 0
fi
echo "clang-tidy over ${#files[@]} files"
log="$build_dir/clang-tidy.log"
status=0
printf '%s\0' "${files[@]}" |
    xargs -0 -n 1 -P 2 clang-tidy -p "$build_dir" --quiet \
        --extra-arg=-Wno-unknown-warning-option >"$log" 2>&1 || status=$?
grep -v '^[0-9]* warnings\? \(and [0-9]* errors\? \)\?generated\.$' "$log" || true
if [ "$status" -ne 0 ]; then
    echo "clang-tidy found problems (see above)" >&2
    exit 1
fi
