#!/bin/sh
# The whole road of one share, over a demo shared folder in a temporary HOME (never the real one):
# the sheet opens on a sample chat list, sharing a sample photo, a link and a text; tovin-host
# watch prints the share as its signal arrives, and the host URL reaches tovin-host open.
# With a display you pick the chat yourself. Without one the same sheet runs under Xvfb, driven
# as a person would drive it (search, arrow, caption, Return), and a screenshot is saved.
# Usage: data/demo-share.sh [PROGRAM_FOLDER [SCREENSHOT]]
set -eu
data=$(cd "$(dirname "$0")" && pwd)
programs=${1:-build/run/bin}
screenshot=${2:-demo-sheet.png}
share=$programs/tovin-share
host=$programs/tovin-host
for program in "$share" "$host"; do
    if [ ! -x "$program" ]; then
        echo "demo-share.sh: no $program; build first or give the programs' folder" >&2
        exit 2
    fi
done

. "$data/../scripts/desktop-session.sh"

# The display stays reachable when HOME moves: X finds its key through XAUTHORITY.
[ -z "${DISPLAY:-}" ] || export XAUTHORITY="${XAUTHORITY:-$HOME/.Xauthority}"
private_home
rm -f "$screenshot"
echo "Demo HOME: $HOME (removed at the end)"
"$host" chats write "$data/sample-chats.json"

# The host URL's handler, registered for this demo only. The sheet gives the handler none of its
# streams, so what it prints is kept and shown at the end.
printf '#!/bin/sh\n"%s" "$@" | sed "s|^|[tovin-host $*] |" >>"%s"\n' \
    "$(cd "$programs" && pwd)/tovin-host" "$scratch/handler.out" >"$scratch/handler"
chmod +x "$scratch/handler"
register_host_handler "$scratch/handler" "$data/desktop/com.brindlex.tovin.host.desktop"

# The session bus the sheet posts on: this session's, or a private one.
if ! dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.GetId >/dev/null 2>&1; then
    start_session_bus
fi
echo
echo "\$ tovin-host watch &    # prints each share as its signal arrives"
"$host" watch &
stop_at_exit $!
sleep 0.5

sheet() {
    echo
    echo "\$ tovin-share --text \"Crag is dry, see you at nine?\" sample-photo.png \\"
    echo "      https://example.org/crag-report"
    status=0
    "$share" --text "Crag is dry, see you at nine?" "$data/sample-photo.png" \
        "https://example.org/crag-report" || status=$?
}

status=2
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Pick a chat, add a caption if you like, and press Send (Escape cancels)."
    sheet
fi
if [ "$status" -eq 2 ]; then
    echo
    echo "No display here: the same sheet runs under Xvfb, driven by xdotool."
    unset WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DESKTOP_SESSION BROWSER
    [ -n "${XDG_RUNTIME_DIR:-}" ] || private_runtime_dir
    start_x_server
    (
        await_sheet
        xdotool type --delay 120 clim
        xdotool key --delay 300 Down Tab Tab
        xdotool type --delay 60 "Bringing the rope"
        sleep 0.5
        import -window "$window" "$screenshot"
        xdotool key Return
    ) &
    stop_at_exit $!
    sheet
fi

case $status in
0) echo "Sent: the share is queued." ;;
1) echo "Cancelled: nothing was queued." ;;
*) exit "$status" ;;
esac
[ ! -s "$screenshot" ] || echo "Screenshot of the sheet: $screenshot"
if [ "$status" -eq 0 ]; then
    await test -s "$scratch/handler.out"
    cat "$scratch/handler.out"
fi
echo
echo "\$ tovin-host outbox list --json"
"$host" outbox list --json
