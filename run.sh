#!/usr/bin/env bash
# Installs what is missing, builds, and starts Korvane.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
build_dir=$(scripts/build.sh)
exec "$build_dir/bin/korvane" "$@"
