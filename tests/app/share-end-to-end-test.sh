#!/bin/sh
# tovin-share end to end: the real program and window under a private X server (or a headless
# Wayland compositor), driven by synthetic keys as a person would, with a private session bus,
# a temporary HOME and the host URL's handler registered in private XDG folders.
# Usage: share-end-to-end-test.sh MODE TOVIN_SHARE TOVIN_HOST CLOSE_WINDOW SOURCE_DIR
#   MODE: send, cancel, escape, close, command-line or wayland
set -eu
mode=$1 share=$2 host=$3 close_window=$4 source=$5

. "$source/scripts/desktop-session.sh"
fail() {
    echo "share-end-to-end-test ($mode): $*" >&2
    for log in "$scratch"/*.err; do
        [ -s "$log" ] && echo "--- $log" >&2 && cat "$log" >&2
    done
    exit 1
}
has() {
    grep -q -- "$2" "$1"
}

# A desktop without a desktop environment: nothing of the person running the tests is read.
unset XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION BROWSER \
    QT_QPA_PLATFORM WAYLAND_DISPLAY DISPLAY
private_home
XDG_DATA_DIRS=/usr/local/share:/usr/share # the system's own, for its MIME database
XDG_RUNTIME_DIR=$scratch/runtime
export XDG_DATA_DIRS XDG_RUNTIME_DIR
mkdir -m 700 "$XDG_RUNTIME_DIR"
outbox=$HOME/Library/Containers/com.brindlex.tovin.share/Data/Documents/outbox
"$host" chats write "$source/data/sample-chats.json" >/dev/null

start_session() {
    start_x_server "$scratch/xvfb.err"
    start_session_bus "$scratch/bus.err"
}

# Starts tovin-share with these arguments, standard input from $input, and waits until its
# window has the keyboard focus.
open_sheet() {
    (
        status=0
        "$share" "$@" <"${input:-/dev/null}" >"$scratch/share.out" 2>"$scratch/share.err" ||
            status=$?
        echo "$status" >"$scratch/status"
    ) &
    await_sheet
}

# Waits for tovin-share to end, and checks its exit status.
expect_status() {
    await test -s "$scratch/status"
    [ "$(cat "$scratch/status")" = "$1" ] || fail "exit status $(cat "$scratch/status"), not $1"
}

case $mode in
send)
    start_session
    # The host URL's handler, registered as a desktop registers it: our entry, running a
    # recorder that calls tovin-host in its place.
    cat >"$scratch/handler" <<HANDLER
#!/bin/sh
printf '%s\n' "\$*" >>"$scratch/handler.calls"
"$host" "\$@" >>"$scratch/handler.out"
HANDLER
    chmod +x "$scratch/handler"
    register_host_handler "$scratch/handler" "$source/data/desktop/com.brindlex.tovin.host.desktop"

    "$host" watch >"$scratch/watch.out" 2>"$scratch/watch.err" &
    stop_at_exit $!
    dbus-monitor --session "type='signal',interface='com.brindlex.tovin.share'" \
        >"$scratch/signals" 2>"$scratch/monitor.err" &
    stop_at_exit $!
    await has "$scratch/watch.err" "waiting for new shares"
    await has "$scratch/signals" "NameAcquired"

    mkdir "$scratch/files"
    printf 'route notes\n' >"$scratch/files/two words.txt"
    printf '%%PDF-1.4 topo\n' >"$scratch/files/Crag's \"east\" face.pdf"
    input=$source/data/sample-photo.png
    open_sheet --text "Crag is dry" "$scratch/files/two words.txt" \
        "file://$scratch/files/Crag's%20%22east%22%20face.pdf" \
        "https://example.org/crag-report?day=sat" -
    # The focus is in the search field: typing filters, Down picks the first chat found.
    xdotool type --delay 20 clim
    xdotool key Down Tab Tab
    xdotool type --delay 20 "See you there"
    xdotool key Return
    expect_status 0

    id=$(python3 - "$outbox" "$host" "$source/data/sample-photo.png" \
        "$scratch/files/two words.txt" "$scratch/files/Crag's \"east\" face.pdf" <<'READER'
import json, os, subprocess, sys
outbox, host, *sources = sys.argv[1:]
entries = [name for name in os.listdir(outbox) if not name.startswith(".")]
assert len(entries) == 1, entries
folder = os.path.join(outbox, entries[0])
with open(os.path.join(folder, "manifest.json"), encoding="utf-8") as file:
    manifest = json.load(file)
assert manifest["chatId"] == 1003, manifest
assert manifest["text"] == "See you there\nCrag is dry", manifest
assert manifest["url"] == "https://example.org/crag-report?day=sat", manifest
assert [a["kind"] for a in manifest["attachments"]] == ["image", "file", "file"], manifest
copies = [os.path.join(folder, "attachments", a["filename"]) for a in manifest["attachments"]]
for copy, source in zip(copies, sources):
    with open(copy, "rb") as left, open(source, "rb") as right:
        assert left.read() == right.read(), (copy, source)
listed = json.loads(subprocess.run([host, "outbox", "list", "--json"], check=True,
                                   capture_output=True).stdout)
assert len(listed) == 1 and listed[0]["id"] == entries[0], listed
assert all(listed[0][key] == value for key, value in manifest.items()), listed
assert listed[0]["attachmentURLs"] == copies, listed
print(entries[0])
READER
    ) || fail "the outbox entry is not the share"

    await has "$scratch/watch.out" "^$id	"
    await test -s "$scratch/handler.out"
    sleep 1 # time for a second signal or a second call, were there one
    [ "$(grep -c . "$scratch/watch.out")" -eq 1 ] ||
        fail "watch printed: $(cat "$scratch/watch.out")"
    [ "$(grep -c 'member=enqueue' "$scratch/signals")" -eq 1 ] || fail "not one enqueue signal"
    [ "$(cat "$scratch/handler.calls")" = "open tovin://share" ] ||
        fail "the handler ran as: $(cat "$scratch/handler.calls")"
    has "$scratch/handler.out" "^$id	" || fail "the handler printed: $(cat "$scratch/handler.out")"
    ;;
cancel | escape | close)
    start_session
    open_sheet --text "not sent"
    xdotool type --delay 20 clim
    xdotool key Down
    case $mode in
    cancel) xdotool key Tab Tab Tab space ;; # the table, the caption, then Cancel
    escape) xdotool key Escape ;;
    close) "$close_window" "$window" ;;
    esac
    expect_status 1
    [ ! -d "$outbox" ] || [ -z "$(ls -A "$outbox")" ] || fail "a cancelled share was queued"
    ;;
command-line)
    status=0
    "$share" --help >"$scratch/help" || status=$?
    [ "$status" -eq 0 ] && has "$scratch/help" '"Nothing to share."' || fail "--help: $status"
    "$share" --version | grep -q '^tovin-share [0-9]' || fail "--version"
    for misuse in "no such file.png" "--bogus" "--text"; do
        status=0
        "$share" "$misuse" 2>"$scratch/misuse" || status=$?
        [ "$status" -eq 2 ] && has "$scratch/misuse" "usage: tovin-share" ||
            fail "$misuse: status $status, $(cat "$scratch/misuse")"
    done
    has "$scratch/misuse" "Missing value after '--text'" || fail "$(cat "$scratch/misuse")"
    for display in "" :4711; do
        status=0
        DISPLAY=$display "$share" 2>"$scratch/no-display" || status=$?
        [ "$status" -eq 2 ] && [ "$(grep -c . "$scratch/no-display")" -eq 1 ] &&
            has "$scratch/no-display" "no display" ||
            fail "display \"$display\": status $status, $(cat "$scratch/no-display")"
    done
    ;;
wayland)
    weston --backend=headless-backend.so --socket=wayland-test --idle-time=0 \
        >"$scratch/weston.err" 2>&1 &
    stop_at_exit $!
    await test -S "$XDG_RUNTIME_DIR/wayland-test"
    WAYLAND_DISPLAY=wayland-test WAYLAND_DEBUG=client "$share" --text "on Wayland" \
        </dev/null >/dev/null 2>"$scratch/protocol" &
    stop_at_exit $!
    await has "$scratch/protocol" 'xdg_toplevel@[0-9]*\.set_title("Share with tovin")'
    ;;
*)
    fail "unknown mode"
    ;;
esac
