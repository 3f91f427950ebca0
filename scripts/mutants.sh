#!/usr/bin/env bash
# Runs the fault-planting check (see scripts/mutants.py for the options), e.g.
#   scripts/mutants.sh --build build --lib codec --max 12
set -euo pipefail
exec python3 "$(dirname "$0")/mutants.py" "$@"
