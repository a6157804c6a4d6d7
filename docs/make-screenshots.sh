#!/bin/sh
# Takes the README's screenshots of the sheet under Xvfb, in a temporary HOME: the sheet as it
# opens, filtered by a search, and with an error line after a Send that could not be written.
# Usage: docs/make-screenshots.sh [PROGRAM_FOLDER]
set -eu
docs=$(cd "$(dirname "$0")" && pwd)
programs=${1:-build/run/bin}
. "$docs/../scripts/desktop-session.sh"

private_home
private_runtime_dir
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
"$programs/tovin-host" chats write "$docs/../data/sample-chats.json" >/dev/null
start_x_server

# Opens the sheet on the sample share, runs the keys, saves the window as NAME, and cancels.
shoot() {
    name=$1
    shift
    "$programs/tovin-share" --text "Crag is dry, see you at nine?" \
        "$docs/../data/sample-photo.png" https://example.org/crag-report </dev/null \
        >/dev/null 2>&1 &
    sheet=$!
    await_sheet
    for keys in "$@"; do
        case $keys in
        type:*) xdotool type --delay 40 "${keys#type:}" ;;
        *) xdotool key --delay 100 $keys ;;
        esac
    done
    sleep 1
    import -window "$window" "$docs/$name"
    xdotool key Escape
    wait "$sheet" || true
}

shoot sheet-open.png
shoot sheet-filtered.png type:in Down
# An outbox that is a file, not a folder: the share cannot be written.
: >"$HOME/Library/Containers/com.brindlex.tovin.share/Data/Documents/outbox"
shoot sheet-error.png type:clim "Down Tab Tab" "type:Bringing the rope" Return
