#!/bin/sh
# The sheet as a screen reader meets it, through AT-SPI: a dialog whose failed Send is announced
# as an alert, again at every failure, with the focus left where it was; Return on a focused Cancel
# cancels. The real program under a private X server, session bus and accessibility bus.
# Usage: sheet-accessibility-test.sh TOVIN_SHARE TOVIN_HOST SOURCE_DIR
set -eu
share=$1 host=$2 source=$3

. "$source/scripts/desktop-session.sh"

unset XDG_CURRENT_DESKTOP WAYLAND_DISPLAY QT_QPA_PLATFORM AT_SPI_BUS_ADDRESS
private_home
private_runtime_dir
start_x_server
start_session_bus
"$host" chats write "$source/data/sample-chats.json" >/dev/null
# An outbox that is a file: every Send fails.
: >"$HOME/Library/Containers/com.brindlex.tovin.share/Data/Documents/outbox"

# The accessibility bus, started through the session bus as a desktop starts it, and ended
# before it: its launcher outlives the session bus otherwise.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    >/dev/null || fail "no accessibility bus"
launcher=$(dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus \
    /org/freedesktop/DBus org.freedesktop.DBus.GetConnectionUnixProcessID string:org.a11y.Bus |
    awk '{print $2}')
stop_at_exit "$launcher"

QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$share" --text "not sent" >/dev/null 2>"$scratch/share.err" &
sheet=$!
stop_at_exit $sheet
await_sheet

# pyatspi belongs to the system's Python.
/usr/bin/python3 - <<'CHECK' || fail "as a screen reader hears it"
import subprocess, time
import pyatspi
from gi.repository import GLib

def find(node, role, name=None):
    if node.getRoleName() == role and (name is None or node.name == name):
        return node
    for child in node:
        found = find(child, role, name) if child else None
        if found:
            return found
    return None

deadline = time.monotonic() + 20
sheet = None
while sheet is None and time.monotonic() < deadline:
    for app in pyatspi.Registry.getDesktop(0):
        if app and app.name == "tovin-share":
            sheet = find(app, "dialog", "Share with tovin")
    time.sleep(0.1)
assert sheet, "no dialog named Share with tovin"
search = find(sheet, "text", "Search chats")
assert search.getState().contains(pyatspi.STATE_FOCUSED)

heard = []
focus = []
def hear(event):
    if event.type.startswith("object:state-changed:showing") and event.detail1:
        if event.source.getRoleName() == "alert":
            heard.append(event.source.name)
    elif event.type.startswith("focus:"):
        focus.append(event.source.name)
pyatspi.Registry.registerEventListener(hear, "object:state-changed:showing", "focus:")

# The focus follows the chosen chat; from the first Send on, nothing may move it.
steps = [["type", "--delay", "30", "ma"], ["key", "Down"], focus.clear, ["key", "Return"],
         ["key", "Return"]]
def step():
    if steps:
        action = steps.pop(0)
        if callable(action):
            action()
        else:
            subprocess.run(["xdotool"] + action, check=True)
        return True
    GLib.timeout_add(1500, pyatspi.Registry.stop)
    return False
GLib.timeout_add(1000, step)
pyatspi.Registry.start()

failure = "Could not save the share in tovin's shared folder: a folder on its path is a file."
assert heard == [failure, failure], heard
assert focus == [], focus
assert search.getState().contains(pyatspi.STATE_FOCUSED)
assert not search.getState().contains(pyatspi.STATE_READ_ONLY)
send = find(sheet, "push button", "Send")
assert send.getState().contains(pyatspi.STATE_IS_DEFAULT)
CHECK

# Tab to Cancel, past the table and the caption; Return there cancels.
xdotool key Tab Tab Tab Return
status=0
wait $sheet || status=$?
[ $status -eq 1 ] || fail "Return on Cancel ended the sheet with $status"
