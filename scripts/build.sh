#!/usr/bin/env bash
# Configures and builds Korvane (the targets given, or everything). With KORVANE_SANITIZE
# set, builds into a separate folder so that the plain build in build/ is left alone.
# Prints the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
if [ -n "${KORVANE_SANITIZE:-}" ]; then
    build_dir="build-sanitize-${KORVANE_SANITIZE//,/-}"
fi
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKORVANE_SANITIZE="${KORVANE_SANITIZE:-}" >/dev/null
fi
targets=()
for t in "$@"; do
    targets+=(--target "$t")
done
cmake --build "$build_dir" -j"$(nproc)" "${targets[@]}" >&2
echo "$build_dir"
