#!/usr/bin/env bash
# The program of the windows preset's build imports nothing that Windows 7 lacks: the loader of an
# older system refuses to start a program whose imports it does not have. Every imported function
# is referenced by name in a file compiled, with the build's own compiler, against the Windows 7
# level of the mingw-w64 headers, which declare only what that level has; the compiler's error
# names each function that is newer. msvcrt.dll is left out: the C runtime's functions are not
# the system's API, and its headers give them no Windows level to check against.
# Usage: check_imports.sh BUILD_DIR
set -euo pipefail
build_dir=$(realpath "$1")
exe=$build_dir/src/app/QuentraModuleUpgrade.exe
compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$build_dir"/CMakeFiles/*/CMakeCXXCompiler.cmake |
    head -n 1)
[ -n "$compiler" ] || { echo "no C++ compiler found in $build_dir/CMakeFiles" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The headers that declare each DLL's functions (lower case); a DLL not in the table fails.
declare -A headers=([kernel32.dll]="windows.h" [user32.dll]="windows.h" [gdi32.dll]="windows.h"
    [advapi32.dll]="windows.h aclapi.h" [comctl32.dll]="commctrl.h" [comdlg32.dll]="commdlg.h"
    [ole32.dll]="objbase.h" [oleaut32.dll]="oleauto.h" [oleacc.dll]="oleacc.h"
    [shell32.dll]="shellapi.h shlobj.h")

# "DLL function" a line; a function imported by ordinal alone has no name to check: "DLL #".
x86_64-w64-mingw32-objdump -p "$exe" | awk '
    /^\tDLL Name: / { dll = tolower($3); next }
    /^\tvma:/ { next }
    NF == 0 { dll = "" }
    dll != "" && NF >= 3 { print dll, $3 }
    dll != "" && NF == 2 { print dll, "#" }' >"$work/imports"

status=0
includes="windows.h"
: >"$work/references"
while read -r dll function; do
    [ "$dll" != msvcrt.dll ] || continue
    if [ -z "${headers[$dll]:-}" ]; then
        echo "FAILED: imports from $dll, whose headers this check does not know" >&2
        status=1
    elif [ "$function" = "#" ]; then
        echo "FAILED: imports from $dll by ordinal, with no name to check" >&2
        status=1
    else
        includes+=" ${headers[$dll]}"
        echo "    static_cast<void>(&::$function); // $dll" >>"$work/references"
    fi
done <"$work/imports"
# A table read wrong must not pass as an empty one: the window cannot do without USER32.
grep -q '// user32.dll$' "$work/references" ||
    { echo "FAILED: no USER32 function read from the import table of $exe" >&2; exit 1; }

{
    for header in $(tr ' ' '\n' <<<"$includes" | awk '!seen[$0]++'); do
        echo "#include <$header>"
    done
    echo "void referenceEachImport() {"
    cat "$work/references"
    echo "}"
} >"$work/imports.cpp"
if ! "$compiler" -fsyntax-only -std=c++20 -D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -DUNICODE \
    -D_UNICODE "$work/imports.cpp" 2>"$work/errors"; then
    echo "FAILED: the program imports functions that Windows 7 lacks:" >&2
    grep 'error:' "$work/errors" >&2 || cat "$work/errors" >&2
    status=1
fi
[ $status -ne 0 ] ||
    echo "all $(wc -l <"$work/references") imported functions are declared at the Windows 7 level"
exit $status
