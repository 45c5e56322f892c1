#!/usr/bin/env bash
# Echoes per second of reboundsrv next to a minimal recvfrom/sendto loop, all driven by the
# same load generator on 127.0.0.1 (SOCKETS client sockets, 16 probes in flight on each), side
# by side in every round: reboundsrv -q, with its lines going to a file and to /dev/null, and
# with two receive loops (-j 2).
# Usage: bench/responder_capacity.sh [BUILD_DIR] [SECONDS] [ROUNDS] [SOCKETS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}; seconds=${2:-5}; rounds=${3:-3}; sockets=${4:-4}; window=16
port=$(( 42000 + RANDOM % 1000 ))
out=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$out"' EXIT

measure() { # label, command...
  local label=$1; shift
  "$@" & local pid=$!
  sleep 0.3
  local r; r=$("$build/bench/echo_load" "$port" "$seconds" "$window" "$sockets")
  kill -TERM $pid; wait $pid 2>/dev/null || true
  rm -f "$out/srv.log"
  echo "$label ${r#echoes_per_second=}" | awk '{print $1, $2}'
}

labels=(min_echo quiet file null threads2_quiet threads2_file)
declare -A sum
for round in $(seq "$rounds"); do
  while read -r label value; do
    echo "round $round: $label $value echoes/s"
    sum[$label]="${sum[$label]:-} $value"
  done < <(
    measure min_echo "$build/bench/min_echo" "$port"
    measure quiet sh -c "exec $build/bin/reboundsrv -h 127.0.0.1 -p $port -q > /dev/null 2>&1"
    measure file sh -c "exec $build/bin/reboundsrv -h 127.0.0.1 -p $port > $out/srv.log 2>/dev/null"
    measure null sh -c "exec $build/bin/reboundsrv -h 127.0.0.1 -p $port > /dev/null 2>&1"
    measure threads2_quiet sh -c "exec $build/bin/reboundsrv -h 127.0.0.1 -p $port -q -j 2 > /dev/null 2>&1"
    measure threads2_file sh -c "exec $build/bin/reboundsrv -h 127.0.0.1 -p $port -j 2 > $out/srv.log 2>/dev/null"
  )
done

median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
base=$(echo "${sum[min_echo]}" | median)
echo
echo "| responder | median echoes/s | ratio to min_echo |"
echo "|---|---|---|"
for label in "${labels[@]}"; do
  m=$(echo "${sum[$label]}" | median)
  echo "| $label | $m | $(awk -v a="$m" -v b="$base" 'BEGIN {printf "%.2f", a / b}') |"
done
