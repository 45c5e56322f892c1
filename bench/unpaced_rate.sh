#!/usr/bin/env bash
# Unpaced exchanges a second on loopback, side by side: reboundcli -i 0 -q against reboundsrv
# alternates with sockperf ping-pong against its own server, same probe size, each client on
# core 1 and each responder on core 0 (where the machine has two cores); reboundcli also with
# its busy wait off, and each client's processor time per exchange. Then the system calls one
# reboundcli probe costs, with and without its busy wait (perf stat, or strace -c, over a
# separate run).
# Usage: bench/unpaced_rate.sh [BUILD_DIR] [SECONDS] [ROUNDS] [SIZE]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}; seconds=${2:-3}; rounds=${3:-5}; size=${4:-64}
port=$(( 44000 + RANDOM % 1000 )); sport=$(( port + 1 ))
work=$(mktemp -d); trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

source scripts/lib/stats.sh
source scripts/lib/wait_udp_port.sh

source scripts/lib/core_placement.sh

"${responder_core[@]}" "$build/bin/reboundsrv" -h 127.0.0.1 -p "$port" -q > /dev/null &
wait_udp_port "$port" $!
"${responder_core[@]}" sockperf server -i 127.0.0.1 -p "$sport" > /dev/null 2>&1 &
wait_udp_port "$sport" $!

# client_cpu COMMAND...: runs the client, then prints its processor seconds (user + system) on
# standard error's last line, after the client's own output.
client_cpu() {
  ( "$@"; times ) 2>&1 | awk 'NR > 1 && /^[0-9]+m[0-9.]+s [0-9]+m[0-9.]+s$/ { last = $0 } { lines[NR] = $0 }
    END { for (i = 1; i < NR - 1; i++) print lines[i]; split(last, t, /[ms]+/); printf "cpu %.6f\n", t[1] * 60 + t[2] + t[3] * 60 + t[4] }'
}
# reboundcli_round FILE OPTIONS...: one round of reboundcli, "exchanges/s cpu-us-per-exchange".
reboundcli_round() {
  local file=$1; shift
  client_cpu "${client_core[@]}" "$build/bin/reboundcli" -h 127.0.0.1 -p "$port" -i 0 -q -t 1 \
      -d "$seconds" --sendsize "$size" --recvsize "$size" "$@" \
    | awk -v s="$seconds" '/probes\/s$/ { rate = $(NF - 1) } /^cpu / { cpu = $2 }
        END { printf "%s %.2f\n", rate, cpu / (rate * s) * 1e6 }' >> "$file"
}

for round in $(seq "$rounds"); do
  reboundcli_round "$work/cli"
  reboundcli_round "$work/cli_sleeping" --busy-wait 0
  client_cpu "${client_core[@]}" sockperf ping-pong -i 127.0.0.1 -p "$sport" -m "$size" -t "$seconds" \
    | awk '/RunTime=/ { match($0, /RunTime=[0-9.]+/); t = substr($0, RSTART + 8, RLENGTH - 8)
                        match($0, /SentMessages=[0-9]+/); n = substr($0, RSTART + 13, RLENGTH - 13) }
           /^cpu / { cpu = $2 } END { printf "%.1f %.2f\n", n / t, cpu / n * 1e6 }' >> "$work/sockperf"
  echo "round $round: reboundcli $(tail -1 "$work/cli" | cut -d' ' -f1)/s," \
    "with --busy-wait 0 $(tail -1 "$work/cli_sleeping" | cut -d' ' -f1)/s," \
    "sockperf $(tail -1 "$work/sockperf" | cut -d' ' -f1)/s"
done

column() { cut -d' ' -f"$1" "$2" | median; }
sp=$(column 1 "$work/sockperf")
echo
echo "| client (${size}-byte probes, unpaced) | median exchanges/s | ratio to sockperf | client CPU us/exchange |"
echo "|---|---|---|---|"
row() { echo "| $1 | $(column 1 "$2") | $(ratio "$(column 1 "$2")" "$sp") | $(column 2 "$2") |"; }
row "reboundcli -i 0 -q (busy wait 50 us)" "$work/cli"
row "reboundcli -i 0 -q --busy-wait 0" "$work/cli_sleeping"
row "sockperf ping-pong" "$work/sockperf"

# The system calls of one probe. perf counts them without slowing the run down; under strace
# every call is so slow that each echo is already there at the first look, and the busy wait's
# extra looks do not show.
probes=200000
if command -v perf > /dev/null && perf stat -e syscalls:sys_enter_sendto true > /dev/null 2>&1; then
  for busy in default 0; do
    option=(); [ "$busy" = default ] || option=(--busy-wait "$busy")
    perf stat -x, -o "$work/perf" -e syscalls:sys_enter_sendto,syscalls:sys_enter_recvmsg,syscalls:sys_enter_sched_yield \
      "${client_core[@]}" "$build/bin/reboundcli" -h 127.0.0.1 -p "$port" -i 0 -q -t 1 -c "$probes" \
      --sendsize "$size" --recvsize "$size" "${option[@]}" > /dev/null 2>&1
    echo
    echo "system calls of one reboundcli probe, busy wait $busy (perf stat over $probes probes):"
    awk -F, -v n="$probes" '$3 ~ /sys_enter_/ {sub(/.*sys_enter_/, "", $3); printf "  %s: %.2f\n", $3, $1 / n}' "$work/perf"
  done
elif command -v strace > /dev/null; then
  probes=20000
  strace -c -o "$work/strace" "$build/bin/reboundcli" -h 127.0.0.1 -p "$port" -i 0 -q -t 1 \
    -c "$probes" --sendsize "$size" --recvsize "$size" > /dev/null 2>&1
  echo
  echo "system calls of one reboundcli probe (strace -c over $probes probes):"
  awk -v n="$probes" '$4 ~ /^[0-9]+$/ && $4 >= n / 2 {printf "  %s: %.2f\n", $NF, $4 / n}' \
    "$work/strace"
fi
