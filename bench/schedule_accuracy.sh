#!/usr/bin/env bash
# Probing on a clock, side by side with irtt on loopback: reboundcli --period alternates with
# irtt client -i (same period, 64-byte probes, both timing round trips by a user-space reading),
# each against its own responder (reboundsrv, irtt server -i 0) on core 0, the clients on core 1.
# Per tool: send lateness (reboundcli: median, p99 and largest of each send minus its slot;
# irtt: its timer error, mean and largest), slots missed, round-trip median and p99, and CPU
# seconds per 10,000 probes of client and responder. Then the shortest period each keeps
# without missing a slot.
# Usage: bench/schedule_accuracy.sh [BUILD_DIR] [SECONDS] [ROUNDS] [PERIOD]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}; seconds=${2:-10}; rounds=${3:-3}; period=${4:-0.001}
port=$(( 46000 + RANDOM % 1000 )); iport=$(( port + 1 ))
work=$(mktemp -d); trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
command -v irtt > /dev/null || { echo "schedule_accuracy: irtt is missing (apt-get install irtt)" >&2; exit 1; }

source scripts/lib/stats.sh
source scripts/lib/wait_udp_port.sh

source scripts/lib/core_placement.sh

"${responder_core[@]}" "$build/bin/reboundsrv" -h 127.0.0.1 -p "$port" -q > /dev/null 2>&1 &
srv=$!; wait_udp_port "$port" $srv
"${responder_core[@]}" irtt server -b "127.0.0.1:$iport" -i 0 > /dev/null 2>&1 &
isrv=$!; wait_udp_port "$iport" $isrv

# Runs a command and prints its own CPU seconds (its rusage) on the last line of $work/cpu.
timed() { python3 -c '
import os, resource, sys
pid = os.fork()
if pid == 0:
    os.execvp(sys.argv[1], sys.argv[1:])
_, status, ru = os.wait4(pid, 0)
print(ru.ru_utime + ru.ru_stime, file=open(os.environ["CPU_OUT"], "a"))
sys.exit(os.waitstatus_to_exitcode(status))' "$@"; }
export CPU_OUT

ms_interval=$(awk -v p="$period" 'BEGIN {printf "%gus", p * 1e6}')
for round in $(seq "$rounds"); do
  before=$(cpu_of $srv)
  CPU_OUT=$work/cli.cpu timed "${client_core[@]}" "$build/bin/reboundcli" -h 127.0.0.1 -p "$port" \
    --period "$period" -d "$seconds" -t 1 -q --user-clock --sendsize 64 --recvsize 64 \
    > "$work/cli.$round" 2>&1
  echo "$before $(cpu_of $srv)" | awk '{print $2 - $1}' >> "$work/srv.cpu"
  before=$(cpu_of $isrv)
  CPU_OUT=$work/irtt.cpu timed "${client_core[@]}" irtt client -i "$ms_interval" -d "${seconds}s" \
    -l 64 -Q -o "$work/irtt.$round.json" "127.0.0.1:$iport" > /dev/null 2>&1
  echo "$before $(cpu_of $isrv)" | awk '{print $2 - $1}' >> "$work/isrv.cpu"
  "${client_core[@]}" "$build/bench/timer_wakeup" 2000 "$period" >> "$work/wakeup"
  echo "round $round: reboundcli $(grep -h 'send lateness' "$work/cli.$round")"
  python3 - "$work/irtt.$round.json" <<'PY'
import json, sys
s = json.load(open(sys.argv[1]))["stats"]
print(f"round: irtt timer error mean {s['timer_error']['mean']/1e6:.3f} ms, max "
      f"{s['timer_error']['max']/1e6:.3f} ms; missed {s['timer_misses']} of "
      f"{s['timer_misses'] + s['packets_sent']}")
PY
done

# reboundcli's figures from its summaries; irtt's from its JSON documents (per-packet round
# trips give the p99 it does not print).
python3 - "$work" "$rounds" "$period" <<'PY'
import glob, json, re, statistics, sys
work, rounds, period = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
def med(v): return statistics.median(v)
def numbers(path): return [float(x) for x in open(path).read().split()]
cli = {"late50": [], "late99": [], "latemax": [], "skipped": [], "rtt50": [], "rtt99": [], "probes": []}
for r in range(1, rounds + 1):
    text = open(f"{work}/cli.{r}").read()
    m = re.search(r"send lateness ms: median ([\d.]+), p99 ([\d.]+), max ([\d.]+); skipped slots (\d+)", text)
    cli["late50"].append(float(m[1])); cli["late99"].append(float(m[2]))
    cli["latemax"].append(float(m[3])); cli["skipped"].append(int(m[4]))
    m = re.search(r"round trip ms: .*median ([\d.]+), p90 [\d.]+, p99 ([\d.]+)", text)
    cli["rtt50"].append(float(m[1])); cli["rtt99"].append(float(m[2]))
    cli["probes"].append(int(re.search(r"probes sent (\d+)", text)[1]))
irtt = {"errmean": [], "errmax": [], "missed": [], "rtt50": [], "rtt99": [], "probes": []}
for r in range(1, rounds + 1):
    d = json.load(open(f"{work}/irtt.{r}.json")); s = d["stats"]
    irtt["errmean"].append(s["timer_error"]["mean"] / 1e6); irtt["errmax"].append(s["timer_error"]["max"] / 1e6)
    irtt["missed"].append(s["timer_misses"]); irtt["probes"].append(s["packets_sent"])
    rtts = sorted(p["delay"]["rtt"] / 1e6 for p in d["round_trips"] if p["lost"] == "false")
    irtt["rtt50"].append(statistics.median(rtts)); irtt["rtt99"].append(rtts[int(0.99 * (len(rtts) - 1))])
per10k = lambda cpu, probes: 1e4 * sum(cpu) / sum(probes)
cli_cpu, srv_cpu = numbers(f"{work}/cli.cpu"), numbers(f"{work}/srv.cpu")
irtt_cpu, isrv_cpu = numbers(f"{work}/irtt.cpu"), numbers(f"{work}/isrv.cpu")
c_cli, c_srv = per10k(cli_cpu, cli["probes"]), per10k(srv_cpu, cli["probes"])
c_irtt, c_isrv = per10k(irtt_cpu, irtt["probes"]), per10k(isrv_cpu, irtt["probes"])
print()
print(f"| at a {period * 1e3:g} ms period, medians of {rounds} runs | reboundcli + reboundsrv | irtt client + server | ratio |")
print("|---|---|---|---|")
print(f"| send lateness ms: median / p99 / max | {med(cli['late50']):.3f} / {med(cli['late99']):.3f} / {med(cli['latemax']):.3f} | timer error mean {med(irtt['errmean']):.3f} / max {med(irtt['errmax']):.3f} | |")
wake = [list(map(float, l.split())) for l in open(f"{work}/wakeup")]
print(f"| this machine's floor: a bare ppoll's wake-up ms, median / p99 / max | {med([w[0] for w in wake]):.3f} / {med([w[1] for w in wake]):.3f} / {med([w[2] for w in wake]):.3f} | | |")
print(f"| slots missed | {med(cli['skipped']):g} | {med(irtt['missed']):g} | |")
print(f"| round trip ms, median (user-space readings) | {med(cli['rtt50']):.3f} | {med(irtt['rtt50']):.3f} | {med(cli['rtt50']) / med(irtt['rtt50']):.2f} |")
print(f"| round trip ms, p99 | {med(cli['rtt99']):.3f} | {med(irtt['rtt99']):.3f} | {med(cli['rtt99']) / med(irtt['rtt99']):.2f} |")
print(f"| client CPU s per 10,000 probes | {c_cli:.3f} | {c_irtt:.3f} | {c_cli / c_irtt:.2f} |")
print(f"| responder CPU s per 10,000 probes | {c_srv:.3f} | {c_isrv:.3f} | {c_srv / c_isrv:.2f} |")
PY

# The shortest period each keeps: halving from the given one until a 2-second run misses a slot.
echo
echo "| period | reboundcli skipped slots | irtt timer misses |"
echo "|---|---|---|"
p=$period
for _ in 1 2 3 4 5 6; do
  skipped=$("${client_core[@]}" "$build/bin/reboundcli" -h 127.0.0.1 -p "$port" --period "$p" \
    -d 2 -t 1 -q --sendsize 64 --recvsize 64 2>&1 | sed -n 's/.*skipped slots \([0-9]*\).*/\1/p')
  interval=$(awk -v p="$p" 'BEGIN {printf "%gus", p * 1e6}')
  "${client_core[@]}" irtt client -i "$interval" -d 2s -l 64 -Q -o "$work/sweep.json" \
    "127.0.0.1:$iport" > /dev/null 2>&1 || true
  misses=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["stats"]["timer_misses"])' "$work/sweep.json")
  echo "| $(awk -v p="$p" 'BEGIN {printf "%g us", p * 1e6}') | $skipped | $misses |"
  p=$(awk -v p="$p" 'BEGIN {print p / 2}')
done
