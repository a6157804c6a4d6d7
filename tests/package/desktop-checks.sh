# What the package tests check of the desktop, sourced by both after they define $scratch and
# `fail`: that installing leaves every file type's default program as it was, and that each
# launcher hands tovin-share every selected file whole, however it is named.

# Prints, for every file type, its default program and every program registered for it as GLib
# (so GNOME, Nautilus and Thunar) finds them, then the default that xdg-mime gives for the types
# an earlier entry of ours claimed, which desktops without a default of their own fell back to.
file_type_defaults() {
    /usr/bin/python3 - <<'GIO'
from gi.repository import Gio
for kind in sorted(Gio.content_types_get_registered()):
    default = Gio.AppInfo.get_default_for_type(kind, False)
    every = [info.get_id() for info in Gio.AppInfo.get_all_for_type(kind)]
    print(kind, default.get_id() if default else "-", *every)
GIO
    for kind in image/png image/jpeg image/svg+xml video/mp4 audio/mpeg application/pdf \
        text/plain text/markdown application/zip application/json inode/directory \
        application/vnd.oasis.opendocument.text x-scheme-handler/tovin; do
        echo "$kind $(xdg-mime query default "$kind")"
    done
}

# Makes, in FOLDER, files whose names launchers have mangled: spaces, quotes, a line break, "%"
# sequences, a leading dash, bytes that are not UTF-8; and a folder.
make_odd_files() {
    mkdir -p "$1/a folder"
    for name in "two words.png" "it's \"quoted\".txt" "line
break.pdf" - --text "report 100% final.txt" "percent%20sign" "$(printf 'caf\351.txt')"; do
        : >"$1/$name"
    done
}

# Runs COMMAND, tracing every program it starts, with no display, so that a tovin-share it starts
# exits at once.
traced() {
    rm -rf "$scratch/trace" && mkdir "$scratch/trace"
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=wayland XDG_RUNTIME_DIR="$scratch/trace" \
        timeout 60 strace -f -ff -qq -e trace=execve -e signal=none -s 65536 -xx \
        -o "$scratch/trace/pid" "$@" >/dev/null 2>&1 || true
}

# Checks that the traced command started PROGRAM once, with every file of FOLDER as one argument
# each, a path or a file URL, and nothing else but "--". LAUNCHER names the command.
expect_all_files() {
    python3 - "$1" "$2" "$3" "$scratch/trace" <<'CHECK'
import glob, os, re, sys, urllib.parse
launcher, program, folder, trace = sys.argv[1], os.fsencode(sys.argv[2]), sys.argv[3], sys.argv[4]
def unhex(text):
    return bytes.fromhex(text.replace("\\x", ""))
starts = []
for name in glob.glob(os.path.join(trace, "pid.*")):
    for line in open(name, encoding="ascii"):
        call = re.match(r'execve\("([^"]*)", \[(.*)\], .*\) = 0$', line.strip())
        if call and unhex(call[1]) == program:
            starts.append([unhex(a) for a in re.findall(r'"([^"]*)"', call[2])][1:])
if len(starts) != 1:
    sys.exit(f"{launcher} started {sys.argv[2]} {len(starts)} times")
given = sorted(urllib.parse.unquote_to_bytes(urllib.parse.urlsplit(a).path)
               if a.startswith(b"file:") else a for a in starts[0] if a != b"--")
directory = os.fsencode(folder)
wanted = sorted(os.path.join(directory, name) for name in os.listdir(directory))
if given != wanted:
    sys.exit(f"{launcher} passed {starts[0]!r}, not the files {wanted!r}")
CHECK
}

# The menu item of the Nautilus extension EXTENSION, run on the FILES as Nautilus runs it.
cat >"$scratch/nautilus.py" <<'NAUTILUS'
import os, sys, types
import gi
gi.require_version("Nautilus", "4.0")
from gi.repository import Gio
extension = types.ModuleType("extension")
with open(sys.argv[1], encoding="utf-8") as source:
    exec(compile(source.read(), sys.argv[1], "exec"), extension.__dict__)
class File:
    def __init__(self, path):
        self.location = Gio.File.new_for_path(os.fsencode(path))
    def get_location(self):
        return self.location
[item] = extension.ShareWithTovin().get_file_items([File(path) for path in sys.argv[2:]])
item.activate()
NAUTILUS

# Runs the entries that the install put under SHARE, each on every file of FOLDER, and checks
# that each hands them all to PROGRAM whole: the sheet's own entry and Dolphin's and Thunar's
# through GLib's launcher (the one Thunar uses; Dolphin runs the same command), and Nautilus's
# extension.
launch_entries() {
    share=$1 program=$2 folder=$3
    dolphin=$share/kio/servicemenus/com.brindlex.tovin.share.desktop
    [ "$(sed -n 's/^Exec=//p' "$dolphin" | uniq | wc -l)" -eq 1 ] || fail "Dolphin's commands differ"
    for entry in "$share/applications/com.brindlex.tovin.share.desktop" \
        "$dolphin" \
        "$share/Thunar/sendto/com.brindlex.tovin.share.desktop"; do
        traced gio launch "$entry" "$folder"/*
        expect_all_files "$entry" "$program" "$folder" || fail "$entry lost files"
    done
    extension=$share/nautilus-python/extensions/tovin_share.py
    traced /usr/bin/python3 "$scratch/nautilus.py" "$extension" "$folder"/*
    expect_all_files "$extension" "$program" "$folder" || fail "the Nautilus extension lost files"
}
