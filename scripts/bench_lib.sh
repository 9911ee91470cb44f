# Sourced by the bench scripts: what several of them need around the simulated transmitter.

# A free TCP port on the loopback interface.
free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

# Waits up to five seconds for PATH to appear (the link zrsim makes to its pseudo-terminal).
wait_for_path() {
    for _ in $(seq 50); do [ -e "$1" ] && return; sleep 0.1; done
}

# Nanoseconds process PID spent on a CPU, all its threads: the clock ticks of /proc/PID/stat are
# too coarse for a process that uses a few hundred microseconds a second.
cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{ n += $1 } END { printf "%.0f", n }'; }
