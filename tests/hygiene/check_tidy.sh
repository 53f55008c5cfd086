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

# Files the build compiles, relative to the source directory. Sources that only the Windows build
# compiles (src/ui/win32/, src/app/main_win32.cpp, src/core/platform/*_windows.cpp, the probe in
# tests/windows/) need windows.h, which the host has not; they are not in the host's database
# and so are left out here, and are held to -Wall -Wextra -Wpedantic -Werror by the windows
# preset instead.
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
# A file that passed is not checked again while it, its compile command, the project's headers
# and .clang-tidy stay the same (a fresh build directory checks everything).
cache="$build_dir/clang-tidy-passed"
mkdir -p "$cache"
headers_key=$(find src tests bench fuzz -name '*.hpp' -o -name '*.h' 2>/dev/null | sort |
    xargs cat .clang-tidy 2>/dev/null | sha256sum | cut -d' ' -f1)
declare -A command_of
while IFS=$'\t' read -r file command; do command_of[$file]=$command; done < <(
    python3 - "$db" "$source_dir" <<'PY'
import json, os, sys
root = os.path.realpath(sys.argv[2])
for entry in json.load(open(sys.argv[1])):
    f = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    print(os.path.relpath(f, root) + "\t" + entry.get("command", " ".join(entry.get("arguments", []))))
PY
)
todo=()
keys=()
for f in "${files[@]}"; do
    key=$( { cat "$f"; printf '%s\n%s' "${command_of[$f]:-}" "$headers_key"; } | sha256sum | cut -d' ' -f1)
    if [ ! -e "$cache/$key" ]; then
        todo+=("$f")
        keys+=("$key")
    fi
done
echo "clang-tidy over ${#todo[@]} of ${#files[@]} changed files (the rest passed unchanged before)"
[ ${#todo[@]} -eq 0 ] && exit 0

log="$build_dir/clang-tidy.log"
: >"$log"
export build_dir log
# One file per call, two at a time; a file's findings are logged whole, in one piece.
printf '%s\0' "${!todo[@]}" | xargs -0 -P 2 -I{} bash -c '
    i=$1; shift
    files=("$@")
    out=$(clang-tidy -p "$build_dir" --quiet --extra-arg=-Wno-unknown-warning-option \
        "${files[$i]}" 2>&1) && echo "$i ok" >>"$log.status" || echo "$i failed" >>"$log.status"
    printf "%s\n" "$out" | grep -v "^[0-9]* warnings\? \(and [0-9]* errors\? \)\?generated\.$" \
        >>"$log" || true
' _ {} "${todo[@]}"

status=0
for i in "${!todo[@]}"; do
    if grep -qx "$i ok" "$log.status"; then
        : >"$cache/${keys[$i]}"
    else
        status=1
    fi
done
rm -f "$log.status"
cat "$log"
if [ "$status" -ne 0 ]; then
    echo "clang-tidy found problems (see above)" >&2
    exit 1
fi
