#!/usr/bin/env bash
# One rebound_exporter probing N targets (N = 10, 100, 1000 addresses in 127.0.0.0/8, one
# reboundsrv bound to the wildcard address answering them all) at one probe per target per
# second, against Debian's prometheus-smokeping-prober pinging the same addresses at the same
# rate (ICMP, which the kernel answers). Per prober and N: CPU seconds per 1000 probes (the
# prober process alone, from schedstat, with a scrape every 2 s), resident memory at the end,
# and for the exporter the send lateness: p99 and largest of the per-target latest-lateness gauges pooled over a scrape
# every 2 s, and the p99 bound from its fleet-wide lateness histogram (edges in 1, 2, 5 steps);
# beside it, over the same seconds, the machine's own timer floor (bench/timer_wakeup, p99 of a
# bare timed wait every millisecond). At the largest N the exporter runs a second time with its
# probing thread at a real-time priority (--sched-priority 10).
# Usage: bench/exporter_scale.sh [BUILD_DIR] [SECONDS] [COUNTS]   (default build 30 "10 100 1000")
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}"); seconds=${2:-30}; counts=${3:-10 100 1000}
port=$(( 47000 + RANDOM % 1000 ))
work=$(mktemp -d); trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
prober=prometheus-smokeping-prober
command -v "$prober" > /dev/null ||
  { echo "exporter_scale: $prober is missing (apt-get install $prober)" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "exporter_scale: $prober needs root for ICMP sockets" >&2; exit 1; }

# The system's own interpreter: a version manager's shim on PATH would run a shell or two before
# every scrape, processor time the rig would take from the probers it measures.
python=$(command -v /usr/bin/python3 || command -v python3)

source scripts/lib/stats.sh
source scripts/lib/wait_udp_port.sh

# address K (0-based): 127.0.0.1, 127.0.0.2, ... 250 to a /24.
address() { echo "127.0.$(( $1 / 250 )).$(( $1 % 250 + 1 ))"; }
resident_mib() { awk '/^VmRSS:/ {printf "%.1f", $2 / 1024}' /proc/"$1"/status; }

# scrape URL MODE: sum NAME (the sum of every sample of NAME), gauges NAME (each value on its
# own line), buckets NAME (each bucket of the histogram NAME as "le count").
scrape() {
  # Fetched by Python, read by awk: parsing a 1000-target scrape (about 10 MiB) in Python took
  # about a second of processor time, which the rig then took from the probers it measures.
  "$python" -c 'import sys, urllib.request
sys.stdout.buffer.write(urllib.request.urlopen(sys.argv[1], timeout=30).read())' "$1" |
    awk -v mode="$2" -v name="$3" '
      { metric = $1; sub(/[{].*/, "", metric) }
      metric != name || /^#/ { next }
      mode == "sum" { sum += $NF }
      mode == "gauges" { print $NF }
      mode == "buckets" { match($0, /le="[^"]+"/); print substr($0, RSTART + 4, RLENGTH - 5), $NF }
      END { if (mode == "sum") printf "%.17g\n", sum }'
}
# p99 bound of the difference of two bucket dumps ("le count" lines).
p99_between() {
  join <(sort "$1") <(sort "$2") | awk '{le = ($1 == "+Inf") ? 1e9 : $1; print le, $3 - $2}' |
    sort -g | awk '{le[NR] = $1; c[NR] = $2} END {for (i = 1; i <= NR; i++) if (c[i] >= 0.99 * c[NR]) {print le[i]; exit}}'
}
# wait_http URL PID: until the URL answers, or fails once PID has ended.
wait_http() {
  until "$python" -c "import urllib.request, sys; urllib.request.urlopen(sys.argv[1], timeout=5)" "$1" 2> /dev/null; do
    kill -0 "$2" 2> /dev/null || { echo "exporter_scale: process $2 ended" >&2; return 1; }
    sleep 0.1
  done
}

"$build/bin/reboundsrv" -p "$port" -q > /dev/null 2>&1 &
srv=$!; wait_udp_port "$port" $srv

printf '%-18s %6s %14s %8s %12s %12s %12s %14s\n' prober targets "CPU s/1000" "RSS MiB" \
  "p99 late us" "max late us" "hist p99 us" "floor p99 us"
# exporter_row N LABEL OPTIONS...: one rebound_exporter (with OPTIONS) probing the N targets
# of targets.yml, measured and printed as one row.
exporter_row() {
  local n=$1 label=$2; shift 2
  "$build/bin/rebound_exporter" --listen 127.0.0.1:0 --config "$work/targets.yml" "$@" \
    > "$work/exporter.out" 2> "$work/exporter.err" &
  exporter=$!
  until grep -q '/metrics' "$work/exporter.out"; do
    kill -0 $exporter 2> /dev/null || { cat "$work/exporter.err" >&2; exit 1; }
    sleep 0.05
  done
  url=$(grep -o 'http://[0-9.:]*/metrics' "$work/exporter.out")
  sleep 3 # every target past its first probe
  sent0=$(scrape "$url" sum rebound_probes_sent_total); cpu0=$(cpu_of $exporter)
  scrape "$url" buckets rebound_exporter_send_lateness_seconds_bucket > "$work/b0"
  : > "$work/late"
  # The machine's own floor over the same seconds, at the same load: a bare timed wait every
  # millisecond (bench/timer_wakeup), beside the exporter rather than after it.
  "$build/bench/timer_wakeup" $(( seconds * 1000 )) 0.001 > "$work/floor" &
  floor=$!
  for ((t = 0; t < seconds; t += 2)); do
    sleep 2
    scrape "$url" gauges rebound_send_lateness_seconds >> "$work/late"
  done
  sent1=$(scrape "$url" sum rebound_probes_sent_total); cpu1=$(cpu_of $exporter)
  scrape "$url" buckets rebound_exporter_send_lateness_seconds_bucket > "$work/b1"
  rss=$(resident_mib $exporter)
  wait $floor
  floor_p99=$(awk '{printf "%.0f", $2 * 1e3}' "$work/floor")
  kill $exporter; wait $exporter || true
  [ ! -s "$work/exporter.err" ] || sed "s/^/exporter: /" "$work/exporter.err" >&2
  late_p99=$(sort -g "$work/late" | awk '{a[NR] = $1} END {printf "%.0f", a[int(NR * 0.99 + 0.5)] * 1e6}')
  late_max=$(sort -g "$work/late" | awk 'END {printf "%.0f", $1 * 1e6}')
  hist_p99=$(awk -v s="$(p99_between "$work/b0" "$work/b1")" 'BEGIN {printf "%.0f", s * 1e6}')
  per_k=$(awk -v c="$cpu0" -v d="$cpu1" -v a="$sent0" -v b="$sent1" 'BEGIN {printf "%.4f", (d - c) / (b - a) * 1000}')
  printf '%-18s %6d %14s %8s %12s %12s %12s %14s\n' "$label" "$n" "$per_k" "$rss" \
    "$late_p99" "$late_max" "$hist_p99" "$floor_p99"
}

for n in $counts; do
  { echo "targets:"; for ((k = 0; k < n; k++)); do
      echo "  - {host: $(address $k), port: $port, period: 1}"; done; } > "$work/targets.yml"
  exporter_row "$n" rebound_exporter
  # The probing thread at a real-time priority, as a host busy with other work would run it.
  # (Left out where this machine allows no real-time scheduling.)
  if [ "$n" = "${counts##* }" ] && chrt -f 10 true 2> /dev/null; then
    exporter_row "$n" "  --sched-prio 10" --sched-priority 10
  fi

  sport=$(( port + 1 ))
  { echo "targets:"; echo "- hosts:"; for ((k = 0; k < n; k++)); do echo "  - $(address $k)"; done
    echo "  interval: 1s"; echo "  network: ip4"; echo "  protocol: icmp"; } > "$work/smokeping.yml"
  "$prober" --privileged --config.file="$work/smokeping.yml" \
    --web.listen-address="127.0.0.1:$sport" > "$work/prober.log" 2>&1 &
  sp=$!
  wait_http "http://127.0.0.1:$sport/metrics" $sp
  sleep 3 # the prober spreads its pingers' starts over one interval
  surl="http://127.0.0.1:$sport/metrics"
  sent0=$(scrape "$surl" sum smokeping_requests_total); cpu0=$(cpu_of $sp)
  # Scraped as often as the exporter, so both CPU figures hold the same scrape work.
  for ((t = 0; t < seconds; t += 2)); do
    sleep 2
    scrape "$surl" gauges smokeping_requests_total > /dev/null
  done
  sent1=$(scrape "$surl" sum smokeping_requests_total); cpu1=$(cpu_of $sp)
  rss=$(resident_mib $sp)
  kill $sp; wait $sp || true
  per_k=$(awk -v c="$cpu0" -v d="$cpu1" -v a="$sent0" -v b="$sent1" 'BEGIN {printf "%.4f", (d - c) / (b - a) * 1000}')
  printf '%-18s %6d %14s %8s %12s %12s %12s %14s\n' smokeping_prober "$n" "$per_k" "$rss" - - - -
done
