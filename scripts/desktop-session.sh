# A private desktop for the scripts that drive the real sheet (the demo, the screenshots, the
# end-to-end test): a scratch folder, an X server and a session bus of their own, all gone at exit.
# Sourced, not run. Defines $scratch; $fail_context, if set, names the case in `fail`'s line.

scratch=$(mktemp -d)
pids=
# Newest first, so clients end before their servers, and each is ended before whatever runs next
# may start its own on the same display or socket.
cleanup() {
    for pid in $pids; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' HUP INT PIPE TERM

# Ends the process PID at exit.
stop_at_exit() {
    pids="$1 $pids"
}

# Says why on standard error, with what the programs run in the scratch folder logged there.
fail() {
    echo "$(basename "$0" .sh)${fail_context:+ ($fail_context)}: $*" >&2
    for log in "$scratch"/*.err; do
        [ -s "$log" ] && echo "--- $log" >&2 && cat "$log" >&2
    done
    exit 1
}

# Waits up to twenty seconds for a command to succeed.
await() {
    for _ in $(seq 200); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    fail "gave up waiting for: $*"
}

# Moves HOME and the user's XDG folders into the scratch folder: nothing of the person's own is
# read or changed.
private_home() {
    HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data
    export HOME XDG_CONFIG_HOME XDG_DATA_HOME
    mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME/applications"
}

# Gives the session a private XDG_RUNTIME_DIR, where display servers place their sockets.
private_runtime_dir() {
    XDG_RUNTIME_DIR=$scratch/runtime
    export XDG_RUNTIME_DIR
    mkdir -m 700 "$XDG_RUNTIME_DIR"
}

# Registers the host URL's desktop entry ENTRY in the private home, as a desktop registers it,
# with COMMAND run in place of tovin-host (as "COMMAND open URL").
register_host_handler() {
    sed "s|^Exec=tovin-host |Exec=$1 |" "$2" >"$XDG_DATA_HOME/applications/${2##*/}"
    printf '[Default Applications]\nx-scheme-handler/tovin=%s\n' "${2##*/}" \
        >"$XDG_CONFIG_HOME/mimeapps.list"
}

# Starts an X server on a free display, its errors to LOG (default: dropped), and exports DISPLAY.
start_x_server() {
    # No reset: a server resets when its last client leaves, refusing connections meanwhile, and
    # xdotool's short connections would leave it so while tovin-share starts.
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$scratch/display" \
        2>"${1:-/dev/null}" &
    stop_at_exit $!
    await test -s "$scratch/display"
    DISPLAY=:$(cat "$scratch/display")
    export DISPLAY
}

# Starts a session bus, its errors to LOG (default: dropped), exports its address, and sets
# $bus_pid to its process.
start_session_bus() {
    DBUS_SESSION_BUS_ADDRESS=unix:path=$scratch/bus
    export DBUS_SESSION_BUS_ADDRESS
    dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" 2>"${1:-/dev/null}" &
    bus_pid=$!
    stop_at_exit $bus_pid
    await test -S "$scratch/bus"
}

# Waits until the sheet's window is open and has the keyboard focus, and sets $window to it.
await_sheet() {
    await xdotool search --name '^Share with tovin$'
    window=$(xdotool search --name '^Share with tovin$')
    await focused
}
focused() {
    [ "$(xdotool getwindowfocus)" = "$window" ]
}
