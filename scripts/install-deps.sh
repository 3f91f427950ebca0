#!/usr/bin/env bash
# Installs the Debian packages Korvane needs to build, test and run, if any are missing.
# Works as root or, through sudo, as a normal user. Fast when nothing is missing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5serialbus5-dev libqt5serialbus5-plugins
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-serialbus-dev
    fonts-dejavu-core fonts-liberation
)
# (fonts-liberation stands in for Courier New in the console menu. Qt 5 keeps its CAN bus
# plugins in a package of their own; Qt 6 ships them with its library.)
# The screenshot helpers want an X server and a grabber; tests do not.
if [ "${KORVANE_WITH_X:-0}" = 1 ]; then
    packages+=(xvfb xauth imagemagick x11-utils)
fi
# scripts/package.sh builds and checks the Debian package: dpkg-dev for dpkg-shlibdeps and
# dpkg-buildflags, then lintian and the desktop-entry and AppStream validators.
if [ "${KORVANE_WITH_PACKAGING:-0}" = 1 ]; then
    packages+=(dpkg-dev file lintian desktop-file-utils appstream)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo_cmd=()
elif command -v sudo >/dev/null 2>&1; then
    sudo_cmd=(sudo)
else
    echo "These packages are missing and installing them needs root (or sudo): ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
