#!/usr/bin/env bash
# Regenerates assets/logo.png from make_logo.cpp. Needs g++, pkg-config and the Qt 5 Gui
# development files; runs headless.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
g++ -std=c++17 -O2 -fPIC -Wall -Wextra -Werror "$here/make_logo.cpp" -o "$work/make_logo" \
    $(pkg-config --cflags --libs Qt5Gui)
QT_QPA_PLATFORM=offscreen "$work/make_logo" "$here/logo.png"
echo "wrote $here/logo.png"
