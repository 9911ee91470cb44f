#!/usr/bin/env bash
# The gateway's Modbus TCP face under load: 1, 4 and 8 clients, each sending a read of the four
# live registers as soon as its previous reply is in, through zrctl watch --serve to a simulated
# transmitter at 115200 baud, while the gateway polls it once a second. Prints requests a second
# against the line's bound (both frames' time on the wire), and the gateway's CPU (nanoseconds
# on a CPU of all its threads, /proc/PID/task/*/schedstat) and resident memory while serving.
#   scripts/bench_serve.sh BUILD_DIR [SECONDS]    (10 by default, for each client count)
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"
build=${1:?build directory}
seconds=${2:-10}
work=$(mktemp -d)
cleanup() {
    kill "${gateway:-}" "${sim:-}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$build/zrsim" --model 3 --firmware 105 --address 1 --baud 115200 --link "$work/ttyZR" >/dev/null &
sim=$!
wait_for_path "$work/ttyZR"
port=$(free_port)
"$build/zrctl" watch --port "$work/ttyZR" --address 1 --baud 115200 --interval 1 --serve "$port" \
    >/dev/null 2>&1 &
gateway=$!
sleep 1

rss_kb() { awk '/^VmRSS/ { print $2 }' /proc/"$1"/status; }
# A read of registers 0..3 of unit 1 is 8 bytes out and 13 back, 10 bits a byte.
bound=$(awk 'BEGIN { printf "%.0f", 115200 / (10 * (8 + 13)) }')

for clients in 1 4 8; do
    before=$(cpu_ns "$gateway")
    rate=$(python3 - "$port" "$clients" "$seconds" <<'EOF'
import socket, struct, sys, threading, time
port, clients, seconds = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
counts = [0] * clients
def client(i):
    s = socket.create_connection(("127.0.0.1", port))
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    end, tid = time.monotonic() + seconds, 0
    while time.monotonic() < end:
        tid = (tid + 1) & 0xFFFF
        s.sendall(struct.pack(">HHHBBHH", tid, 0, 6, 1, 3, 0, 4))
        reply = b""
        while len(reply) < 6 or len(reply) < 6 + struct.unpack(">H", reply[4:6])[0]:
            reply += s.recv(300)
        if struct.unpack(">H", reply[:2])[0] != tid or reply[7] != 3:
            sys.exit("a reply that is not the request's: " + reply.hex())
        counts[i] += 1
    s.close()
threads = [threading.Thread(target=client, args=(i,)) for i in range(clients)]
for t in threads: t.start()
for t in threads: t.join()
print("%.0f" % (sum(counts) / seconds))
EOF
)
    after=$(cpu_ns "$gateway")
    awk -v c="$clients" -v r="$rate" -v b="$bound" -v t=$((after - before)) -v s="$seconds" -v m="$(rss_kb "$gateway")" \
        'BEGIN { printf "serve, %d client(s): %d requests/s (line bound %d/s, %.0f %%), gateway %.1f %% of a core, %d kB resident\n",
                 c, r, b, 100 * r / b, 100 * t / 1e9 / s, m }'
done
