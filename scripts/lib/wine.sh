# Sourced by the scripts that run Windows programs under Wine (tests, screenshots, benchmarks).
# Everything Wine needs is set here, whatever the caller's environment holds.
#
#   wine_env PREFIX            exports the Wine settings for a prefix of the caller's own
#   wine_prefix_init           creates that prefix once (wineboot -i) with Windows-like fonts
#   wine_set_dpi DPI           the prefix's screen resolution in dots per inch (96, 144, ...)
#   wine_start_window LOG TITLE EXE [ARGS...]
#                              starts EXE in the background and waits for its window; sets
#                              WINE_PID and WINE_WID
#   wine_wait_exit PID WHAT    waits for a started program to end; its exit status in WINE_STATUS
#   wine_stop                  ends every process of the prefix
#   wine_scratch               makes a scratch folder $work; at exit the program started last,
#                              the prefix's processes and the private X server are ended and
#                              the folder removed
source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"

wine_env() {
    WINEPREFIX=$(realpath -m "$1")
    export WINEPREFIX
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko download prompt
    export WINEARCH=win64
    # Wine takes the code page and the user's locale from these; an unset or odd locale gives
    # another code page and other behaviour than the tests expect.
    export LANG=C.UTF-8 LC_ALL=C.UTF-8
    unset LANGUAGE
    unset WAYLAND_DISPLAY
}

# The first start of a prefix takes from 10 s on an idle machine to a minute under load. Wine 8
# reads only .fon files from the prefix's Fonts folder and fontconfig's fonts otherwise, which
# gives DejaVu metrics and frames drawn as letters; its own Tahoma and Marlett give Windows-like
# ones.
wine_prefix_init() {
    [ -f "$WINEPREFIX/.qmu-ready" ] && return 0
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    local display=${DISPLAY-}
    unset DISPLAY # no window of wineboot's own
    timeout 600 wineboot -i >"$WINEPREFIX/wineboot.log" 2>&1 ||
        { echo "wineboot failed" >&2; cat "$WINEPREFIX/wineboot.log" >&2; return 1; }
    timeout 120 wineserver -w || true
    [ -n "$display" ] && export DISPLAY=$display
    local fonts=/usr/share/wine/fonts
    [ -f $fonts/tahoma.ttf ] || { echo "missing $fonts/tahoma.ttf (package fonts-wine)" >&2; return 1; }
    cp $fonts/tahoma*.ttf $fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    : >"$WINEPREFIX/.qmu-ready"
}

wine_set_dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    # The registry reaches the disk, and the next program reads it, once the server has gone.
    timeout 120 wineserver -w || true
}

wine_scratch() {
    work=$(mktemp -d)
    trap wine_cleanup EXIT
}

wine_cleanup() {
    # Each step runs whatever the one before it found: under set -e a failed test would stop
    # the cleanup and leave Xvfb and the Wine server running.
    if [ -n "${WINE_PID:-}" ]; then kill "$WINE_PID" 2>/dev/null || true; fi
    wine_stop || true
    stop_xvfb "${XVFB_PID:-}" || true
    rm -rf "$work"
}

wine_stop() {
    wineserver -k 2>/dev/null || true
    timeout 60 wineserver -w 2>/dev/null || true
}

# In about one cold start in fifty Wine blocks before the first window. Such a start is killed,
# the prefix's processes are ended and the program is started again; a program that never
# shows its window fails after the third try.
wine_start_window() {
    local log=$1 title=$2
    shift 2
    local attempt
    WINE_PID="" WINE_WID=""
    for attempt in 1 2 3; do
        wine "$@" >"$log" 2>&1 &
        WINE_PID=$!
        WINE_WID=$(timeout 60 xdotool search --sync --onlyvisible --name "^$title\$" 2>/dev/null |
            head -n 1) || true
        [ -n "$WINE_WID" ] && return 0
        if ! kill -0 "$WINE_PID" 2>/dev/null; then
            echo "the program ended without a window (attempt $attempt)" >&2
            cat "$log" >&2
        else
            echo "no window after 60 s (attempt $attempt): starting again" >&2
            kill "$WINE_PID" 2>/dev/null || true
        fi
        wait "$WINE_PID" 2>/dev/null || true
        wine_stop
    done
    WINE_PID=""
    return 1
}

wine_wait_exit() {
    local pid=$1 what=$2
    for _ in $(seq 1 600); do
        if ! kill -0 "$pid" 2>/dev/null; then
            WINE_STATUS=0
            wait "$pid" || WINE_STATUS=$?
            return 0
        fi
        sleep 0.1
    done
    echo "the program did not end $what" >&2
    return 1
}
