#!/usr/bin/env bash
# Drives QuentraModuleUpgrade.exe of the Windows build under Wine with real key and mouse events
# (xdotool on a private Xvfb) and judges every saved Config.dat through the system's profile API
# (profile_probe.exe). Each case starts the program in a fresh folder of its own.
# Usage: end_to_end_test.sh BUILD_DIR [CASES]   (CASES: a glob of case names, all by default)
set -euo pipefail
build_dir=$(realpath "$1")
only=${2:-*}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/wine.sh"
source "$here/../support/test_lib.sh"
exe=$build_dir/src/app/QuentraModuleUpgrade.exe
# The same sources built to take the paths of Windows 7 (no per-monitor DPI functions, no search
# flags of LoadLibraryEx): the cases of the window's geometry and one of Select run it too, in
# `program`, as "<case>_windows_7".
windows_7_exe=$build_dir/tests/windows/QuentraModuleUpgrade_as_on_windows_7.exe
program=$exe
probe=$build_dir/tests/windows/profile_probe.exe
accessibility_probe=$build_dir/tests/windows/accessibility_probe.exe
window_probe=$build_dir/tests/windows/window_probe.exe
file_holder=$build_dir/tests/windows/file_holder.exe
title="Quentra Module Upgrade"
# Debian's own Python, which has python3-xlib, whatever python3 comes first in PATH.
system_python=/usr/bin/python3
[ -x "$system_python" ] || system_python=python3

# wine_desktop SIZE: every program of the prefix in one Wine desktop of SIZE, or in none ("").
wine_desktop() {
    local key='HKCU\Software\Wine\Explorer'
    if [ -n "$1" ]; then
        wine reg add "$key\Desktops" /v Default /d "$1" /f >/dev/null 2>&1
        wine reg add "$key" /v Desktop /d Default /f >/dev/null 2>&1
    else
        wine reg delete "$key" /v Desktop /f >/dev/null 2>&1 || true
    fi
}

wine_env "$build_dir/wineprefix"
wine_prefix_init
wine_scratch
# Tall enough for the window at 144 dpi (1041 pixels of client area), which would be clamped.
XVFB_SCREEN=1280x1600x24 start_xvfb "$work"
wine_desktop "" # none left by a run that was stopped
wine_set_dpi 96
twips_per_pixel=15

failed=()
fail() {
    echo "FAILED [$case_name]: $*" >&2
    failed+=("$case_name")
}

# shellcheck disable=SC2053 # a glob on purpose
selected() { [[ "$1" == $only ]]; }

# begin [OPTIONS] NAME [Config.dat lines...]: a fresh program folder, the program started in it
# with its window focused; the case's commands run in that folder. Without lines there is no
# Config.dat. The program is `program`, which is the shipped one again for the next case.
# Options: --elsewhere  started from the working folder $dir-elsewhere instead
#          --utf-16     Config.dat in UTF-16LE with its byte order mark
#          --held       Config.dat held by file_holder (until stop_holder) while the program starts
begin() {
    local this_program=$program start_in="" utf16="" held=""
    program=$exe
    while [[ $1 == --* ]]; do
        case $1 in
        --elsewhere) start_in=elsewhere ;;
        --utf-16) utf16=yes ;;
        --held) held=yes ;;
        esac
        shift
    done
    case_name=$1
    shift
    selected "$case_name" || return 1
    echo "== $case_name"
    dir="$work/$case_name"
    mkdir -p "$dir"
    cp "$this_program" "$dir/QuentraModuleUpgrade.exe"
    cd "$dir"
    local try
    for try in 1 2 3; do
        [ -z "$held" ] || start_holder 600000 0 || return 1
        if [ $# -gt 0 ]; then
            rm -f Config.dat # the holder takes new files only
            printf '%s\r\n' "[FILE INFO]" "$@" >Config.dat
            if [ -n "$utf16" ]; then
                { printf '\xff\xfe' && iconv -f UTF-8 -t UTF-16LE Config.dat; } >Config.utf-16
                mv Config.utf-16 Config.dat
            fi
            cp Config.dat Config.dat.before
        fi
        [ -z "$held" ] || holder_held Config.dat || return 1
        [ -z "$start_in" ] || { mkdir -p "$dir-$start_in" && cd "$dir-$start_in"; }
        wine_start_window "$dir/program.log" "$title" "$dir/QuentraModuleUpgrade.exe" ||
            { fail "the window did not appear"; return 1; }
        cd "$dir"
        # A start tried again ends every process of the prefix, the file holder too: the program
        # then read Config.dat unheld, and the case begins again with the file held anew.
        [ -z "$held" ] || kill -0 "$HOLDER_PID" 2>/dev/null && break
        echo "the file holder ended with the start tried again: $case_name begins again" >&2
        kill "$WINE_PID" 2>/dev/null || true
        wait "$WINE_PID" 2>/dev/null || true
        wine_stop
    done
    [ -z "$held" ] || kill -0 "$HOLDER_PID" 2>/dev/null ||
        { fail "the file holder did not outlast the program's start"; return 1; }
    xdotool windowfocus --sync "$WINE_WID"
}

# start_holder FIRST_MS SECOND_MS: file_holder on the case's folder, from now on holding each new
# file there; stop_holder ends it, and with it every hold. holder_held NAME: waits until it
# holds NAME.
start_holder() {
    wine "$file_holder" . "$@" >holder.out 2>&1 &
    HOLDER_PID=$!
    holder_said '^watching$' || { fail "no file holder: $(cat holder.out)"; return 1; }
}
holder_said() {
    for _ in $(seq 1 300); do
        tr -d '\r' <holder.out | grep -q "$1" && return 0
        kill -0 "$HOLDER_PID" 2>/dev/null || return 1
        sleep 0.2
    done
    return 1
}
holder_held() { holder_said "^held $1\$" || { fail "the file holder did not get $1"; return 1; }; }
stop_holder() {
    kill "$HOLDER_PID" 2>/dev/null || true
    wait "$HOLDER_PID" 2>/dev/null || true
}

# click LEFT TOP: a left click a few pixels inside the control placed there (twips).
click() {
    xdotool mousemove --window "$WINE_WID" $(($1 / twips_per_pixel + 4)) \
        $(($2 / twips_per_pixel + 4)) click 1
}
# expect_client WIDTHxHEIGHT: the window's client area in pixels (no window manager, so the X
# window is the client area).
expect_client() {
    local geometry
    geometry=$(xdotool getwindowgeometry "$WINE_WID" | sed -n 's/^ *Geometry: //p')
    [ "$geometry" = "$1" ] || fail "client area $geometry, not $1"
}
keys() { xdotool key --delay 60 "$@"; }
type_text() { xdotool type --delay 60 "$1"; }
# type_beyond_ascii TEXT: replaces the focused box's text with TEXT, typed again until the window
# holds it whole (a bound of five tries): xdotool maps each such letter to a spare key before it
# presses it, and under Wine the first letter so typed was seen lost.
type_beyond_ascii() {
    for _ in 1 2 3 4 5; do
        keys ctrl+a
        type_text "$1"
        read_window "$title"
        ! grep -qF -- "Edit|$1|" <<<"$controls" || return 0
        echo "typed again: $(grep '^Edit' <<<"$controls" | tr '\n' ' ')" >&2
    done
}

# finish HOW: presses the keys that should end the program (or closes the window) and waits;
# "ended" waits for a program that ends by itself.
finish() {
    case $1 in
    close) "$system_python" "$here/close_window.py" "$WINE_WID" ;;
    ended) ;;
    click-ok) click 600 9700 ;; # cmdOk, placed from the window's height
    *) keys "$1" ;;
    esac
    wine_wait_exit "$WINE_PID" "after $1" || { fail "still running after $1"; kill "$WINE_PID"; }
    WINE_PID=""
    [ "${WINE_STATUS:-0}" -eq 0 ] || fail "exit status $WINE_STATUS"
}

# read_saved: what the probe reads from Config.dat, in `saved`. The program has ended, so the
# file can no longer change: a probe run that fails (seen once, under heavy load, with nothing
# on its error output) is run again, and the file must hold the same bytes each time.
read_saved() {
    local before status attempt
    before=$(cksum <Config.dat)
    for attempt in 1 2 3; do
        status=0
        saved=$(wine "$probe" Config.dat 2>"$work/probe.err" | tr -d '\r') || status=$?
        if [ "$(cksum <Config.dat)" != "$before" ]; then
            fail "Config.dat changed after the program ended"
            return 1
        fi
        [ "$status" -ne 0 ] || return 0
        echo "the probe failed (attempt $attempt, exit $status): $(cat "$work/probe.err")" >&2
        sleep 1
    done
    fail "the probe read nothing: $(od -An -c Config.dat | head -n 4 | tr -s ' \n' ' ')"
    return 1
}

# expect_saved KEY=VALUE...: the saved section holds each line, and all 23 keys.
expect_saved() {
    [ -f Config.dat ] || { fail "no Config.dat"; return 0; }
    local saved
    read_saved || return 0
    expect_lines "$saved" "$@"
}
expect_unchanged() {
    if [ -f Config.dat.before ]; then
        cmp -s Config.dat Config.dat.before || fail "Config.dat changed"
    else
        [ ! -e Config.dat ] || fail "Config.dat was written"
    fi
}
# zeros_but N...: the array `zeros` holds "Port #n=0" for every other port.
zeros_but() {
    local n
    zeros=()
    for n in $(seq 1 16); do
        [[ " $* " == *" $n "* ]] || zeros+=("Port #$n=0")
    done
}

# visible_windows NAME: the ids of the visible windows whose name matches NAME, the program's main
# window left out, one a line. Fails when the search itself failed: an X error while a window is
# being destroyed ends xdotool, and that must not read as "no such window".
visible_windows() {
    local ids
    ids=$(xdotool search --onlyvisible --name "$1" 2>"$work/search.err") || true
    [ ! -s "$work/search.err" ] || return 1
    grep -vx "$WINE_WID" <<<"$ids" | grep . || true
}
# window_shown NAME: waits for such a window and prints its id; window_gone NAME: waits until
# there is none. Both give up after a minute (a bound against a hang, not a speed goal).
window_shown() {
    local ids
    for _ in $(seq 1 300); do
        if ids=$(visible_windows "$1") && [ -n "$ids" ]; then
            head -n 1 <<<"$ids"
            return 0
        fi
        sleep 0.2
    done
    return 1
}
window_gone() {
    local ids
    for _ in $(seq 1 300); do
        if ids=$(visible_windows "$1") && [ -z "$ids" ]; then
            return 0
        fi
        sleep 0.2
    done
    return 1
}

# read_window TITLE: what window_probe reads of the visible window of that title, in `controls`.
read_window() {
    controls=$(wine "$window_probe" "$1" 2>&1 | tr -d '\r') || fail "cannot read '$1': $controls"
}

# select_file [--read] NAME|--cancel: Select, then type NAME into the dialog's name field and
# confirm it, or press Esc there; waits until the dialog has gone. With --read, the dialog's
# controls as it opened are in `controls` (read_window).
select_file() {
    click 3840 1320
    local dialog
    dialog=$(window_shown '^Specify File Name$') || { fail "the file dialog did not appear"; return 0; }
    [ "$1" != --read ] || { read_window "Specify File Name" && shift; }
    xdotool windowfocus --sync "$dialog"
    if [ "$1" = --cancel ]; then
        keys Escape
    else
        keys ctrl+a
        type_text "$1"
        keys Return
    fi
    window_gone '^Specify File Name$' || fail "the file dialog did not close"
    xdotool windowfocus --sync "$WINE_WID"
}

# finish_after_dialog: Alt+O right after the file dialog. The dialog's window can go before the
# program takes keys again, and a key pressed in between is lost: the first Alt+O gets a few
# seconds to end the program, then finish presses it again (after an end it reaches nothing).
finish_after_dialog() {
    keys alt+o
    for _ in $(seq 1 30); do
        kill -0 "$WINE_PID" 2>/dev/null || break
        sleep 0.1
    done
    finish alt+o
}

job=("Type=6050" "Address=12" "File Length=70144" "Block Size=65536" "File Name=vtl_2.bin"
    "Wait=3" "Console=5" "Port #1=3" "Port #2=15")
for n in $(seq 3 16); do job+=("Port #$n=0"); done

# ---- Start without Config.dat: the defaults; edit a box, tick two boxes by mouse, pick the
# last list entry by keyboard, Alt+O. Also as on Windows 7.
for suffix in "" _windows_7; do
    [ -z "$suffix" ] || program=$windows_7_exe
    if begin "defaults_edit_and_ok$suffix"; then
        expect_client 313x694 # 4695 x 10410 twips
        click 1920 720
        keys ctrl+a
        type_text "42"
        click 2400 7380 # ChkAddr(37): port 10, A1
        click 1920 4680 # ChkAddr(0): port 1, A0
        click 3000 120
        keys Escape End # closes the drop-down the click opened, then the last entry: Unknown
        finish alt+o
        zeros_but 1 10
        expect_saved "Type=0" "Address=42" "File Length=0" "Block Size=0" "File Name=" "Wait=0" \
            "Console=16383" "Port #1=1" "Port #10=2" "${zeros[@]}"
    fi
done

# ---- Start with Config.dat: the saved job is shown, and saved again unchanged by Alt+O; a type
# code the catalogue lacks ends as Unknown (0).
if begin load_and_ok "${job[@]}"; then
    finish alt+o
    expect_saved "${job[@]}"
fi
if begin unknown_type_and_ok "Type=999" "Address=1"; then
    finish alt+o
    zeros_but
    expect_saved "Type=0" "Address=1" "Console=16383" "${zeros[@]}"
fi

# ---- Alt+C and closing the window leave Config.dat as it was, after edits.
for how in alt+c close; do
    if begin "edit_then_$how" "${job[@]}"; then
        click 1920 720
        type_text "99"
        click 3360 4680
        finish "$how"
        expect_unchanged
    fi
done
if begin no_config_then_close; then
    finish close
    expect_unchanged
fi

# ---- All ticks all 64 boxes; a box changed afterwards leaves All alone.
if begin all_boxes "${job[@]}"; then
    click 3840 3840
    click 2400 4980 # ChkAddr(5): port 2, A1
    finish click-ok
    expect_saved "Port #1=15" "Port #2=13" "Port #16=15" "Port #9=15"
fi

# ---- The tooltip of All: resting the pointer on All (after a label) brings up a popup window of
# the program's that was not there before.
if begin tooltip_on_all; then
    before=$(visible_windows '^$') || before=""
    xdotool mousemove --window "$WINE_WID" $((240 / twips_per_pixel + 4)) $((3810 / twips_per_pixel + 4))
    xdotool mousemove --window "$WINE_WID" $((3840 / twips_per_pixel + 6)) $((3840 / twips_per_pixel + 6))
    tip=""
    for _ in $(seq 1 300); do
        if ids=$(visible_windows '^$'); then
            tip=$(grep -vxF -f <(printf '%s\n' "$before") <<<"$ids" | head -n 1) || true
            [ -z "$tip" ] || break
        fi
        sleep 0.2
    done
    [ -n "$tip" ] || fail "no tooltip on All"
    finish alt+c
fi

# ---- At 144 dpi the window scales from the same twips: its client area, and clicks placed at
# 10 twips a pixel land on All, a grid box and Ok. Also as on Windows 7.
wine_set_dpi 144
twips_per_pixel=10
for suffix in "" _windows_7; do
    [ -z "$suffix" ] || program=$windows_7_exe
    if begin "dpi_144$suffix" "${job[@]}"; then
        expect_client 470x1041
        click 3840 3840
        click 3360 9180 # ChkAddr(63): port 16, A3
        finish click-ok
        expect_saved "Port #1=15" "Port #15=15" "Port #16=7" "Address=12"
    fi
done
wine_set_dpi 96
twips_per_pixel=15

# ---- The focus order by Tab, from txtType (which has the focus at start): every text box in
# order, the buttons passed by, the list picked by keyboard, the grid boxes of row 1 and All,
# then the 60 created boxes in creation order, and round to txtType again.
if begin focus_order; then
    keys Tab
    type_text "11" # txtAddress
    keys Tab
    type_text "22" # txtFileSize
    keys Tab
    type_text "33" # txtBlockSize
    keys Tab
    type_text "f.bin" # txtFileName
    keys Tab Tab Tab Tab # cmdSelect, cmdOk, cmdCancel, cmbType
    keys Home             # VXO12, code 7220
    keys Tab
    type_text "44" # txtWait
    keys Tab
    type_text "55"              # txtConsole
    keys Tab space Tab Tab Tab space # ChkAddr(0) and ChkAddr(3)
    keys Tab Tab space               # past chkAll to ChkAddr(4)
    for _ in $(seq 5 63); do keys Tab; done
    keys space # ChkAddr(63)
    keys Tab
    type_text "7" # txtType again, its text selected by the Tab
    finish alt+o
    zeros_but 1 2 16
    expect_saved "Type=7" "Address=11" "File Length=22" "Block Size=33" "File Name=f.bin" \
        "Wait=44" "Console=55" "Port #1=9" "Port #2=1" "Port #16=8" "${zeros[@]}"
fi

# ---- Enter and Esc press nothing, whichever button has the focus: the window is still there to
# take the next edit, and Alt+O saves that.
if begin enter_and_esc; then
    for _ in 1 2 3 4 5 6; do keys Tab; done # cmdOk
    keys Return Escape Tab Return Escape    # and cmdCancel
    click 1920 720
    keys ctrl+a
    type_text "77"
    keys Return Escape
    finish alt+o
    expect_saved "Address=77" "Type=6060"
fi

# ---- A plain letter presses nothing, whichever button or check box has the focus: "o" and "c"
# are the access keys of Ok and Cancel only with Alt. Each row: the Tabs from the stop before.
# Then back by keys (a click would fail on a window that has gone) to txtConsole for an edit.
if begin plain_letters "${job[@]}"; then
    for tabs in 5 1 1 4 4 1; do # cmdSelect, cmdOk, cmdCancel, ChkAddr(0), chkAll, ChkAddr(4)
        for _ in $(seq 1 "$tabs"); do keys Tab; done
        keys o c shift+o shift+c
    done
    for _ in $(seq 1 6); do keys shift+Tab; done
    type_text "77"
    finish alt+o
    expect_saved "Console=77" "Address=12" "Type=6050" "Port #1=3" "Port #2=15" "Port #3=0"
fi

# ---- Names for assistive technology, as accessibility_probe reads them through
# AccessibleObjectFromWindow: a row per focus stop in Tab's order, "role|name|label just before
# it". Wine names a text box by that label; the list, the buttons and the check boxes it reports
# as plain client objects named by their own text, so for those the label is what is checked,
# the one Windows names a control without a caption by. Each row: the stop's number, its line.
if begin accessible_names "${job[@]}"; then
    names=$(wine "$accessibility_probe" "$title" | tr -d '\r') || fail "the probe failed"
    for row in "1 text|Module Type|Module Type" "2 text|Module Address|Module Address" \
        "3 text|File Size|File Size" "4 text|Block Size|Block Size" "5 text|File Name|File Name" \
        "6 client|Select|" "7 client|Ok|" "8 client|Cancel|" "9 client|VTL|Module Type" \
        "10 text|Wait|Wait" "11 text|Console #|Console #" "12 client||Port #1 A0" \
        "15 client||Port #1 A3" "17 client||Port #2 A0" "50 client||Port #10 A1" \
        "76 client||Port #16 A3"; do
        line=$(sed -n "${row%% *}p" <<<"$names")
        [ "$line" = "${row#* }" ] || fail "focus stop ${row%% *} reads '$line', not '${row#* }'"
    done
    finish alt+c
fi

# ---- Select with a typed name: one that exists, a long one, one that does not exist, one
# without "_" or ".", and Cancel in the dialog after a good selection.
head -c 512 /dev/zero >"$work/VXA-12_r3.bin"
head -c 70144 /dev/zero >"$work/vtl_2.bin"
head -c 300 /dev/zero >"$work/HX24A"
select_case() { # NAME TYPED EXPECTED...
    local name=$1 typed=$2
    shift 2
    if begin "$name"; then
        cp "$work/VXA-12_r3.bin" "$work/vtl_2.bin" "$work/HX24A" .
        if [ "$typed" = "VXA-12_r3.bin,--cancel" ]; then
            select_file VXA-12_r3.bin
            select_file --cancel
        else
            select_file "$typed"
        fi
        finish_after_dialog
        expect_saved "$@"
    fi
}
for suffix in "" _windows_7; do
    [ -z "$suffix" ] || program=$windows_7_exe
    select_case "select_existing$suffix" VXA-12_r3.bin \
        "File Name=VXA-12_r3.bin" "File Length=512" "Block Size=512" "Type=7210"
done
select_case select_long vtl_2.bin \
    "File Name=vtl_2.bin" "File Length=70144" "Block Size=65536" "Type=6050"
select_case select_missing nothere_1.bin \
    "File Name=nothere_1.bin" "File Length=0" "Block Size=0" "Type=6060"
select_case select_no_separator HX24A \
    "File Name=HX24A" "File Length=300" "Block Size=300" "Type=6060"
select_case select_then_cancel "VXA-12_r3.bin,--cancel" \
    "File Name=VXA-12_r3.bin" "File Length=512" "Block Size=512" "Type=7210"
if begin cancel_in_dialog "${job[@]}"; then
    select_file --cancel
    finish_after_dialog
    expect_saved "${job[@]}"
fi

# ---- Ok that cannot save: a value that cannot be stored, or a Config.dat that cannot be
# replaced (a folder of that name, which start-up takes for no file). The warning shows, nothing
# is saved, and the window stays until Alt+C.
# answer_box [TEXT]: a message box over the window (saying TEXT) is answered by Enter; the window
# stays.
answer_box() {
    local box
    box=$(window_shown "^$title\$") || { fail "no message box"; return 0; }
    if [ $# -gt 0 ]; then
        read_window "$title"
        grep -qF -- "$1" <<<"$controls" || fail "the box does not say '$1': $controls"
    fi
    xdotool windowfocus --sync "$box"
    keys Return
    window_gone "^$title\$" || fail "the message box did not close"
    kill -0 "$WINE_PID" 2>/dev/null || fail "the window did not stay after the message box"
    xdotool windowfocus --sync "$WINE_WID"
}
expect_warning_then_cancel() {
    keys alt+o
    answer_box "$@"
    finish alt+c
}
if begin invalid_value "${job[@]}"; then
    click 1920 3120 # txtWait
    keys ctrl+a
    type_text "99999999999"
    expect_warning_then_cancel
    expect_unchanged
fi
mkdir -p "$work/failed_commit/Config.dat"
if begin failed_commit; then
    expect_warning_then_cancel
    [ -d Config.dat ] || fail "the folder Config.dat was replaced"
fi

# ---- Started from another folder: Config.dat is read and saved beside the program, the working
# folder's own left alone; the file dialog opens beside the program (it lists the file that is
# only there, whose bare name then picks it) and lists "*.bin" files only.
elsewhere=$work/started_elsewhere-elsewhere
mkdir -p "$elsewhere"
printf '%s\r\n' "[FILE INFO]" "Address=77" >"$elsewhere/Config.dat"
cp "$elsewhere/Config.dat" "$elsewhere/Config.dat.before"
cp "$work/HX24A" "$elsewhere/HX24A.bin"
if begin --elsewhere started_elsewhere "${job[@]}"; then
    cp "$work/VXA-12_r3.bin" .
    echo notes >notes.txt
    select_file --read VXA-12_r3.bin
    listed=$(sed -n 's/^entry|//p' <<<"$controls" | tr '\n' ' ')
    [ "$listed" = "VXA-12_r3.bin " ] || fail "the file dialog lists '$listed'"
    grep -q '^ComboBox|\*\.bin|' <<<"$controls" || fail "no filter *.bin: $(grep Co <<<"$controls")"
    finish_after_dialog
    expect_saved "File Name=VXA-12_r3.bin" "File Length=512" "Type=7210" "Address=12" "Port #2=15"
    cmp -s "$elsewhere/Config.dat" "$elsewhere/Config.dat.before" ||
        fail "the working folder's Config.dat changed"
fi

# ---- Names beyond ASCII: one in the ANSI code page (Windows-1252 bytes) and one with letters
# outside it in UTF-16LE are saved back by Ok as they were, the ANSI line byte for byte; one
# typed into File Name is saved as typed.
if begin ansi_file_name "Type=6050" $'File Name=M\xe9lange_2.bin'; then
    finish alt+o
    expect_saved "File Name=Mélange_2.bin" "Type=6050"
    LC_ALL=C grep -qaxF $'File Name=M\xe9lange_2.bin\r' Config.dat || fail "the ANSI line changed"
fi
if begin --utf-16 utf16_file_name "Type=6050" "File Name=Модуль_2.bin"; then
    finish alt+o
    expect_saved "File Name=Модуль_2.bin" "Type=6050"
fi
if begin typed_file_name; then
    click 1920 1320
    type_beyond_ascii "Ĳssel_Жук中.bin"
    finish alt+o
    expect_saved "File Name=Ĳssel_Жук中.bin"
fi

# ---- A Config.dat that cannot be read at start (held open without sharing by another program):
# the warning comes over the window once that is on screen, and Ok asks before it replaces the
# job, No by default: Enter keeps Config.dat and the window.
if begin --held unreadable_at_start "${job[@]}"; then
    expect_client 313x694 # the window on screen first is the main one, not the warning
    stop_holder
    answer_box "could not be read"
    click 1920 720
    keys ctrl+a
    type_text "99"
    expect_warning_then_cancel "Replace the saved job"
    expect_unchanged
fi

# ---- A screen smaller than the window (a Wine desktop of 640 x 480): the window is granted less
# height than it asks for, and Ok and Cancel stand 1185 twips above the outer height granted
# (its client area and the design's frame of 405 twips).
if selected small_screen; then
    wine_desktop 640x480
    wine_set_dpi 96
fi
if begin small_screen "${job[@]}"; then
    read_window "$title"
    height=$(sed -n 's/^window|[0-9]*|//p' <<<"$controls")
    [ "${height:-694}" -lt 694 ] || fail "the window was granted its whole height: $height"
    top=$(((height * twips_per_pixel + 405 - 1185) / twips_per_pixel))
    for button in "&Ok" "&Cancel"; do
        grep -q "^Button|$button|[0-9]*|$top|" <<<"$controls" ||
            fail "$button not at $top: $(grep "^Button|$button" <<<"$controls")"
    done
    finish alt+o
    expect_saved "${job[@]}"
fi
if selected small_screen; then
    wine_desktop ""
    wine_set_dpi 96
fi

# ---- A scanner that holds each new file of the folder (file_holder): held 200 ms and again
# 1000 ms, Ok waits it out and saves; held until the holder is stopped, far past the program's
# wait, Ok warns, naming Config.dat, and leaves it as it was. No temporary file is left. Whether
# the holder gets a file of the save before the program is done with it is a race; for the
# warning Config.dat is made anew (renamed in) and held before Ok. Each row: the case, the two
# holds, what Ok does.
for row in "held_briefly 200 1000 ended" "held_past_the_wait 600000 0 warned"; do
    read -r name first second outcome <<<"$row"
    if begin "$name" "${job[@]}"; then
        click 1920 720
        keys ctrl+a
        type_text "99"
        start_holder "$first" "$second" || { finish alt+c; continue; }
        if [ "$outcome" = warned ]; then
            cp Config.dat "$dir.new" # made outside, so that only Config.dat is new here
            mv "$dir.new" Config.dat
            holder_held Config.dat
        fi
        keys alt+o
        seen=warned controls=""
        for _ in $(seq 1 300); do
            kill -0 "$WINE_PID" 2>/dev/null || { seen=ended; break; }
            ids=$(visible_windows "^$title\$") && [ -n "$ids" ] && break
            sleep 0.2
        done
        if [ "$seen" = ended ]; then
            finish ended
        else
            answer_box "$case_name\\Config.dat"
            finish alt+c
        fi
        stop_holder
        [ "$seen" = "$outcome" ] || fail "Ok $seen: $(grep '^Static' <<<"${controls:-}")"
        grep -q '^held ' holder.out || fail "the file holder held no file"
        if [ "$outcome" = ended ]; then
            expect_saved "Address=99" "Type=6050" "Port #2=15"
        else
            expect_unchanged
        fi
        ! compgen -G '.Config.dat.tmp-*' >/dev/null || fail "left: $(echo .Config.dat.tmp-*)"
    fi
done

cd "$work"
if [ ${#failed[@]} -gt 0 ]; then
    echo "failed cases: ${failed[*]}" >&2
    exit 1
fi
echo "all end-to-end cases passed"
