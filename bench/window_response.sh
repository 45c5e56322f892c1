#!/usr/bin/env bash
# The window's figures: one repaint of 10000 packets with its log lines, the window's answer to
# input during an external run of COUNT probes against reboundsrv, and the same during a
# stand-in client that floods FLOOD lines of reboundcli's shape as fast as the window reads.
# Usage: bench/window_response.sh [BUILD_DIR] [COUNT] [FLOOD]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}"); count=${2:-10000}; flood=${3:-2000000}
port=$(( 44000 + RANDOM % 1000 ))
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
source scripts/lib/wait_udp_port.sh
cd "$work" # the window's log goes here; the programs' standard output to a file beside it

echo "== repaint of 10000 probes with marks, and of their histogram (median of 20), standard output to a file"
"$build/bench/chart_repaint" 20 > out.txt 2> >(grep repaint >&2)
rm -f reboundgui.log out.txt

echo "== input during an external run of $count probes against reboundsrv"
"$build/bin/reboundsrv" -h 127.0.0.1 -p "$port" > /dev/null & srv=$!
wait_udp_port "$port" $srv
for view in chart histogram; do
  echo "   $view view:"
  PATH="$build/bin:$PATH" "$build/bench/window_response" "$port" "$count" $view > out.txt \
    2> >(grep 'input delay' >&2)
  echo "   log: $(wc -l < reboundgui.log) lines"
  rm -f reboundgui.log reboundgui.log.1 out.txt
done
kill -TERM $srv; wait $srv 2>/dev/null || true

echo "== input during a stand-in client printing $flood lines at once"
mkdir bin
cat > bin/reboundcli <<SCRIPT
#!/bin/sh
exec awk -v n=$flood 'BEGIN {
  for (i = 0; 2 * i < n; i++) {
    printf "2026/12/10 05:12:12.313229 rebound_connect():1 i=%06d S=%06d R=%06d sendsize=udp_send(127.0.0.1:1): argssize=64 sendsize=64 time=0.000041\n", i, i, i
    printf "2026/12/10 05:12:12.313338 rebound_connect():1 i=%06d S=%06d R=%06d sendsize=udp_recv(127.0.0.1:1): recvsize=64 iterpkts=%06d time=0.000102\n", i, i + 1, i, i
  }
  print "rebound_connect(): sendpkts=" i; print "rebound_connect(): recvpkts=" i
  print "rebound_connect(): iterpkts+1=" i }'
SCRIPT
chmod +x bin/reboundcli
PATH="$work/bin:$PATH" "$build/bench/window_response" 1 1 > out.txt 2> >(grep 'input delay' >&2)
echo "   log: $(wc -l < reboundgui.log) lines"
