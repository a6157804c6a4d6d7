#!/bin/sh
# Installs this build into a temporary prefix, builds a small host application against it, and
# checks the desktop integration: valid entries, the host URL's handler, and every launcher
# handing odd file names to tovin-share intact, through the mechanisms desktops use (GLib's
# launcher for desktop entries, as Nautilus, Thunar and GNOME use it; Nautilus's script call).
# Usage: installed-package-test.sh CMAKE GENERATOR BUILD_DIR CONSUMER_SOURCE CXX_COMPILER CXX_FLAGS
set -eu
cmake=$1 generator=$2 build=$3 consumer=$4 compiler=$5 flags=$6

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix share=$scratch/prefix/share
fail() {
    echo "installed-package-test: $*" >&2
    exit 1
}

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/tovin-host"
for internal in JSONCoding.h JSONReader.h; do
    [ ! -e "$prefix/include/tovin/shared/$internal" ] || fail "$internal was installed"
done
"$cmake" -S "$consumer" -B "$scratch/build" -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
"$cmake" --build "$scratch/build" >/dev/null
"$scratch/build/consumer" "$scratch/outbox" || fail "the consumer did not list the share it queued"

# The host URL's handler, found as xdg-open finds it, in the prefix alone.
handler=$(XDG_DATA_HOME=$share XDG_DATA_DIRS=$scratch/none XDG_CONFIG_HOME=$scratch/config \
    xdg-mime query default x-scheme-handler/tovin)
[ "$handler" = com.brindlex.tovin.host.desktop ] || fail "the handler of tovin: is \"$handler\""

open_with=$share/applications/com.brindlex.tovin.share.desktop
[ -f "$open_with" ] || exit 0 # built without the sheet
dolphin=$share/kio/servicemenus/com.brindlex.tovin.share.desktop
thunar=$share/Thunar/sendto/com.brindlex.tovin.share.desktop
nautilus="$share/nautilus/scripts/Share with tovin"
desktop-file-validate "$share"/applications/*.desktop "$dolphin" "$thunar"
[ -x "$dolphin" ] && [ -x "$nautilus" ] || fail "a file manager entry is not executable"
grep -q '^NoDisplay=true$' "$open_with" || fail "the sheet's entry shows in menus"
# Dolphin runs its action's command, which is the entry's own, as GLib runs it below.
[ "$(grep -c '^Exec=tovin-share %U$' "$dolphin")" -eq 2 ] || fail "Dolphin's commands differ"

# A stand-in for tovin-share that records its arguments, each ended by a NUL.
mkdir "$scratch/bin" "$scratch/files"
printf '#!/bin/sh\nprintf "%%s\\0" "$@" >"%s.part" && mv "%s.part" "%s"\n' \
    "$scratch/record" "$scratch/record" "$scratch/record" >"$scratch/bin/tovin-share"
chmod +x "$scratch/bin/tovin-share"
PATH=$scratch/bin:$PATH
files=$scratch/files
for name in "two words.png" "it's \"quoted\".txt" "line
break.pdf" "-" "--text" "percent%20sign"; do
    : >"$files/$name"
done
mkdir "$files/a folder"

# Checks that the launcher handed over every file once, as a path or a file URL.
expect_all_files() {
    await=50
    while [ ! -f "$scratch/record" ] && [ $((await -= 1)) -gt 0 ]; do sleep 0.1; done
    python3 - "$1" "$scratch/record" "$files" <<'CHECK'
import os, sys, urllib.parse
launcher, record, folder = sys.argv[1], sys.argv[2], os.fsencode(sys.argv[3])
arguments = open(record, "rb").read().split(b"\0")[:-1]
given = sorted(urllib.parse.unquote_to_bytes(urllib.parse.urlsplit(a).path)
               if a.startswith(b"file:") else a for a in arguments if a != b"--")
wanted = sorted(os.path.join(folder, name) for name in os.listdir(folder))
if given != wanted:
    sys.exit(f"{launcher} passed {arguments!r}, not the files {wanted!r}")
CHECK
    rm "$scratch/record"
}

for entry in "$open_with" "$dolphin" "$thunar"; do
    gio launch "$entry" "$files"/*
    expect_all_files "$entry"
done
(cd "$files" && "$nautilus" *)
expect_all_files "$nautilus"
