#!/usr/bin/env bash
# How long reboundsrv takes to end after SIGTERM while the load generator floods it on
# 127.0.0.1: with its lines going to a file, and with them going into a pipe that nobody reads
# (the output takes nothing). Reports the median and the largest time from the signal to the
# process's end, in milliseconds, over ROUNDS stops of each kind.
# Usage: bench/responder_stop.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/stats.sh
source scripts/lib/wait_udp_port.sh
build=${1:-build}; rounds=${2:-10}
port=$(( 44000 + RANDOM % 1000 ))
source scripts/lib/unread_fifo.sh

stop_ms() { # target of standard output
  "$build/bin/reboundsrv" -h 127.0.0.1 -p "$port" > "$1" 2>/dev/null & local srv=$!
  wait_udp_port "$port" $srv
  "$build/bench/echo_load" "$port" 30 64 4 > /dev/null & local load=$!
  sleep 1 # flooded long enough for a blocked output to be full
  local t0 t1
  t0=$(date +%s%N)
  kill -TERM $srv
  wait $srv || true
  t1=$(date +%s%N)
  kill $load; wait $load 2>/dev/null || true
  rm -f "$dir/srv.log"
  awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.1f\n", (b - a) / 1e6}'
}

echo "| output during the flood | median stop (ms) | largest stop (ms) |"
echo "|---|---|---|"
for kind in file blocked; do
  target="$dir/srv.log"; [ "$kind" = blocked ] && target="$dir/fifo"
  stops=$(for i in $(seq "$rounds"); do stop_ms "$target"; done)
  echo "| $kind | $(median <<< "$stops") | $(largest <<< "$stops") |"
done
