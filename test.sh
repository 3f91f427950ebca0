#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
# KORVANE_SANITIZE=address,undefined ./test.sh (or =thread) runs them under sanitizers.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
build_dir=$(scripts/build.sh)
export QT_QPA_PLATFORM=offscreen
cd "$build_dir"
ctest --output-on-failure -j"$(nproc)" "$@"
