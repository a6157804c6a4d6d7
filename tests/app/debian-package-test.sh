#!/bin/sh
# Builds the Debian package of this build, and checks what it holds, what it depends on, and that
# lintian finds no error in it. Usage: debian-package-test.sh CPACK BUILD_DIR
set -eu
cpack=$1 build=$2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "debian-package-test: $*" >&2
    exit 1
}

(cd "$scratch" && "$cpack" -G DEB -B "$scratch" --config "$build/CPackConfig.cmake" >/dev/null)
package=$(ls "$scratch"/tovin-share_*.deb)
dpkg-deb -c "$package" | sed 's/.* \.//' >"$scratch/contents"
# Patterns of whole lines: a dot stands for the space in the Nautilus script's name.
wanted="/usr/bin/tovin-host /usr/lib/libtovinshare.a /usr/include/tovin/shared/ShareOutbox.h
/usr/lib/cmake/TovinShare/TovinShareConfig.cmake /usr/share/doc/tovin-share/copyright
/usr/share/applications/com.brindlex.tovin.host.desktop"
if grep -q '^/usr/bin/tovin-share$' "$scratch/contents"; then
    wanted="$wanted /usr/share/applications/com.brindlex.tovin.share.desktop
/usr/share/kio/servicemenus/com.brindlex.tovin.share.desktop
/usr/share/Thunar/sendto/com.brindlex.tovin.share.desktop
/usr/share/nautilus/scripts/Share.with.tovin"
    depends=$(dpkg-deb -f "$package" Depends)
    for dependency in qt6-wayland dbus-bin libqt6widgets6 libdbus-1-3; do
        echo "$depends" | grep -q "$dependency" || fail "no $dependency in Depends: $depends"
    done
fi
for file in $wanted; do
    grep -qx "$file" "$scratch/contents" || fail "the package lacks $file"
done

command -v lintian >/dev/null || fail "lintian is not installed"
lintian --no-tag-display-limit "$package" >"$scratch/lintian" 2>&1 || true
! grep '^E:' "$scratch/lintian" || fail "lintian found errors"
