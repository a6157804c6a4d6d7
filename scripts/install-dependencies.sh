#!/usr/bin/env bash
# Installs, from Debian's archive, whatever of the build and test dependencies is missing.
set -euo pipefail
. "$(dirname "$0")/toolchain.sh"

packages=(
    cmake ninja-build g++ pkg-config
    nlohmann-json3-dev libsimdjson-dev uuid-dev zlib1g-dev libcli11-dev
    qt6-base-dev qcoro-qt6-dev libgl-dev shared-mime-info qt6-wayland libxcb1-dev
    qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
    libgtest-dev libgmock-dev
    "clang-$clang_version" "libclang-rt-$clang_version-dev" "clang-format-$clang_version"
    dbus libdbus-1-dev
    desktop-file-utils xdg-utils libglib2.0-bin python3 dpkg-dev debhelper lintian strace
    python3-nautilus man-db
    xvfb xdotool weston imagemagick
    sway wtype wl-clipboard at-spi2-core python3-pyatspi
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

run_as_root=()
[ "$(id -u)" -eq 0 ] || run_as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${run_as_root[@]}" apt-get update -q
"${run_as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
