#!/usr/bin/env bash
# Unpaced exchanges a second on loopback, side by side: reboundcli -i 0 -q against reboundsrv
# alternates with sockperf ping-pong against its own server, same probe size, each client on
# core 1 and each responder on core 0 (where the machine has two cores). Then the system calls
# one reboundcli probe costs (strace -c over a separate run).
# Usage: bench/unpaced_rate.sh [BUILD_DIR] [SECONDS] [ROUNDS] [SIZE]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}; seconds=${2:-3}; rounds=${3:-5}; size=${4:-64}
port=$(( 44000 + RANDOM % 1000 )); sport=$(( port + 1 ))
work=$(mktemp -d); trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

source scripts/lib/stats.sh
source scripts/lib/wait_udp_port.sh

# Core placement as a command prefix (exec'd, so $! is the program's own pid).
responder_core=(); client_core=()
if [ "$(nproc)" -ge 2 ]; then responder_core=(taskset -c 0); client_core=(taskset -c 1); fi

"${responder_core[@]}" "$build/bin/reboundsrv" -h 127.0.0.1 -p "$port" -q > /dev/null &
wait_udp_port "$port" $!
"${responder_core[@]}" sockperf server -i 127.0.0.1 -p "$sport" > /dev/null 2>&1 &
wait_udp_port "$sport" $!

for round in $(seq "$rounds"); do
  "${client_core[@]}" "$build/bin/reboundcli" -h 127.0.0.1 -p "$port" -i 0 -q -t 1 -d "$seconds" \
    --sendsize "$size" --recvsize "$size" 2> /dev/null \
    | sed -n 's/.*, \([0-9.]*\) probes\/s$/\1/p' >> "$work/cli"
  "${client_core[@]}" sockperf ping-pong -i 127.0.0.1 -p "$sport" -m "$size" -t "$seconds" 2>&1 \
    | sed -n 's/.*RunTime=\([0-9.]*\) sec.*SentMessages=\([0-9]*\).*/\2 \1/p' \
    | awk '{printf "%.1f\n", $1 / $2}' >> "$work/sockperf"
  echo "round $round: reboundcli $(tail -1 "$work/cli")/s, sockperf $(tail -1 "$work/sockperf")/s"
done

cli=$(median < "$work/cli"); sp=$(median < "$work/sockperf")
echo
echo "| client (${size}-byte probes, unpaced) | median exchanges/s | ratio to sockperf |"
echo "|---|---|---|"
echo "| reboundcli -i 0 -q | $cli | $(ratio "$cli" "$sp") |"
echo "| sockperf ping-pong | $sp | 1.00 |"

if command -v strace > /dev/null; then
  probes=20000
  strace -c -o "$work/strace" "$build/bin/reboundcli" -h 127.0.0.1 -p "$port" -i 0 -q -t 1 \
    -c "$probes" --sendsize "$size" --recvsize "$size" > /dev/null 2>&1
  echo
  echo "system calls of one reboundcli probe (strace -c over $probes probes):"
  awk -v n="$probes" '$4 ~ /^[0-9]+$/ && $4 >= n / 2 {printf "  %s: %.2f\n", $NF, $4 / n}' \
    "$work/strace"
fi
