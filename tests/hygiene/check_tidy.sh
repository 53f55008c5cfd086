#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over every C++ file of the sources that the build compiles; fails
# on any finding. A file that passed is not checked again while nothing it was checked with has
# changed; a fresh build directory, as in CI, checks every file.
set -euo pipefail
source_dir=$1
build_dir=$2
db="$build_dir/compile_commands.json"
[ -f "$db" ] || { echo "no $db: configure the build first" >&2; exit 1; }
cd "$source_dir"
cache="$build_dir/clang-tidy-passed"
mkdir -p "$cache"

# "key<TAB>file" for each file the build compiles, relative to the source directory, once however
# many targets compile it (one clang-tidy call checks a file under each of its compile commands).
# A file that the build compiles in a batch (CMake's unity build) is checked alone, under the
# batch's command: so a file that lacks an include of its own fails here.
# Sources that only the Windows build compiles (src/ui/win32/, src/app/main_win32.cpp,
# src/core/platform/*_windows.cpp, the probe in tests/windows/) need windows.h, which the host
# has not; they are not in the host's database and so are left out here, and are held to -Wall
# -Wextra -Wpedantic -Werror by the windows preset instead. The key covers the file, its compile
# commands, what its object was compiled from (ninja's deps log, system headers too; every
# project header where the log has no entry or a file is newer than the object), the project's
# header names, .clang-tidy and clang-tidy's version.
# The commands, one for each file, go to a database of their own: clang-tidy reads its commands
# there.
own_db="$build_dir/clang-tidy-commands"
listed=$(python3 - "$db" "$source_dir" "$build_dir" "$(clang-tidy --version)" "$own_db" <<'PY'
import hashlib, json, os, re, shlex, subprocess, sys
db, root, build, version, own_db = sys.argv[1:6]
root, build = os.path.realpath(root), os.path.realpath(build)
commands, own_entries = {}, []
for entry in json.load(open(db)):
    directory = entry["directory"]
    path = os.path.realpath(os.path.join(directory, entry["file"]))
    args = entry.get("arguments") or shlex.split(entry["command"])
    sources = [path]
    if re.fullmatch(r"unity_\d+_cxx\.cxx", os.path.basename(path)):
        # A batch of CMake's unity build: each file it includes is checked alone, with the
        # batch's command.
        with open(path) as f:
            sources = [os.path.realpath(s) for s in re.findall(r'^#include "(.+)"$', f.read(), re.M)]
    for source in sources:
        rel = os.path.relpath(source, root)
        if source.startswith(root + os.sep) and rel.split(os.sep)[0] in ("src", "tests", "bench", "fuzz"):
            command = shlex.join(source if os.path.realpath(os.path.join(directory, a)) == path else a
                                 for a in args)
            commands.setdefault(rel, []).append((directory, command))
            own_entries.append({"directory": directory, "file": source, "command": command})
os.makedirs(own_db, exist_ok=True)
with open(os.path.join(own_db, "compile_commands.json"), "w") as f:
    json.dump(own_entries, f, indent=1)
deps, files = {}, None
log = subprocess.run(["ninja", "-C", build, "-t", "deps"], capture_output=True, text=True)
for line in log.stdout.splitlines() if log.returncode == 0 else []:
    if not line.startswith(" "):
        target, _, state = line.partition(": #deps ")
        files = [] if state.endswith("(VALID)") else None
        if files is not None:
            deps[os.path.realpath(os.path.join(build, target))] = (int(state.split()[3]), files)
    elif line.strip() and files is not None:
        files.append(os.path.realpath(os.path.join(build, line.strip())))
digests = {}
def digest(path):
    if path not in digests:
        with open(path, "rb") as f:
            digests[path] = hashlib.sha256(f.read()).hexdigest()
    return digests[path]
headers = sorted(os.path.join(d, n) for top in ("src", "tests", "bench", "fuzz")
                 for d, _, names in os.walk(os.path.join(root, top)) for n in names
                 if n.endswith((".hpp", ".h")))
common = [version, digest(os.path.join(root, ".clang-tidy"))] + headers
def inputs(directory, command):
    args = shlex.split(command)
    built, used = deps.get(os.path.realpath(os.path.join(directory, args[args.index("-o") + 1]))
                           if "-o" in args else None, (0, []))
    if used and all(os.path.exists(f) and os.stat(f).st_mtime_ns <= built for f in used):
        return used
    return headers
for rel, entries in sorted(commands.items()):
    key = common + [rel, digest(os.path.join(root, rel))]
    for directory, command in sorted(entries):
        key += [directory, command] + [f + digest(f) for f in inputs(directory, command)]
    print(hashlib.sha256("\n".join(key).encode()).hexdigest() + "\t" + rel)
PY
)
[ -n "$listed" ] || { echo "$db lists no file of the sources" >&2; exit 1; }
mapfile -t checks <<<"$listed"
todo=()
for line in "${checks[@]}"; do [ -e "$cache/${line%%$'\t'*}" ] || todo+=("$line"); done
echo "clang-tidy over ${#todo[@]} of ${#checks[@]} files (the rest passed unchanged before)"
[ ${#todo[@]} -eq 0 ] && exit 0

# Two files at a time, each with its findings in a log of its own, shown in the files' order.
logs="$build_dir/clang-tidy-logs"
rm -rf "$logs"
mkdir -p "$logs"
export cache logs own_db
printf '%s\n' "${todo[@]}" | tr '\t\n' '\0\0' | xargs -0 -n 2 -P 2 bash -c '
    clang-tidy -p "$own_db" --quiet --extra-arg=-Wno-unknown-warning-option "$2" \
        >"$logs/$1" 2>&1 && : >"$cache/$1" || true' _
status=0
for line in "${todo[@]}"; do
    key=${line%%$'\t'*}
    grep -v '^[0-9]* warnings\? \(and [0-9]* errors\? \)\?generated\.$' "$logs/$key" || true
    [ -e "$cache/$key" ] || { echo "clang-tidy: findings in ${line#*$'\t'}" >&2; status=1; }
done
[ "$status" -eq 0 ] || { echo "clang-tidy found problems (see above)" >&2; exit 1; }
