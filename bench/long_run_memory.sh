#!/usr/bin/env bash
# Resident size of a long unpaced run: reboundcli -i 0 -q -d SECONDS against reboundsrv -q on
# loopback, its VmRSS read after the first minute and at the end (just before the run stops),
# with and without --json. Equal within 10 % is the goal: nothing per probe is kept.
# Usage: bench/long_run_memory.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}; seconds=${2:-600}
first=60; (( seconds > first + 5 )) || { echo "SECONDS must exceed $((first + 5))" >&2; exit 2; }
port=$(( 45000 + RANDOM % 1000 ))
work=$(mktemp -d); trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
source scripts/lib/wait_udp_port.sh

"$build/bin/reboundsrv" -h 127.0.0.1 -p "$port" -q > /dev/null 2>&1 & wait_udp_port "$port" $!
rss() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

echo "| run (-i 0 -q -d $seconds) | RSS after ${first} s (KiB) | RSS at the end (KiB) | growth |"
echo "|---|---|---|---|"
for extra in "" "--json $work/run.json"; do
  # shellcheck disable=SC2086 # the extra options are meant to split
  "$build/bin/reboundcli" -h 127.0.0.1 -p "$port" -i 0 -q -t 1 -d "$seconds" $extra \
    --sendsize 64 --recvsize 64 > "$work/summary" 2>&1 &
  pid=$!
  sleep "$first"; at_first=$(rss $pid)
  sleep $(( seconds - first - 5 )); at_end=$(rss $pid)
  wait $pid
  label=plain; [ -z "$extra" ] || label="--json FILE"
  echo "| $label | $at_first | $at_end |" \
       "$(awk -v a="$at_first" -v b="$at_end" 'BEGIN {printf "%+.1f %%", 100 * (b - a) / a}') |"
  grep 'probes sent' "$work/summary" | sed 's/^/  /'
done
