#!/bin/sh
# Builds the Debian packages from this source as a maintainer does and checks them: what each
# holds and depends on, the hardening of the programs, and lintian's pedantic review with no error
# and no warning. Then, as root, installs both, checks that no file type changed its default
# program and that the installed entries hand odd file names to tovin-share intact, and purges
# them, which leaves the system as it was.
# Usage: debian-package-test.sh SOURCE_DIR WORK_DIR CXX_FLAGS
set -eu
source=$1 work=$2
case $3 in *-fsanitize*)
    echo "the packages are built with their own flags: the plain build's run checks them"
    exit 77
    ;;
esac

# The work folder keeps its path from run to run, so that a compiler cache can serve the build.
rm -rf "$work"
mkdir -p "$work/source"
scratch=$work/scratch
mkdir "$scratch"
fail() {
    echo "debian-package-test: $*" >&2
    exit 1
}
. "$(dirname "$0")/desktop-checks.sh"

tar -C "$source" --exclude=./build --exclude=./.git -cf - . | tar -C "$work/source" -xf -
command -v ccache >/dev/null && export CMAKE_CXX_COMPILER_LAUNCHER=ccache
(cd "$work/source" && DEB_BUILD_OPTIONS="parallel=$(nproc)" dpkg-buildpackage -b -uc -us \
    >"$work/build.log" 2>&1) || fail "dpkg-buildpackage failed: see $work/build.log"
runtime=$(echo "$work"/tovin-share_*.deb) dev=$(echo "$work"/tovin-share-dev_*.deb)

# Each package holds its own files, and the runtime package no handler of the host URL and no
# Nautilus script, which Nautilus would not find there.
holds() {
    dpkg-deb -c "$1" | sed 's/.* \.//' | grep -Eq "^$2\$"
}
for file in /usr/bin/tovin-share /usr/bin/tovin-host /usr/share/man/man1/tovin-share.1.gz \
    /usr/share/man/man1/tovin-host.1.gz /usr/share/bash-completion/completions/tovin-share \
    /usr/share/bash-completion/completions/tovin-host \
    /usr/share/icons/hicolor/scalable/apps/com.brindlex.tovin.share.svg \
    /usr/share/applications/com.brindlex.tovin.share.desktop \
    /usr/share/kio/servicemenus/com.brindlex.tovin.share.desktop \
    /usr/share/Thunar/sendto/com.brindlex.tovin.share.desktop \
    /usr/share/nemo/actions/com.brindlex.tovin.share.nemo_action \
    /usr/share/nautilus-python/extensions/tovin_share.py \
    /usr/share/tovin-share/translations/tovin-share_de.qm \
    /usr/share/tovin-share/translations/tovin-share_ar.qm; do
    holds "$runtime" "$file" || fail "the runtime package lacks $file"
done
for file in /usr/share/applications/com.brindlex.tovin.host.desktop '/usr/share/nautilus/.*' \
    '/usr/include/.*' '.*\.a'; do
    ! holds "$runtime" "$file" || fail "the runtime package holds $file"
done
for file in /usr/include/tovin/shared/ShareOutbox.h '/usr/lib/[^/]*/libtovinshare\.a' \
    '/usr/lib/[^/]*/cmake/TovinShare/TovinShareConfig\.cmake'; do
    holds "$dev" "$file" || fail "the -dev package lacks $file"
done
field() {
    dpkg-deb -f "$1" "$2" | tr -d ' ' | tr ',' '\n' | sed 's/(.*//'
}
for dependency in dbus-bin libqt6widgets6 libdbus-1-3; do
    field "$runtime" Depends | grep -qx "$dependency" || fail "tovin-share needs $dependency"
done
! field "$runtime" Depends | grep -qx qt6-wayland || fail "tovin-share requires qt6-wayland"
field "$runtime" Recommends | grep -qx qt6-wayland || fail "tovin-share does not recommend it"
for dependency in nlohmann-json3-dev libsimdjson-dev uuid-dev pkg-config; do
    field "$dev" Depends | grep -qx "$dependency" || fail "tovin-share-dev needs $dependency"
done

# Hardened and stripped: PIE, read-only relocations bound at start, stack protector, fortified
# calls, and no symbol table.
dpkg-deb -x "$runtime" "$scratch/unpacked"
for program in "$scratch"/unpacked/usr/bin/*; do
    readelf -d "$program" | grep -q 'FLAGS_1.*NOW.*PIE' || fail "$program is not PIE bound now"
    readelf -lW "$program" | grep -q GNU_RELRO || fail "$program has no read-only relocations"
    readelf --dyn-syms -W "$program" >"$scratch/symbols"
    grep -q __stack_chk_fail "$scratch/symbols" || fail "$program has no stack protector"
    grep -q '__[a-z_]*_chk@' "$scratch/symbols" || fail "$program calls no fortified function"
    ! readelf -SW "$program" | grep -q '\.symtab' || fail "$program is not stripped"
done

lintian --pedantic --tag-display-limit 0 "$runtime" "$dev" >"$scratch/lintian" 2>&1 || true
if grep -E '^[EW]:' "$scratch/lintian" >&2; then
    fail "lintian has errors or warnings"
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "installing the packages needs root: not installed"
    exit 77
fi

# What the system was, to compare after the purge: its files, its packages, and the defaults of a
# session with no settings of its own.
system_state() {
    find /usr /etc /opt -xdev | sort
    dpkg-query -W -f '${Package} ${Status}\n'
    cat /usr/share/applications/mimeinfo.cache 2>/dev/null || true
}
XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/nothing
export XDG_CONFIG_HOME XDG_DATA_HOME
unset XDG_CURRENT_DESKTOP
system_state >"$scratch/system-before"
file_type_defaults >"$scratch/before"

# dpkg would silently take over, and the purge then delete, files of the same name that no package
# owns, such as a program copied into /usr/bin by hand.
for file in $( (dpkg-deb -c "$runtime" && dpkg-deb -c "$dev") | grep -v '^d' | sed 's/.* \.//'); do
    [ ! -e "$file" ] || fail "$file is on this system already: not installing over it"
done
trap 'dpkg --purge tovin-share-dev tovin-share >/dev/null 2>&1 || true' EXIT
dpkg -i "$runtime" "$dev" >"$scratch/dpkg.log" 2>&1 || fail "installing failed: $(cat "$scratch/dpkg.log")"
file_type_defaults >"$scratch/after"
diff "$scratch/before" "$scratch/after" >&2 || fail "installing changed the programs of file types"
[ "$(tovin-share --version)" = "tovin-share $(dpkg-deb -f "$runtime" Version)" ] ||
    fail "the package's version is not the program's"
man -w tovin-share tovin-host >/dev/null || fail "the manual pages are not found"
LANG=ar_EG.UTF-8 tovin-share --help | grep -q '^الاستخدام: tovin-share' ||
    fail "tovin-share does not speak Arabic"
for program in tovin-share tovin-host; do
    bash -c ". /usr/share/bash-completion/completions/$program && complete -p $program" \
        >/dev/null || fail "the completion of $program does not load"
done
mkdir "$scratch/files"
make_odd_files "$scratch/files"
launch_entries /usr/share /usr/bin/tovin-share "$scratch/files"

dpkg --purge tovin-share-dev tovin-share >"$scratch/dpkg.log" 2>&1 || fail "purging failed"
trap - EXIT
system_state >"$scratch/system-after"
diff "$scratch/system-before" "$scratch/system-after" >&2 || fail "the purge left the system changed"
