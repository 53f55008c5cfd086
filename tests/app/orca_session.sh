# Sourced by the tests that listen to the Orca screen reader. start_orca_session DIR starts, all
# private to DIR: an X server with the openbox window manager, a session bus, the accessibility
# bus and Orca, which writes what it speaks into DIR/orca.log, a line at a time. It returns once
# Orca is on. stop_orca_session ends what it started, in the reverse order.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/xvfb.sh"

ORCA_PIDS=()
ORCA_XVFB=""

start_orca_session() {
    local dir=$1
    for tool in Xvfb xdotool dbus-launch openbox orca /usr/libexec/at-spi-bus-launcher; do
        command -v "$tool" >/dev/null ||
            { echo "missing $tool (scripts/setup.sh installs it)" >&2; return 1; }
    done
    mkdir -p "$dir/home" "$dir/runtime" "$dir/config" "$dir/orca"
    chmod 700 "$dir/runtime"
    export HOME=$dir/home XDG_RUNTIME_DIR=$dir/runtime XDG_CONFIG_HOME=$dir/config
    export LC_ALL=C.UTF-8 LANGUAGE=
    # The window manager gives the program's window, and so the keys, the focus. Once in a while
    # on a busy machine it cannot open the display it was given; the display is then started
    # again, with it.
    local attempt wm
    for attempt in 1 2 3; do
        start_xvfb "$dir" || return 1
        ORCA_XVFB=$XVFB_PID
        openbox >"$dir/openbox.log" 2>&1 &
        wm=$!
        if wait_for_window_manager "$wm"; then
            ORCA_PIDS+=("$wm")
            break
        fi
        kill "$wm" 2>/dev/null
        wait "$wm" 2>/dev/null
        stop_xvfb "$ORCA_XVFB"
        ORCA_XVFB=""
        echo "openbox did not start (attempt $attempt): $(cat "$dir/openbox.log")" >&2
        [ "$attempt" -lt 3 ] || return 1
    done
    eval "$(dbus-launch --sh-syntax)"
    ORCA_PIDS+=("$DBUS_SESSION_BUS_PID")
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$dir/at-spi.log" 2>&1 &
    ORCA_PIDS+=($!)
    # Orca keeps its debug file buffered until it ends; opened line-buffered, each utterance can
    # be read as soon as it is spoken.
    /usr/bin/python3 - "$dir/orca.log" "$dir/orca" >"$dir/orca.out" 2>&1 <<'EOF' &
import builtins, runpy, sys
log, prefs = sys.argv[1], sys.argv[2]
plain_open = builtins.open
def line_buffered(file, mode="r", *args, **kwargs):
    if file == log:
        return plain_open(file, mode, buffering=1)
    return plain_open(file, mode, *args, **kwargs)
builtins.open = line_buffered
sys.argv = ["orca", "--debug-file=" + log, "-u", prefs]
runpy.run_path("/usr/bin/orca", run_name="__main__")
EOF
    ORCA_PIDS+=($!)
    for _ in $(seq 1 600); do
        grep -q "Screen reader on" "$dir/orca.log" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "Orca did not start" >&2
    tail -n 20 "$dir/orca.out" >&2
    return 1
}

# wait_for_window_manager PID: true once openbox's own window is on the display, false if it
# ends first or has not come after a minute.
wait_for_window_manager() {
    for _ in $(seq 1 600); do
        xdotool search --class openbox >/dev/null 2>&1 && return 0
        kill -0 "$1" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

stop_orca_session() {
    local i pid
    for ((i = ${#ORCA_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${ORCA_PIDS[i]}
        kill "$pid" 2>/dev/null || continue
        # Orca may pass over TERM.
        for _ in $(seq 1 30); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    ORCA_PIDS=()
    stop_xvfb "$ORCA_XVFB"
    ORCA_XVFB=""
}
