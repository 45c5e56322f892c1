#!/usr/bin/env bash
# What reboundcli's reports cost per probe, and how fast an unpaced run (-i 0) goes next to
# sockperf ping-pong, side by side against responders on the same loopback.
# Usage: bench/cli_reports_cost.sh [BUILD_DIR] [PROBES] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}; probes=${2:-20000}; rounds=${3:-5}
port=$(( 44000 + RANDOM % 1000 ))
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# Variants of one unpaced run: name and the options it adds.
names=(plain summary json quiet quiet_json)
declare -A extra=(
  [plain]=""
  [summary]="-s"
  [json]="--json $work/run.json"
  [quiet]="-q"
  [quiet_json]="-q --json $work/run.json"
)

# Wall time of one run in microseconds per probe (process start and exit included, which is
# spread over PROBES probes); standard output to /dev/null.
per_probe_us() { # variant
  local t0 t1
  t0=$(date +%s%N)
  # shellcheck disable=SC2086
  "$build/bin/reboundcli" -h 127.0.0.1 -p "$port" -t 1 -c "$probes" -i 0 --sendsize=64 \
    --recvsize=64 ${extra[$1]} > /dev/null
  t1=$(date +%s%N)
  awk -v ns=$(( t1 - t0 )) -v n="$probes" 'BEGIN {printf "%.3f", ns / 1000 / n}'
}

sockperf_per_second() {
  sockperf server -i 127.0.0.1 -p "$port" > /dev/null 2>&1 & local srv=$!
  sleep 0.3
  sockperf ping-pong -i 127.0.0.1 -p "$port" -m 64 -t 3 2>&1 \
    | sed -n 's/.*RunTime=\([0-9.]*\) sec; SentMessages=[0-9]*; ReceivedMessages=\([0-9]*\).*/\1 \2/p' \
    | awk '{printf "%.0f", $2 / $1}'
  kill $srv; wait $srv 2>/dev/null || true
}

declare -A results
for round in $(seq "$rounds"); do
  "$build/bin/reboundsrv" -h 127.0.0.1 -p "$port" > /dev/null & srv=$!
  sleep 0.3
  line="round $round:"
  for v in "${names[@]}"; do
    us=$(per_probe_us "$v")
    results[$v]+="$us "
    line+=" $v ${us} us/probe,"
  done
  kill -TERM $srv; wait $srv 2>/dev/null || true
  s=$(sockperf_per_second)
  results[sockperf]+="$s "
  echo "$line sockperf ${s}/s"
done

med() { tr ' ' '\n' <<< "${results[$1]}" | grep -v '^$' | median; }
rate() { awk -v us="$1" 'BEGIN {printf "%.0f", 1e6 / us}'; }
diff_us() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%+.3f", a - b}'; }
plain=$(med plain); quiet=$(med quiet); sock=$(med sockperf)
echo
echo "| reboundcli -i 0, $probes probes | us per probe | cost next to its base | probes/s |"
echo "|---|---|---|---|"
echo "| event lines (plain run) | $plain | base | $(rate "$plain") |"
echo "| event lines + -s | $(med summary) | $(diff_us "$(med summary)" "$plain") | $(rate "$(med summary)") |"
echo "| event lines + --json FILE | $(med json) | $(diff_us "$(med json)" "$plain") | $(rate "$(med json)") |"
echo "| -q (summary, no lines) | $quiet | $(diff_us "$quiet" "$plain") | $(rate "$quiet") |"
echo "| -q --json FILE | $(med quiet_json) | $(diff_us "$(med quiet_json)" "$quiet") next to -q | $(rate "$(med quiet_json)") |"
echo
echo "| unpaced round trips, 64 bytes | exchanges/s | ratio to sockperf |"
echo "|---|---|---|"
echo "| sockperf ping-pong (3 s) | $sock | 1.00 |"
for v in plain quiet; do
  r=$(rate "$(med $v)")
  echo "| reboundcli -i 0 ($v) | $r | $(awk -v a="$r" -v b="$sock" 'BEGIN {printf "%.2f", a / b}') |"
done
