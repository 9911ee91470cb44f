#!/usr/bin/env bash
# Times a zrctl scan over all 247 addresses at one rate against a simulated line holding one
# transmitter (address 100), and compares it with what the line itself needs: every request's
# time on the wire, the one reply's, and the time-out of every address that stays silent.
#   scripts/bench_scan.sh BUILD_DIR [TIMEOUT_MS]    (100 ms by default) at 9600 and 115200 baud
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"
build=${1:?build directory}
timeout_ms=${2:-100}
work=$(mktemp -d)
trap 'kill "${sim:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
for rate in 9600 115200; do
    "$build/zrsim" --model 3 --address 100 --baud "$rate" --link "$work/tty$rate" >/dev/null &
    sim=$!
    wait_for_path "$work/tty$rate"
    start=$(date +%s%N)
    found=$("$build/zrctl" scan --port "$work/tty$rate" --baud "$rate" --addresses 1-247 --timeout "$timeout_ms" --json)
    end=$(date +%s%N)
    kill "$sim"; wait "$sim" 2>/dev/null || true
    [ "$(printf '%s\n' "$found" | grep -c '"address":100')" = 1 ] || { echo "scan at $rate did not find the unit" >&2; exit 1; }
    # 8-byte requests, one 25-byte reply, ten bits a byte; 246 silent addresses wait the time-out.
    awk -v t="$(( (end - start) / 1000000 ))" -v r="$rate" -v to="$timeout_ms" 'BEGIN {
        line = 247 * 8 * 10 * 1000 / r + 25 * 10 * 1000 / r + 246 * to;
        printf "scan at %6d baud: %7.0f ms, line bound %7.0f ms, ratio %.3f (goal <= 1.2)\n", r, t, line, t / line;
    }'
done
