#!/usr/bin/env bash
# Builds the console and the device simulator, starts the simulator (serial
# side as COM1, RMLX devices that answer discovery and a TCP side, all on
# this machine) and then the console. The simulator stops with the console.
set -euo pipefail
cd "$(dirname "$0")"
tools/deps.sh build gui
cmake --preset default >/dev/null
cmake --build --preset default

# A prefix of the demonstration's own for both programs: the simulator's
# COM1 link goes there, and links of the user's own under ~/.varnoke are
# neither used nor replaced.
demo=$PWD/build/demo
export VARNOKE_PREFIX=$demo
# C:\out\ of the Z-report check, as Wine maps drive C.
mkdir -p "$demo/drive_c/out"
: >"$demo/requests.log"

sim_pid=""
stop_simulator() {
    [[ -n $sim_pid ]] || return 0
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
}
trap stop_simulator EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

build/default/sim/varnoke-sim --serial --com 1 \
    --rmlx 127.0.0.1 --rmlx 127.0.0.2 --rmlx 127.0.0.3 --discovery \
    --tcp 127.0.0.1 --log "$demo/requests.log" </dev/null >"$demo/simulator.out" 2>&1 &
sim_pid=$!
# The TCP side is the last to say where it serves.
for ((i = 0; i < 100; ++i)); do
    grep -q '^tcp: ' "$demo/simulator.out" && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
done
if ! grep -q '^tcp: ' "$demo/simulator.out"; then
    echo "run.sh: the device simulator did not start:" >&2
    cat "$demo/simulator.out" >&2
    exit 1
fi

echo "Simulated device ready: press Connect (COM1), or pick Network, or pick TCP and type 127.0.0.1, then Connect."
build/default/src/app/varnoke
