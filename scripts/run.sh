#!/usr/bin/env bash
# Installs what is missing, builds the tool and starts it in run/ (its own working directory, with
# Ini/, Data/ and Qm/Chinese.qm). A simulated ZR200Pro (firmware 105, address 1, 9600 baud) is
# started beside it on a pseudo-terminal with the stable path run/ttyZRSIM and stopped when the tool
# exits; real serial ports stay listed first. Pass --no-sim to run the tool alone on real hardware.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
rundir="$root/run"
build="$root/build"
cmake -S "$root" -B "$build" -DZR_RUN_DIR="$rundir" -DZR_BUILD_TESTS=OFF
cmake --build "$build" --target zrtool zrsim translations -j"$(nproc)"
mkdir -p "$rundir/Ini" "$rundir/Data" "$rundir/Qm"

sim_pid=""
if [ "${1:-}" != "--no-sim" ]; then
    link="$rundir/ttyZRSIM"
    "$build/zrsim" --model 3 --firmware 105 --address 1 --baud 9600 --link "$link" >"$rundir/zrsim.out" &
    sim_pid=$!
    trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 50); do
        [ -e "$link" ] && break
        sleep 0.1
    done
    export ZRTOOL_EXTRA_PORTS="$link${ZRTOOL_EXTRA_PORTS:+:$ZRTOOL_EXTRA_PORTS}"
fi
cd "$rundir"
"$build/zrtool"
