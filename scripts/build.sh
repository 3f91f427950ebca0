#!/usr/bin/env bash
# Configures and builds Korvane (the targets given, or everything). Prints the build folder.
# The plain build goes to build/, with Qt 6 where it is installed (else Qt 5). Each of
#   KORVANE_QT=5 (or 6)                 the Qt to build with,
#   KORVANE_PORTABLE=1                  the portable code paths instead of the Linux ones,
#   KORVANE_SANITIZE=address,undefined  sanitizers (or =thread),
# adds to the folder's name (build-qt5, build-portable, build-qt5-sanitize-thread, ...) so
# that the other builds are left alone. KORVANE_QT=6 uses build/ and reconfigures it if it
# was made with Qt 5 for want of Qt 6.
set -euo pipefail
cd "$(dirname "$0")/.."

qt=${KORVANE_QT:-}
case "$qt" in
"" | 5 | 6) ;;
*)
    echo "KORVANE_QT is 5 or 6, not \"$qt\"" >&2
    exit 1
    ;;
esac
portable=OFF
case "${KORVANE_PORTABLE:-0}" in
0 | "" | OFF | off) ;;
*) portable=ON ;;
esac

build_dir=build
if [ "$qt" = 5 ]; then
    build_dir+=-qt5
fi
if [ "$portable" = ON ]; then
    build_dir+=-portable
fi
if [ -n "${KORVANE_SANITIZE:-}" ]; then
    build_dir+="-sanitize-${KORVANE_SANITIZE//,/-}"
fi

configured_qt=
if [ -f "$build_dir/CMakeCache.txt" ]; then
    configured_qt=$(sed -n 's/^KORVANE_QT:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
fi
if [ ! -f "$build_dir/CMakeCache.txt" ] || { [ -n "$qt" ] && [ "$qt" != "$configured_qt" ]; }; then
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_QT="$qt" \
        -DKORVANE_PORTABLE="$portable" -DKORVANE_SANITIZE="${KORVANE_SANITIZE:-}" >/dev/null
fi
targets=()
for t in "$@"; do
    targets+=(--target "$t")
done
cmake --build "$build_dir" -j"$(nproc)" "${targets[@]}" >&2
echo "$build_dir"
