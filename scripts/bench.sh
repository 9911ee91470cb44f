#!/usr/bin/env bash
# Builds the benchmark (optimised, no sanitizers) and prints its figures: the cost of handling a
# reply against its wire time at 115200 baud (one answering nothing, logged and shown, and one
# answering its request, also matched and decoded), appendMessage cost and memory after 1,000, 80,000,
# 100,000 and 1,000,000 lines with the cost at the pane's cap against just below it, the CPU used
# in 10 s after the linked transmitter goes away while idle, a zrctl scan of 247 addresses at 9600
# and 115200 baud against the time the line needs, a simulated day of the gateway (memory and
# descriptors of zrctl watch over ten units through broker restarts), the CPU of zrctl's 1 Hz
# poll beside mbpoll's on the same simulated transmitter, the trend with a full day
# (repaint, a reading added, memory), and the CPU used by live polling against the simulated
# transmitter, without and with the trend shown; then serial servers on loopback (request to reply
# of zrctl beside mbpoll -m tcp, a 10-unit round over TCP beside one on a pseudo-terminal); and the
# gateway serving Modbus TCP clients.
# scripts/bench.sh [polling-seconds]   (60 by default)
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
if ! dpkg-query -W -f='${Status}' libbenchmark-dev 2>/dev/null | grep -q "install ok installed"; then
    sudo_cmd=(); [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get install -y -q libbenchmark-dev
fi
build="$root/build-bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZR_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target zrbench zrsim zrctl -j"$(nproc)"
"$build/zrbench" --benchmark_counters_tabular=true
"$build/zrbench" --unplugged 10
"$root/scripts/bench_scan.sh" "$build"
"$root/scripts/bench_gateway.sh" "$build"
"$root/scripts/bench_poll.sh" "$build" "${1:-60}"
"$root/scripts/bench_tcp.sh" "$build"
"$root/scripts/bench_serve.sh" "$build"

seconds=${1:-60}
work=$(mktemp -d)
"$build/zrsim" --model 3 --firmware 105 --address 1 --baud 115200 --link "$work/ttyZR" >/dev/null &
sim=$!
trap 'kill $sim 2>/dev/null || true; rm -rf "$work"' EXIT
wait_for_path "$work/ttyZR"
"$build/zrbench" --polling "$seconds" "$work/ttyZR"
# The same with the trend shown; its picture is left in the build directory.
"$build/zrbench" --polling "$seconds" "$work/ttyZR" "$build/trend.png"
