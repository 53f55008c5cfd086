#!/usr/bin/env bash
# Runs the built program from a temporary directory under the Orca screen reader, in a session
# of its own (orca_session.sh), and does the whole job by keys only: every step must be spoken as
# orca_driver.py lists it, the file dialog gives the keyboard back, and Alt+O saves the job.
# Usage: orca_test.sh <path of the built QuentraModuleUpgrade>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/orca_session.sh"
source "$here/../support/test_lib.sh"

exe=${1:?path of the program}
scratch_dir
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    stop_orca_session
}
start_orca_session "$work"

mkdir "$work/app"
cp "$exe" "$work/app/QuentraModuleUpgrade"
# An image longer than one block: its size, its block size and its module are all shown.
head -c 70000 /dev/zero >"$work/app/VTL_201.bin"
cd "$work/app"
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 ./QuentraModuleUpgrade >../program.log 2>&1 &
pid=$!

status=0
/usr/bin/python3 "$here/orca_driver.py" "$work/orca.log" || status=1
xdotool key alt+o
if ! wait_for_exit "$pid" "after Alt+O"; then
    cat ../program.log >&2
    exit 1
fi
pid=""

[ -f Config.dat ] || { echo "no Config.dat beside the program" >&2; exit 1; }
# What the window showed: the module picked last, the file's fields, the address, every box ticked.
expected=("Type=6060" "Address=127" "File Length=70000" "Block Size=65536"
    "File Name=VTL_201.bin" "Wait=0" "Console=16383")
for n in $(seq 1 16); do expected+=("Port #$n=15"); done
fail() { echo "Config.dat: $*" >&2; status=1; }
expect_lines "$(tr -d '\r' <Config.dat)" "${expected[@]}"
exit $status
