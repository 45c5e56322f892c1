#!/usr/bin/env bash
# Echoes per second of reboundsrv next to a minimal recvfrom/sendto loop, all driven by the
# same load generator on 127.0.0.1 (SOCKETS client sockets, 16 probes in flight on each), side
# by side in every round: reboundsrv -q, with its lines going to a file and to /dev/null, and
# with two receive loops (-j 2). Next to the rate, the echoes per CPU second the responder
# process used (all its threads): on a machine shared with other work the rate follows the CPU
# the load generator and the responder get, the cost per echo does not.
# Usage: bench/responder_capacity.sh [BUILD_DIR] [SECONDS] [ROUNDS] [SOCKETS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/stats.sh
source scripts/lib/wait_udp_port.sh
build=${1:-build}; seconds=${2:-5}; rounds=${3:-3}; sockets=${4:-4}; window=16
port=$(( 42000 + RANDOM % 1000 ))
out=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$out"' EXIT

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; } # user + system, all threads

measure() { # label, command... (the command execs the responder, keeping its pid)
  local label=$1; shift
  "$@" & local pid=$!
  wait_udp_port "$port" $pid
  local before r after
  before=$(cpu_ticks $pid)
  r=$("$build/bench/echo_load" "$port" "$seconds" "$window" "$sockets")
  after=$(cpu_ticks $pid)
  kill -TERM $pid; wait $pid 2>/dev/null || true
  rm -f "$out/srv.log"
  # "echoes_per_second=R echoes=N ..." -> label, rate, echoes per CPU second
  echo "$label $r" | tr '=' ' ' | awk -v t="$((after - before))" -v hz="$ticks" \
    '{printf "%s %s %.0f\n", $1, $3, (t > 0 ? $5 / (t / hz) : 0)}'
}

labels=(min_echo quiet file null threads2_quiet threads2_file)
declare -A sum per_cpu
for round in $(seq "$rounds"); do
  while read -r label value cpu; do
    echo "round $round: $label $value echoes/s, $cpu echoes per CPU second"
    sum[$label]="${sum[$label]:-} $value"
    per_cpu[$label]="${per_cpu[$label]:-} $cpu"
  done < <(
    measure min_echo "$build/bench/min_echo" "$port"
    measure quiet sh -c "exec $build/bin/reboundsrv -h 127.0.0.1 -p $port -q > /dev/null 2>&1"
    measure file sh -c "exec $build/bin/reboundsrv -h 127.0.0.1 -p $port > $out/srv.log 2>/dev/null"
    measure null sh -c "exec $build/bin/reboundsrv -h 127.0.0.1 -p $port > /dev/null 2>&1"
    measure threads2_quiet sh -c "exec $build/bin/reboundsrv -h 127.0.0.1 -p $port -q -j 2 > /dev/null 2>&1"
    measure threads2_file sh -c "exec $build/bin/reboundsrv -h 127.0.0.1 -p $port -j 2 > $out/srv.log 2>/dev/null"
  )
done

base=$(echo "${sum[min_echo]}" | median)
base_cpu=$(echo "${per_cpu[min_echo]}" | median)
echo
echo "| responder | median echoes/s | ratio | median echoes per CPU second | ratio |"
echo "|---|---|---|---|---|"
for label in "${labels[@]}"; do
  m=$(echo "${sum[$label]}" | median)
  c=$(echo "${per_cpu[$label]}" | median)
  echo "| $label | $m | $(ratio "$m" "$base") | $c | $(ratio "$c" "$base_cpu") |"
done
