#!/usr/bin/env bash
# Installs what is missing, builds, and starts Korvane with the motor simulator listed
# as a port. The simulator stops when the window closes.
# KORVANE_NO_SIM=1 ./run.sh starts the tool alone, for a real adapter.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
build_dir=$(scripts/build.sh korvane korvane-sim)

if [ "${KORVANE_NO_SIM:-0}" = 1 ] || [ ! -x "$build_dir/bin/korvane-sim" ]; then
    exec "$build_dir/bin/korvane" "$@"
fi

link="${KORVANE_SIM_LINK:-/tmp/korvane-sim-$(id -u)}"
# A link left by an earlier run must not pass for this simulator's own.
if [ -L "$link" ]; then rm -f -- "$link"; fi
"$build_dir/bin/korvane-sim" --link "$link" --motor-id "${KORVANE_SIM_MOTOR_ID:-0}" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [ -e "$link" ] && break
    sleep 0.1
done
echo "Motor simulator on $link (pick it in the Port box and press Connect)."
KORVANE_EXTRA_PORTS="$link${KORVANE_EXTRA_PORTS:+:$KORVANE_EXTRA_PORTS}" "$build_dir/bin/korvane" "$@"
