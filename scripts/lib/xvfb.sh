# Sourced by the scripts that need a real X display. start_xvfb DIR starts a server of its own,
# which picks a free display number itself (so parallel tests cannot clash), waits for it and
# exports DISPLAY; its pid is in XVFB_PID for the caller's cleanup. XVFB_SCREEN may give another
# screen size than 1024x768x24.
start_xvfb() {
    local dir=$1
    Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1024x768x24}" -nolisten tcp 3>"$dir/display.txt" 2>"$dir/xvfb.log" &
    XVFB_PID=$!
    for _ in $(seq 1 600); do
        [ -s "$dir/display.txt" ] && break
        sleep 0.1
    done
    [ -s "$dir/display.txt" ] || { echo "Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; return 1; }
    export DISPLAY=":$(head -n 1 "$dir/display.txt")"
}

# stop_xvfb PID: ends a server that start_xvfb started and waits until it has gone, so that the
# next test's server never starts while this one still clears its display's socket and lock file.
stop_xvfb() {
    [ -n "${1:-}" ] || return 0
    kill "$1" 2>/dev/null || return 0
    wait_for_exit "$1" "after its stop" || true
}

# wait_for_exit PID WHAT: waits for a driven program to end; says so and fails if it has not
# ended after a minute (a bound against a hang, generous for a busy machine).
wait_for_exit() {
    local pid=$1 what=$2
    for _ in $(seq 1 600); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    echo "the program did not end $what" >&2
    return 1
}
