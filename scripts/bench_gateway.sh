#!/usr/bin/env bash
# A simulated day of the gateway: zrctl watch over a bus of ten simulated units at 115200 baud,
# 1,440 rounds (24 h at one round a minute) run back to back at a shortened interval, publishing
# to a local mosquitto broker that is restarted every 20 s. Prints zrctl's resident memory and
# open file descriptors along the run; both must stay flat.
#   scripts/bench_gateway.sh BUILD_DIR [ROUNDS] [INTERVAL_S]    (1440 and 0.1 by default)
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"
build=${1:?build directory}
rounds=${2:-1440}
interval=${3:-0.1}
work=$(mktemp -d)
cleanup() {
    kill "${watch:-}" "${sim:-}" "${broker:-}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

port=$(free_port)
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$port" > "$work/mosquitto.conf"
[ "$(id -u)" -eq 0 ] && echo 'user root' >> "$work/mosquitto.conf"
start_broker() {
    mosquitto -c "$work/mosquitto.conf" >/dev/null 2>&1 &
    broker=$!
    for _ in $(seq 50); do (echo >/dev/tcp/127.0.0.1/"$port") 2>/dev/null && return; sleep 0.1; done
    echo "mosquitto did not start" >&2; exit 1
}
start_broker

units=()
for a in $(seq 2 10); do units+=(--unit "3:$a:115200:105:2612080000$(printf '%02d' "$a")"); done
"$build/zrsim" --address 1 --baud 115200 --serial 261208000001 "${units[@]}" --link "$work/ttyBUS" >/dev/null &
sim=$!
wait_for_path "$work/ttyBUS"

"$build/zrctl" watch --port "$work/ttyBUS" --baud 115200 --address 1-10 --interval "$interval" \
    --count "$rounds" --csv "$work/day.csv" --mqtt "mqtt://127.0.0.1:$port" --ha-discovery \
    >/dev/null 2>"$work/status.txt" &
watch=$!

rss() { awk '/^VmRSS/ { print $2 }' "/proc/$watch/status" 2>/dev/null || echo 0; }
fds() { (ls "/proc/$watch/fd" 2>/dev/null || true) | wc -l; }
start=$(date +%s)
samples=()
last_restart=$start
sleep 2
first_rss=$(rss); first_fds=$(fds); max_rss=$first_rss; max_fds=$first_fds; restarts=0
while kill -0 "$watch" 2>/dev/null; do
    sleep 1
    now=$(date +%s)
    if [ $((now - last_restart)) -ge 20 ]; then
        kill "$broker"; wait "$broker" 2>/dev/null || true
        sleep 1
        start_broker
        last_restart=$now; restarts=$((restarts + 1))
    fi
    r=$(rss); f=$(fds)
    [ "$r" -gt 0 ] || break
    last_rss=$r; last_fds=$f
    [ "$r" -gt "$max_rss" ] && max_rss=$r
    [ "$f" -gt "$max_fds" ] && max_fds=$f
done
wait "$watch" && rc=0 || rc=$?
rows=$(($(wc -l < "$work/day.csv") - 1))
echo "gateway day: $rounds rounds of 10 units in $(( $(date +%s) - start )) s, $rows rows, exit $rc, $restarts broker restarts"
echo "  resident memory: first ${first_rss} kB, last ${last_rss:-?} kB, max ${max_rss} kB (goal: last - first < 2048 kB)"
echo "  open descriptors: first ${first_fds}, last ${last_fds:-?}, max ${max_fds} (goal: flat)"
echo "  status lines: $(wc -l < "$work/status.txt")"
