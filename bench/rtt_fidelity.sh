#!/usr/bin/env bash
# Median round-trip time of reboundcli (64-byte probes) against reboundsrv, next to sockperf
# ping-pong (--full-rtt) on the same loopback, side by side. Usage: bench/rtt_fidelity.sh [BUILD_DIR] [PROBES] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}; probes=${2:-2000}; rounds=${3:-3}
port=$(( 43000 + RANDOM % 1000 ))
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# Two medians of one run: the round-trip time reboundcli reports (timed from after the send
# line is printed, so the send itself is not in it), and that time plus the probe's send time.
rebound_us() {
  "$build/bin/reboundsrv" -h 127.0.0.1 -p "$port" > /dev/null & local srv=$!
  sleep 0.3
  local lines; lines=$(mktemp)
  "$build/bin/reboundcli" -h 127.0.0.1 -p "$port" -t 1 -c "$probes" --sendsize=64 --recvsize=64 \
    | grep 'rebound_connect():1 .*time=' | sed 's/.*udp_\(send\|recv\).* time=/\1 /' > "$lines"
  kill -TERM $srv; wait $srv 2>/dev/null || true
  local rtt with_send
  rtt=$(awk '$1 == "recv" {print $2 * 1e6}' "$lines" | median)
  with_send=$(awk '$1 == "send" {s = $2} $1 == "recv" {print (s + $2) * 1e6}' "$lines" | median)
  rm -f "$lines"
  echo "$rtt $with_send"
}

sockperf_us() {
  sockperf server -i 127.0.0.1 -p "$port" > /dev/null 2>&1 & local srv=$!
  sleep 0.3
  sockperf ping-pong -i 127.0.0.1 -p "$port" -m 64 -t 3 --full-rtt 2>&1 \
    | sed -n 's/.*percentile 50.000 = *//p' | awk '{print $1}'
  kill $srv; wait $srv 2>/dev/null || true
}

rs=(); ws=(); ss=()
for round in $(seq "$rounds"); do
  read -r r w < <(rebound_us); s=$(sockperf_us)
  echo "round $round: reboundcli median RTT ${r} us (with send ${w} us), sockperf median RTT ${s} us"
  rs+=("$r"); ws+=("$w"); ss+=("$s")
done
r=$(printf '%s\n' "${rs[@]}" | median); w=$(printf '%s\n' "${ws[@]}" | median)
s=$(printf '%s\n' "${ss[@]}" | median)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
echo
echo "| measurement | median RTT (us) | ratio to sockperf |"
echo "|---|---|---|"
echo "| sockperf ping-pong --full-rtt | $s | 1.00 |"
echo "| reboundcli time= (from after the send line) | $r | $(ratio "$r" "$s") |"
echo "| reboundcli send time + time= | $w | $(ratio "$w" "$s") |"
