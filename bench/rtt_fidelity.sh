#!/usr/bin/env bash
# Median round-trip time of reboundcli (64-byte probes) against reboundsrv, next to sockperf
# ping-pong (--full-rtt) on the same loopback, side by side. Usage: bench/rtt_fidelity.sh [BUILD_DIR] [PROBES] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}; probes=${2:-2000}; rounds=${3:-3}
port=$(( 43000 + RANDOM % 1000 ))
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

rebound_us() {
  "$build/bin/reboundsrv" -h 127.0.0.1 -p "$port" > /dev/null & local srv=$!
  sleep 0.3
  "$build/bin/reboundcli" -h 127.0.0.1 -p "$port" -t 1 -c "$probes" --sendsize=64 --recvsize=64 \
    | grep 'rebound_connect():1 .*udp_recv' | sed 's/.* time=//' | awk '{print $1 * 1e6}' | median
  kill -TERM $srv; wait $srv 2>/dev/null || true
}

sockperf_us() {
  sockperf server -i 127.0.0.1 -p "$port" > /dev/null 2>&1 & local srv=$!
  sleep 0.3
  sockperf ping-pong -i 127.0.0.1 -p "$port" -m 64 -t 3 --full-rtt 2>&1 \
    | sed -n 's/.*percentile 50.000 = *//p' | awk '{print $1}'
  kill $srv; wait $srv 2>/dev/null || true
}

rs=(); ss=()
for round in $(seq "$rounds"); do
  r=$(rebound_us); s=$(sockperf_us)
  echo "round $round: reboundcli median RTT ${r} us, sockperf median RTT ${s} us"
  rs+=("$r"); ss+=("$s")
done
r=$(printf '%s\n' "${rs[@]}" | median); s=$(printf '%s\n' "${ss[@]}" | median)
echo
echo "| peer pair | median RTT (us) | ratio to sockperf |"
echo "|---|---|---|"
echo "| sockperf ping-pong | $s | 1.00 |"
echo "| reboundcli / reboundsrv | $r | $(awk -v a="$r" -v b="$s" 'BEGIN {printf "%.2f", a / b}') |"
