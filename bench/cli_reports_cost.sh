#!/usr/bin/env bash
# What reboundcli's reports cost per probe, and how fast an unpaced run (-i 0) goes next to
# sockperf ping-pong, side by side on the same loopback.
# Usage: bench/cli_reports_cost.sh [BUILD_DIR] [PROBES] [ROUNDS]
#
# Cost: reboundcli's own processor time (user + system) per probe, in unpaced runs of PROBES
# 64-byte probes against reboundsrv, for each set of reports; every round runs every set once.
# Rate: exchanges per second of reboundcli -i 0 -q against a minimal echo loop (min_echo) and
# against reboundsrv, next to sockperf ping-pong (unpaced, 3 s) against its own server.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/stats.sh
source scripts/lib/wait_udp_port.sh
build=${1:-build}; probes=${2:-20000}; rounds=${3:-5}
port=$(( 44000 + RANDOM % 1000 ))
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT


names=(plain summary json quiet quiet_json)
declare -A extra=(
  [plain]=""
  [summary]="-s"
  [json]="--json $work/run.json"
  [quiet]="-q"
  [quiet_json]="-q --json $work/run.json"
)

# One unpaced run with standard output to /dev/null: "wall_us cpu_us" per probe.
run_us() { # extra options...
  local TIMEFORMAT='%3R %3U %3S' real user sys
  # shellcheck disable=SC2068
  { time "$build/bin/reboundcli" -h 127.0.0.1 -p "$port" -t 1 -c "$probes" -i 0 \
      --sendsize=64 --recvsize=64 $@ > /dev/null ; } 2> "$work/time"
  read -r real user sys < "$work/time"
  awk -v r="$real" -v u="$user" -v s="$sys" -v n="$probes" \
    'BEGIN {printf "%.3f %.3f\n", r * 1e6 / n, (u + s) * 1e6 / n}'
}

start_responder() { # command...
  "$@" > /dev/null 2>&1 & responder=$!
  wait_udp_port "$port" $responder
}
stop_responder() { kill "$responder"; wait "$responder" 2>/dev/null || true; }

sockperf_per_second() {
  start_responder sockperf server -i 127.0.0.1 -p "$port"
  sockperf ping-pong -i 127.0.0.1 -p "$port" -m 64 -t 3 2>&1 \
    | sed -n 's/.*RunTime=\([0-9.]*\) sec; SentMessages=[0-9]*; ReceivedMessages=\([0-9]*\).*/\1 \2/p' \
    | awk '{printf "%.0f", $2 / $1}'
  stop_responder
}

declare -A wall cpu rate
for round in $(seq "$rounds"); do
  start_responder "$build/bin/reboundsrv" -h 127.0.0.1 -p "$port"
  line="round $round:"
  for v in "${names[@]}"; do
    read -r w c < <(run_us ${extra[$v]})
    wall[$v]+="$w "; cpu[$v]+="$c "
    line+=" $v ${c} us cpu/probe,"
  done
  stop_responder

  start_responder "$build/bench/min_echo" "$port"
  read -r w c < <(run_us -q)
  rate[min_echo]+="$(awk -v w="$w" 'BEGIN {printf "%.0f", 1e6 / w}') "
  stop_responder

  s=$(sockperf_per_second)
  rate[sockperf]+="$s "
  echo "$line sockperf ${s}/s"
done

med() { local -n table=$1; tr ' ' '\n' <<< "${table[$2]}" | grep -v '^$' | median; }
delta() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%+.2f", a - b}'; }
echo
echo "| reboundcli -i 0, $probes probes | cpu us/probe | cost | wall us/probe |"
echo "|---|---|---|---|"
base=$(med cpu plain)
echo "| event lines (plain run) | $base | base | $(med wall plain) |"
echo "| event lines + -s | $(med cpu summary) | $(delta "$(med cpu summary)" "$base") | $(med wall summary) |"
echo "| event lines + --json FILE | $(med cpu json) | $(delta "$(med cpu json)" "$base") | $(med wall json) |"
echo "| -q (summary, no lines) | $(med cpu quiet) | $(delta "$(med cpu quiet)" "$base") | $(med wall quiet) |"
echo "| -q --json FILE | $(med cpu quiet_json) | $(delta "$(med cpu quiet_json)" "$(med cpu quiet)") next to -q | $(med wall quiet_json) |"
echo
sock=$(med rate sockperf)
echo "| unpaced exchanges, 64 bytes | per second | ratio to sockperf |"
echo "|---|---|---|"
echo "| sockperf ping-pong against sockperf server | $sock | 1.00 |"
echo "| reboundcli -i 0 -q against min_echo | $(med rate min_echo) | $(ratio "$(med rate min_echo)" "$sock") |"
q=$(awk -v w="$(med wall quiet)" 'BEGIN {printf "%.0f", 1e6 / w}')
echo "| reboundcli -i 0 -q against reboundsrv | $q | $(ratio "$q" "$sock") |"
