#!/bin/sh
# Installs this build as a person installs it for themselves, into a prefix whose path holds a
# space and a quote, builds a small host application against it, and checks the desktop
# integration: no file type changes its default program, the entries are valid and show the
# icon, and every launcher hands odd file names to tovin-share, by its installed path, intact.
# Usage: installed-package-test.sh CMAKE GENERATOR BUILD_DIR CONSUMER_SOURCE CXX_COMPILER CXX_FLAGS
set -eu
cmake=$1 generator=$2 build=$3 consumer=$4 compiler=$5 flags=$6

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "installed-package-test: $*" >&2
    exit 1
}
. "$(dirname "$0")/desktop-checks.sh"
prefix="$scratch/it's a prefix" share="$scratch/it's a prefix/share"

# The defaults of a session with no settings of its own, before the install.
XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/nothing
export XDG_CONFIG_HOME XDG_DATA_HOME
unset XDG_CURRENT_DESKTOP
file_type_defaults >"$scratch/before"

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/tovin-host"
for internal in JSONCoding.h JSONReader.h; do
    [ ! -e "$prefix/include/tovin/shared/$internal" ] || fail "$internal was installed"
done
"$cmake" -S "$consumer" -B "$scratch/build" -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
"$cmake" --build "$scratch/build" >/dev/null
"$scratch/build/consumer" "$scratch/outbox" || fail "the consumer did not list the share it queued"
[ -x "$prefix/bin/tovin-share" ] || exit 0 # built without the sheet

# The prefix's share folder is the person's own data folder, as ~/.local/share is ~/.local's,
# with the cache of types that desktops keep.
update-desktop-database -q "$share/applications"
XDG_DATA_HOME=$share file_type_defaults >"$scratch/after"
diff "$scratch/before" "$scratch/after" >&2 || fail "installing changed the programs of file types"

dolphin=$share/kio/servicemenus/com.brindlex.tovin.share.desktop
thunar=$share/Thunar/sendto/com.brindlex.tovin.share.desktop
nautilus="$share/nautilus/scripts/Share with tovin"
# Dolphin's service menu is KDE's own kind of entry, with KDE's "all/all" type.
desktop-file-validate "$share"/applications/*.desktop "$thunar"
[ -x "$dolphin" ] && [ -x "$nautilus" ] || fail "a file manager entry is not executable"
[ -f "$share/icons/hicolor/scalable/apps/com.brindlex.tovin.share.svg" ] || fail "no icon"
for entry in "$share"/applications/*.desktop "$dolphin" "$thunar" "$share"/nemo/actions/* \
    "$share"/nautilus-python/extensions/*; do
    grep -Eq '^Icon(-Name)?=com\.brindlex\.tovin\.share$|icon="com\.brindlex\.tovin\.share"' \
        "$entry" || fail "$entry does not show the icon"
done

# The program finds its translations beside it, wherever the prefix is.
LANG=de_DE.UTF-8 "$prefix/bin/tovin-share" --help | grep -q '„Nichts zu teilen.“' ||
    fail "the installed tovin-share does not speak German"

mkdir "$scratch/files"
make_odd_files "$scratch/files"
launch_entries "$share" "$prefix/bin/tovin-share" "$scratch/files"
# Nautilus's script: the names it expands in the arguments are ignored for its URIs.
uris=$(python3 -c 'import os, sys, urllib.parse
folder = os.fsencode(sys.argv[1])
for name in os.listdir(folder):
    print("file://" + urllib.parse.quote(os.path.join(folder, name)))' "$scratch/files")
traced env NAUTILUS_SCRIPT_SELECTED_URIS="$uris" "$nautilus" "$scratch/files/report 100final.txt"
expect_all_files "$nautilus" "$prefix/bin/tovin-share" "$scratch/files" ||
    fail "the Nautilus script lost files"
