#!/usr/bin/env bash
# Serial servers on loopback, against simulated buses:
#  - request to reply over Modbus TCP: zrctl (scan) beside mbpoll -m tcp on the same zrsim --listen
#    with 200 units, each reading the identity block of every unit once, one request at a time; the
#    time of 200 addresses less the time of one, over 199, leaves out the start of the program
#    (best of seven runs);
#  - a 10-unit round of zrctl watch over Modbus TCP, over RTU over TCP and on a pseudo-terminal at
#    115200 baud: the time from the first unit's row to the tenth's, times 10/9, averaged over
#    rounds 2 to 21 (rows carry milliseconds).
#   scripts/bench_tcp.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"
build=${1:?build directory}
zrctl=${ZRCTL:-$build/zrctl}
work=$(mktemp -d)
pids=()
cleanup() {
    kill "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Units 2..N for zrsim's bus.
bus() { for a in $(seq 2 "$1"); do echo "--unit" "3:$a:115200"; done; }
units=($(bus 10))
# Starts zrsim with "$@"; prints the port string it serves (its first line).
serve() {
    local out="$work/sim$RANDOM"
    "$build/zrsim" --address 1 --baud 115200 "$@" >"$out" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
    head -1 "$out"
}
now_us() { echo $(($(date +%s%N) / 1000)); }
# Best of five: microseconds that "$@" takes.
best_us() {
    local best=0 t0 t
    for _ in 1 2 3 4 5 6 7; do
        t0=$(now_us)
        "$@" >/dev/null 2>&1 || true
        t=$(($(now_us) - t0))
        if [ "$best" -eq 0 ] || [ "$t" -lt "$best" ]; then best=$t; fi
    done
    echo "$best"
}
per_request() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (a - b) / 199 / 1000 }'; }

many=$(serve $(bus 200) --listen 0 --framing tcp)
port=${many##*:}
zn=$(best_us "$zrctl" scan --port "$many" --baud 115200 --addresses 1-200)
z1=$(best_us "$zrctl" scan --port "$many" --baud 115200 --addresses 1-1)
mn=$(best_us mbpoll -m tcp -p "$port" -a 1:200 -t 4 -r 256 -c 10 -1 -0 127.0.0.1)
m1=$(best_us mbpoll -m tcp -p "$port" -a 1 -t 4 -r 256 -c 10 -1 -0 127.0.0.1)
echo "request to reply over Modbus TCP on loopback: zrctl $(per_request "$zn" "$z1") ms," \
    "mbpoll -m tcp $(per_request "$mn" "$m1") ms"

tcp=$(serve "${units[@]}" --listen 0 --framing tcp)

# Rounds 2 to 21 of a 10-unit watch on PORT: milliseconds from each round's first row to its
# tenth, times 10/9, on average.
round_ms() {
    "$zrctl" watch --port "$1" --address 1-10 --baud 115200 --count 21 --interval 0.2 --json 2>/dev/null |
        tail -200 | sed -n 's/.*"time":"\([^"]*\)".*/\1/p' |
        while read -r t; do date -d "$t" +%s%3N; done |
        awk '(NR - 1) % 10 == 0 { first = $1 } (NR % 10) == 0 { sum += $1 - first; n++ }
             END { printf "%.2f", sum / n * 10 / 9 }'
}
rtu=$(serve "${units[@]}" --listen 0 --framing rtu)
"$build/zrsim" --address 1 --baud 115200 "${units[@]}" --link "$work/ttyZR" >/dev/null 2>&1 &
pids+=($!)
wait_for_path "$work/ttyZR"
echo "10-unit round: Modbus TCP $(round_ms "$tcp") ms, RTU over TCP $(round_ms "$rtu") ms," \
    "pseudo-terminal at 115200 baud $(round_ms "$work/ttyZR") ms"
