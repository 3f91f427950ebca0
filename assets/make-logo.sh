#!/usr/bin/env bash
# Regenerates assets/logo.png and the application icons in assets/icons/ from make_logo.cpp.
# With --icons only the icons, which have no text and so do not depend on the fonts installed.
# Needs g++, pkg-config and the Qt 5 Gui development files; runs headless.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
g++ -std=c++17 -O2 -fPIC -Wall -Wextra -Werror "$here/make_logo.cpp" -o "$work/make_logo" \
    $(pkg-config --cflags --libs Qt5Gui)
export QT_QPA_PLATFORM=offscreen
if [ "${1:-}" != --icons ]; then
    "$work/make_logo" "$here/logo.png"
    echo "wrote $here/logo.png"
fi
mkdir -p "$here/icons"
# The sizes installed into the hicolor theme (see cmake/Install.cmake).
for size in 32 48 64 128 256; do
    "$work/make_logo" --icon "$size" "$here/icons/korvane-$size.png"
done
echo "wrote $here/icons/korvane-{32,48,64,128,256}.png"
