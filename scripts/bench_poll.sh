#!/usr/bin/env bash
# The CPU of a 1 Hz poll, side by side: zrctl watch --interval 1 and mbpoll (its default poll
# rate of 1000 ms) each reading the four live registers of the same simulated transmitter at
# 9600 baud for SECONDS, measured from the nanoseconds on a CPU of each of its threads in
# /proc/PID/task/*/schedstat. zrctl's share should stay within twice mbpoll's.
#   scripts/bench_poll.sh BUILD_DIR [SECONDS]    (60 by default)
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"
build=${1:?build directory}
seconds=${2:-60}
zrctl=${ZRCTL:-$build/zrctl}
work=$(mktemp -d)
cleanup() {
    kill "${poller:-}" "${sim:-}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$build/zrsim" --model 3 --firmware 105 --address 1 --baud 9600 --link "$work/ttyZR" >/dev/null &
sim=$!
wait_for_path "$work/ttyZR"

# Starts "$@" in the background, skips its first two seconds (start-up), then prints the percent
# of one core it used over the next $seconds.
measure() {
    "$@" >/dev/null 2>&1 &
    poller=$!
    sleep 2
    local before after
    before=$(cpu_ns "$poller")
    sleep "$seconds"
    after=$(cpu_ns "$poller")
    kill "$poller"
    wait "$poller" 2>/dev/null || true
    poller=
    awk -v t=$((after - before)) -v s="$seconds" 'BEGIN { printf "%.4f", 100 * t / 1e9 / s }'
}
z=$(measure "$zrctl" watch --port "$work/ttyZR" --address 1 --baud 9600 --interval 1)
m=$(measure mbpoll -m rtu -a 1 -b 9600 -d 8 -s 1 -P none -t 4 -0 -r 0 -c 4 -l 1000 "$work/ttyZR")
awk -v z="$z" -v m="$m" -v s="$seconds" 'BEGIN {
    printf "1 Hz poll over %d s: zrctl %.4f %% of a core, mbpoll %.4f %%, ratio %s\n", s, z, m,
        (m > 0 ? sprintf("%.1f", z / m) : "n/a") }'
