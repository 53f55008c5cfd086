#!/usr/bin/env bash
# Fails when a C++ file under src/, tests/, bench/ or fuzz/ differs from what .clang-format
# makes of it. Fix with: clang-format -i <file>
set -euo pipefail
cd "$1"
mapfile -d '' files < <(find src tests bench fuzz -type f \
    \( -name '*.cpp' -o -name '*.hpp' -o -name '*.h' -o -name '*.cc' \) -print0 2>/dev/null | sort -z)
if [ ${#files[@]} -eq 0 ]; then
    echo "no C++ files found under $1" >&2
    exit 1
fi
clang-format --dry-run -Werror "${files[@]}"
echo "${#files[@]} files follow .clang-format"
