#!/usr/bin/env bash
# How long reboundcli takes to end after a stop request during an unpaced run (-i 0, 64-byte
# probes) against reboundsrv on 127.0.0.1: with its event lines going into a pipe nobody reads
# (the output takes nothing, so the run is blocked in a write), with its lines going to a file,
# and with -q --json FILE --openmetrics FILE once more than a late window of probes was sent (a
# whole window of records, the summary and the metrics are written after the stop; the earlier
# document is removed before each run, as freeing a large replaced file costs time of its own).
# Reports the median and the largest time from the signal to the process's end, in
# milliseconds, over ROUNDS stops of each kind, SIGINT and SIGTERM taking turns.
# Usage: bench/cli_stop.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/stats.sh
source scripts/lib/wait_udp_port.sh
build=${1:-build}; rounds=${2:-10}
port=$(( 46000 + RANDOM % 1000 ))
source scripts/lib/unread_fifo.sh

"$build/bin/reboundsrv" -h 127.0.0.1 -p "$port" -q > /dev/null 2>&1 & srv=$!
wait_udp_port "$port" $srv

stop_ms() { # signal, seconds of running before it, target of standard output, options
  local sig=$1 running=$2 target=$3; shift 3
  "$build/bin/reboundcli" -p "$port" -i 0 -d 3600 --sendsize=64 --recvsize=64 "$@" \
    > "$target" 2>/dev/null & local cli=$!
  sleep "$running"
  local t0 t1
  t0=$(date +%s%N)
  kill -"$sig" $cli
  wait $cli || true
  t1=$(date +%s%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.1f\n", (b - a) / 1e6}'
}

echo "| run when stopped | median stop (ms) | largest stop (ms) |"
echo "|---|---|---|"
for kind in blocked file json; do
  stops=$(for i in $(seq "$rounds"); do
    sig=INT; (( i % 2 )) || sig=TERM
    case $kind in
      blocked) stop_ms $sig 1 "$dir/fifo" ;;
      file) stop_ms $sig 1 "$dir/lines" ;;
      json) rm -f "$dir/run.json" # replacing a large earlier document would add its freeing
            stop_ms $sig 5 /dev/null -q --json "$dir/run.json" --openmetrics "$dir/run.prom" ;;
    esac
  done)
  label="lines into a pipe nobody reads"
  [ $kind = file ] && label="lines to a file"
  [ $kind = json ] && label="-q --json FILE --openmetrics FILE, window full"
  echo "| $label | $(median <<< "$stops") | $(largest <<< "$stops") |"
done
