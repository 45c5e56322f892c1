#!/usr/bin/env bash
# The main job: builds Rebound, starts a local echo responder on 127.0.0.1, then opens the
# window when a display exists (Connect measures against the responder) and otherwise runs one
# measurement with reboundcli. Extra arguments go to reboundcli.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/wait_udp_port.sh

bash scripts/install-deps.sh run
# The test suite is built too once its packages are there (after the test command).
tests=OFF
dpkg-query -W -f='${Status}' libgtest-dev 2>/dev/null | grep -q 'install ok installed' && tests=ON
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREBOUND_BUILD_TESTS=$tests >/dev/null
cmake --build build -j "$(nproc)" --target reboundsrv reboundcli rebound

port=${REBOUND_PORT:-33333}
srv_log=$(mktemp /tmp/reboundsrv.XXXXXX.log)
build/bin/reboundsrv -h 127.0.0.1 -p "$port" >"$srv_log" 2>&1 &
srv=$!
trap 'kill -TERM $srv 2>/dev/null; wait $srv 2>/dev/null; echo "responder log: $srv_log"' EXIT
wait_udp_port "$port" $srv || { cat "$srv_log"; exit 1; }

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: responder on 127.0.0.1:$port; the window's log is build/reboundgui.log"
  [ "$port" = 33333 ] || echo "run: type $port into IPPort before pressing Connect"
  (cd build && bin/rebound)
else
  build/bin/reboundcli -h 127.0.0.1 -p "$port" "$@"
fi
