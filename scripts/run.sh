#!/usr/bin/env bash
# Installs what is missing, builds the tool and starts it in run/ (its own working directory, with
# Ini/, Data/ and Qm/Chinese.qm). A simulated ZR200Pro (firmware 105, address 1, 9600 baud) is
# started beside it on a pseudo-terminal with the stable path run/ttyZRSIM and stopped when the tool
# exits; real serial ports stay listed first. Pass --no-sim to run the tool alone on real hardware.
# Pass --tcp to serve the same transmitter over Modbus TCP instead (zrsim --listen on loopback,
# port $ZRSIM_TCP_PORT, 15020 by default): run/Ini/Config.ini's PortName is set to its address, so
# the window links to it at start-up (the other keys of the file stay as they are).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
rundir="$root/run"
build="$root/build"
cmake -S "$root" -B "$build" -DZR_RUN_DIR="$rundir" -DZR_BUILD_TESTS=OFF
cmake --build "$build" --target zrtool zrsim translations -j"$(nproc)"
mkdir -p "$rundir/Ini" "$rundir/Data" "$rundir/Qm"

# PortName in [System] of run/Ini/Config.ini set to $1, the rest of the file kept.
set_port_name() {
    local ini="$rundir/Ini/Config.ini"
    [ -f "$ini" ] || printf '[System]\n' >"$ini"
    awk -v port="$1" '
        /^\[/ { if (inside && !done) { print "PortName=" port; done = 1 } inside = ($0 ~ /^\[System\]\r?$/) }
        inside && /^PortName[ \t]*=/ { if (!done) print "PortName=" port; done = 1; next }
        { print }
        END { if (!done) { if (!inside) print "[System]"; print "PortName=" port } }
    ' "$ini" >"$ini.new" && mv "$ini.new" "$ini"
}

sim_pid=""
if [ "${1:-}" = "--tcp" ]; then
    port="${ZRSIM_TCP_PORT:-15020}"
    "$build/zrsim" --model 3 --firmware 105 --address 1 --listen "127.0.0.1:$port" --framing tcp \
        >"$rundir/zrsim.out" &
    sim_pid=$!
    trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
    set_port_name "tcp://127.0.0.1:$port"
    echo "zrsim serves Modbus TCP on tcp://127.0.0.1:$port (PortName in run/Ini/Config.ini)"
elif [ "${1:-}" != "--no-sim" ]; then
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
