#!/bin/sh
# tovin-share end to end: the real program and window under a private X server (or a headless
# Wayland compositor), driven by synthetic keys as a person would, with a private session bus,
# a temporary HOME and the host URL's handler registered in private XDG folders.
# Usage: share-end-to-end-test.sh MODE TOVIN_SHARE TOVIN_HOST CLOSE_WINDOW SOURCE_DIR
#   MODE: x11 (the command lines' answers; Cancel, Escape, closing the window and signals, over
#   endless standard input too; a share sent, as tovin-host watch and the host URL's handler see
#   it; a slow standard input; a bus that never answers), wayland (weston), or sway (the
#   clipboard, names that are not UTF-8 and items left out, on a wlroots compositor)
set -eu
mode=$1 share=$2 host=$3 close_window=$4 source=$5

# sway refuses to run as root: then the run goes on as an unprivileged user of its own.
if [ "$mode" = sway ] && [ "$(id -u)" -eq 0 ]; then
    id -u tovin-e2e >/dev/null 2>&1 ||
        useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
            tovin-e2e
    exec runuser -u tovin-e2e -- sh "$0" "$@"
fi

. "$source/scripts/desktop-session.sh"
fail_context=$mode
has() {
    grep -q -- "$2" "$1"
}

# A desktop without a desktop environment: nothing of the person running the tests is read.
unset XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION BROWSER \
    QT_QPA_PLATFORM WAYLAND_DISPLAY DISPLAY
private_home
private_runtime_dir
XDG_DATA_DIRS=/usr/local/share:/usr/share # the system's own, for its MIME database
export XDG_DATA_DIRS
outbox=$HOME/Library/Containers/com.brindlex.tovin.share/Data/Documents/outbox
"$host" chats write "$source/data/sample-chats.json" >/dev/null
TMPDIR=$scratch/tmp
export TMPDIR
mkdir "$TMPDIR"
# Checks that the sheet, however it ended, left nothing in the temporary folder.
tidy() {
    [ -z "$(ls -A "$TMPDIR")" ] || fail "left in the temporary folder after $1: $(ls -A "$TMPDIR")"
}
# Whether the sheet has written to the temporary folder.
written() {
    [ -n "$(ls -A "$TMPDIR")" ]
}
# Makes $input a pipe whose writer, ended at exit, gives it WHAT (a shell command) and then
# waits for $1 seconds before it lets the pipe end; sets $writer to the writer.
slow_input() {
    input=$scratch/pipe-$1
    rm -f "$input"
    mkfifo "$input"
    sh -c "$2; exec sleep $1" >"$input" &
    writer=$!
    stop_at_exit $writer
}

# Runs a command and checks that it ends with STATUS and that its standard error says TEXT.
answers() {
    expected=$1 text=$2
    shift 2
    status=0
    "$@" 2>"$scratch/answer" || status=$?
    [ "$status" -eq "$expected" ] && has "$scratch/answer" "$text" ||
        fail "$*: status $status, $(cat "$scratch/answer")"
}

# Runs a command in the background, ended at exit if still running: its standard input from
# $input, its output in $scratch/NAME.out and NAME.err, its exit status in NAME.status once it
# ends.
start() {
    name=$1
    shift
    rm -f "$scratch/$name.pid"
    (
        "$@" <"${input:-/dev/null}" >"$scratch/$name.out" 2>"$scratch/$name.err" &
        echo $! >"$scratch/$name.pid"
        status=0
        wait $! || status=$?
        echo "$status" >"$scratch/$name.status"
    ) &
    await test -s "$scratch/$name.pid"
    stop_at_exit "$(cat "$scratch/$name.pid")"
}

# Waits for the command started as NAME to end with STATUS.
expect_status() {
    await test -s "$scratch/$1.status"
    [ "$(cat "$scratch/$1.status")" = "$2" ] || fail "$1 ended with $(cat "$scratch/$1.status")"
    rm "$scratch/$1.status"
}

# Starts tovin-share with these arguments and waits until its window has the keyboard focus.
open_sheet() {
    start share "$share" "$@"
    await_sheet
}

case $mode in
x11)
    # The command lines' answers, before there is a display or a bus, in the person's language,
    # from the translations beside the program; English before German among the languages asked
    # for keeps English. (What each command line asks is the unit tests'.)
    LANG=de_DE.UTF-8 "$share" --help >"$scratch/help" && has "$scratch/help" '„Nichts zu teilen.“' ||
        fail "--help in German"
    answers 2 "Aufruf: tovin-share" env LANG=de_DE.UTF-8 "$share" --bogus
    answers 2 "usage: tovin-share" env LANGUAGE=en:de LANG=de_DE.UTF-8 "$share" --bogus
    answers 2 "لا توجد شاشة لعرض النافذة عليها" env LANG=ar_EG.UTF-8 DISPLAY= "$share"
    : >"$XDG_RUNTIME_DIR/wayland-stale" # left behind by a compositor gone
    for display in DISPLAY= DISPLAY=:4711 WAYLAND_DISPLAY=wayland-stale QT_QPA_PLATFORM=bogus; do
        answers 2 "no display" env "$display" "$share"
        [ "$(grep -c . "$scratch/answer")" -eq 1 ] || fail "$(cat "$scratch/answer")"
    done
    for line in "" share "chats list extra" "outbox clean 1h" "outbox remove -x" \
        "open tovin://chat"; do
        answers 2 "usage: tovin-host" "$host" $line
    done
    for age in "" h -1h 1.5h 36525d 99999999999d; do
        answers 2 "usage: tovin-host" "$host" outbox clean --older-than $age
    done
    "$host" outbox list --json --help | grep -q '^usage: tovin-host outbox list' || fail "help"
    "$host" outbox clean --version | grep -q '^tovin-host [0-9]' || fail "tovin-host --version"
    for line in "chats write -" "chats list" "outbox list" "outbox remove X" "outbox clean" \
        watch "open tovin://share"; do
        answers 1 "HOME is not set" env -u HOME "$host" $line
    done
    answers 2 "not a regular file; use - for standard input" \
        sh -c 'echo [] | "$0" chats write /dev/stdin' "$host"
    answers 1 "could not reach the session bus" \
        env DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/no-bus" "$host" watch

    start_x_server "$scratch/xvfb.err"
    start_session_bus "$scratch/bus.err"
    # The host URL's handler, registered as a desktop registers it: our entry, running a
    # recorder that calls tovin-host in its place.
    cat >"$scratch/handler" <<HANDLER
#!/bin/sh
printf '%s\n' "\$*" >>"$scratch/handler.calls"
"$host" "\$@" >>"$scratch/handler.out"
HANDLER
    chmod +x "$scratch/handler"
    register_host_handler "$scratch/handler" "$source/data/desktop/com.brindlex.tovin.host.desktop"
    # Queued before watch starts: watch never shows it.
    mkdir -p "$outbox/EARLIER"
    echo '{"attachments": [], "chatId": 1001, "createdAt": 0}' >"$outbox/EARLIER/manifest.json"
    start watch "$host" watch
    dbus-monitor --session "type='signal',interface='com.brindlex.tovin.share'" \
        >"$scratch/signals" 2>"$scratch/monitor.err" &
    stop_at_exit $!
    await has "$scratch/watch.err" "waiting for new shares"
    await has "$scratch/signals" "NameAcquired"

    for way in cancel escape close; do
        open_sheet --text "not sent"
        xdotool type --delay 20 clim
        xdotool key Down
        case $way in
        cancel) xdotool key Tab Tab Tab space ;; # the table, the caption, then Cancel
        escape) xdotool key Escape ;;
        close) "$close_window" "$window" ;;
        esac
        expect_status share 1
    done
    # The window in Arabic is named in Arabic (which xdotool's search does not match).
    start share env LANG=ar_EG.UTF-8 "$share" --text x
    await xdotool search --onlyvisible --name 'tovin$'
    window=$(xdotool search --onlyvisible --name 'tovin$')
    [ "$(xdotool getwindowname "$window")" = "مشاركة عبر tovin" ] ||
        fail "the window in Arabic is named $(xdotool getwindowname "$window")"
    await focused
    xdotool key Escape
    expect_status share 1
    # Standard input that does not end: the sheet is there at once, reading on, and Escape or a
    # signal ends it. (Bytes past the first 16 KiB that cannot be text go to a file at once.)
    for way in escape TERM:143 HUP:129; do
        slow_input 600 "head -c 20000 /dev/zero"
        open_sheet -
        await written
        case $way in
        escape) xdotool key Escape && expect_status share 1 ;;
        *) kill -s "${way%:*}" "$(cat "$scratch/share.pid")" && expect_status share "${way#*:}" ;;
        esac
        kill "$writer"
        tidy "$way"
    done
    [ "$(ls -A "$outbox")" = EARLIER ] || fail "a cancelled share was queued"

    mkdir "$scratch/files"
    printf 'route notes\n' >"$scratch/files/two words.txt"
    printf '%%PDF-1.4 topo\n' >"$scratch/files/Crag's \"east\" face.pdf"
    input=$source/data/sample-photo.png
    open_sheet --text "Crag is dry" "$scratch/files/two words.txt" \
        "file://localhost$scratch/files/Crag's%20%22east%22%20face.pdf" \
        -- "https://example.org/crag-report?day=sat" -
    # Centred on the 1280×800 screen, give or take a few pixels of rounding.
    eval "$(xdotool getwindowgeometry --shell "$window")"
    dx=$((2 * X + WIDTH - 1280)) dy=$((2 * Y + HEIGHT - 800))
    [ $((dx * dx + dy * dy)) -le 64 ] || fail "the sheet is at $X,$Y, ${WIDTH}x$HEIGHT"
    # The focus is in the search field: typing filters, Down picks the first chat found.
    xdotool type --delay 20 clim
    xdotool key Down Tab Tab
    xdotool type --delay 20 "See you there"
    xdotool key Return
    expect_status share 0
    tidy "a share"
    # Standard input read as an image is no text left out beside --text.
    ! has "$scratch/share.err" "left out" || fail "standard error: $(cat "$scratch/share.err")"

    # What the entry holds and copies is the unit tests'; here, that it is the share typed.
    id=$(python3 - "$outbox" "$host" <<'READER'
import json, os, subprocess, sys
outbox, host = sys.argv[1:]
entries = [name for name in os.listdir(outbox) if name[0] != "." and name != "EARLIER"]
assert len(entries) == 1, entries
folder = os.path.join(outbox, entries[0])
with open(os.path.join(folder, "manifest.json"), encoding="utf-8") as file:
    manifest = json.load(file)
assert manifest["chatId"] == 1003, manifest
assert manifest["text"] == "See you there\nCrag is dry", manifest
assert manifest["url"] == "https://example.org/crag-report?day=sat", manifest
assert [a["kind"] for a in manifest["attachments"]] == ["image", "file", "file"], manifest
copies = [os.path.join(folder, "attachments", a["filename"]) for a in manifest["attachments"]]
listed = json.loads(subprocess.run([host, "outbox", "list", "--json"], check=True,
                                   capture_output=True).stdout)
assert [share["id"] for share in listed] == ["EARLIER", entries[0]], listed
assert all(listed[1][key] == value for key, value in manifest.items()), listed
assert listed[1]["attachmentURLs"] == copies, listed
print(entries[0])
READER
    ) || fail "the outbox entry is not the share"
    [ "$(cat "$scratch/share.out")" = "$id" ] ||
        fail "tovin-share printed: $(cat "$scratch/share.out")"

    await has "$scratch/watch.out" "^$id	"
    await test -s "$scratch/handler.out"
    sleep 1 # time for a second signal or a second call, were there one
    [ "$(grep -c . "$scratch/watch.out")" -eq 1 ] ||
        fail "watch printed: $(cat "$scratch/watch.out")"
    [ "$(grep -c 'member=enqueue' "$scratch/signals")" -eq 1 ] || fail "not one enqueue signal"
    [ "$(cat "$scratch/handler.calls")" = "open tovin://share" ] ||
        fail "the handler ran as: $(cat "$scratch/handler.calls")"
    [ "$(cut -f1 "$scratch/handler.out" | tr '\n' ' ')" = "EARLIER $id " ] ||
        fail "the handler printed: $(cat "$scratch/handler.out")"

    # Standard input that comes slowly: the sheet is there before it ends, and a Send meanwhile
    # waits for it. Bytes that are neither an image nor text go as a file named after their type.
    printf '%%PDF-1.4\n%%\342\343\317\323\ntrailer\n' >"$scratch/slow.pdf"
    slow_input 4 "cat '$scratch/slow.pdf'"
    open_sheet -
    kill -0 "$writer" 2>/dev/null || fail "the sheet waited for standard input to end"
    xdotool key Down Return
    expect_status share 0
    tidy "a slow share"
    cmp "$outbox/$(cat "$scratch/share.out")/attachments/shared.pdf" "$scratch/slow.pdf" ||
        fail "the slow share is not the PDF"
    # Standard input closed: nothing to read, and nothing to wait for either.
    input=/dev/null
    start share sh -c 'exec "$@" <&-' sh "$share" -
    await_sheet
    xdotool key Down Return
    expect_status share 0

    # A bus that takes connections and never answers: the sheet shows all the same, and says once
    # on standard error that it goes without the bus.
    python3 -c 'import socket, sys, time
bus = socket.socket(socket.AF_UNIX)
bus.bind(sys.argv[1])
bus.listen()
time.sleep(600)' "$scratch/silent-bus" &
    stop_at_exit $!
    await test -S "$scratch/silent-bus"
    start share env DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/silent-bus" "$share" --text x
    await_sheet
    xdotool key Escape
    expect_status share 1
    [ "$(grep -c . "$scratch/share.err")" -eq 1 ] && has "$scratch/share.err" "bus does not answer" ||
        fail "without the bus: $(cat "$scratch/share.err")"

    kill "$bus_pid"
    expect_status watch 1
    has "$scratch/watch.err" "the session bus went away" || fail "watch outlived its bus"
    ;;
wayland)
    weston --backend=headless-backend.so --socket=wayland-test --idle-time=0 \
        >"$scratch/weston.err" 2>&1 &
    stop_at_exit $!
    await test -S "$XDG_RUNTIME_DIR/wayland-test"
    # Only the platforms named are tried.
    answers 2 "no display" env QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY=wayland-test "$share"
    WAYLAND_DISPLAY=wayland-test WAYLAND_DEBUG=client "$share" --text "on Wayland" \
        </dev/null >/dev/null 2>"$scratch/protocol" &
    stop_at_exit $!
    await has "$scratch/protocol" 'xdg_toplevel@[0-9]*\.set_title("Share with tovin")'
    ;;
sway)
    start_session_bus "$scratch/bus.err"
    printf 'output HEADLESS-1 resolution 1280x800\nxwayland disable\n' >"$scratch/sway.config"
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        sway -c "$scratch/sway.config" >"$scratch/sway.err" 2>&1 &
    stop_at_exit $!
    await sh -c 'test -S "$XDG_RUNTIME_DIR"/sway-ipc.*.sock'
    SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock)
    WAYLAND_DISPLAY=$(cd "$XDG_RUNTIME_DIR" && ls | grep -x 'wayland-[0-9]*')
    export SWAYSOCK WAYLAND_DISPLAY

    # An image on the clipboard, which Wayland gives only to the window with the focus; a name
    # that is not UTF-8, given as a path and as a file: URL; a file gone, one unreadable, a remote
    # file, two links and two texts, of which a share holds the last link and the first text.
    mkdir "$scratch/files"
    latin1=$(printf 'caf\351 100%%.txt')
    printf 'menu\n' >"$scratch/files/$latin1"
    printf 'mine\n' >"$scratch/files/locked.txt"
    chmod 000 "$scratch/files/locked.txt"
    echo "piped words" >"$scratch/piped"
    wl-copy --type image/png <"$source/data/sample-photo.png"
    input=$scratch/piped
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    # Under the address sanitizer, no leak report: on Wayland, Qt's client leaves its protocol
    # objects to the exit, and its threads' ends load a library whose allocations cannot be named.
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
    export ASAN_OPTIONS
    start share "$share" \
        --text "Crag is dry" --clipboard "$scratch/files/$latin1" "$scratch/files/gone.pdf" \
        "$scratch/files/locked.txt" \
        "file://$scratch/files/caf%E9%20100%25.txt" sftp://nas/photos/r.pdf \
        https://a.example/ https://b.example/ -
    await sh -c 'swaymsg -t get_tree | grep -q "\"app_id\": \"com.brindlex.tovin.share\""'
    # Whether the sheet's labels, alert and rows, read a line each through the accessibility
    # bus, have a line that says $1.
    shows() {
        python3 - >"$scratch/texts" <<'ATSPI' && has "$scratch/texts" "$1"
import pyatspi

def walk(node):
    yield node
    for child in node:
        if child is not None:
            yield from walk(child)

for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == "tovin-share":
        roles = ("label", "alert", "table cell")
        print("\n".join(node.name for node in walk(app) if node.getRoleName() in roles))
ATSPI
    }
    summary="Text: Crag is dry · URL: https://b.example/ · 1 image(s) · 2 file(s)"
    await shows "^$summary\$"
    shows "^Could not share “gone.pdf”: it no longer exists. Could not share “locked.txt”" ||
        fail "the error line: $(cat "$scratch/texts")"
    # Typed in one call: each wtype makes a keyboard of its own, and a second one's keys are lost.
    wtype clim -s 300 -k Down -k Return
    expect_status share 0
    tidy "a share of the clipboard's image"

    id=$(cat "$scratch/share.out")
    # A file unreadable to its user, which the unit tests, run as root, cannot show.
    for said in "Could not share “locked.txt”: permission was denied." \
        "left out the link https://a.example/: a share holds one link"; do
        has "$scratch/share.err" "^tovin-share: $said" ||
            fail "standard error: $(cat "$scratch/share.err")"
    done
    python3 - "$outbox/$id/manifest.json" <<'READER' ||
import json, sys
with open(sys.argv[1], encoding="utf-8") as file:
    manifest = json.load(file)
assert manifest["chatId"] == 1003, manifest  # Saturday Climbing, the one chat "clim" finds
assert manifest["text"] == "Crag is dry" and manifest["url"] == "https://b.example/", manifest
assert [a["kind"] for a in manifest["attachments"]] == ["image", "file", "file"], manifest
READER
        fail "the outbox entry is not the share"
    copy=$(ls "$outbox/$id"/attachments/*.png)
    [ "$(compare -metric AE "$copy" "$source/data/sample-photo.png" null: 2>&1)" = 0 ] ||
        fail "the clipboard's image is not the one copied"
    ;;
*)
    fail "unknown mode"
    ;;
esac
