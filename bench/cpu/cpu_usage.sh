#!/usr/bin/env bash
# CPU the tool uses while the simulator streams at the full line rate of 921600 baud,
# measured from /proc over 10 s (or the seconds given).
set -euo pipefail
cd "$(dirname "$0")/../.."
build_dir=$(scripts/build.sh)
"$build_dir/bench/bench_cpu" "${1:-10}"
