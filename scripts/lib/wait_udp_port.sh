# Sourced by the scripts that start a responder in the background.
# wait_udp_port PORT [PID]: returns once a UDP socket is bound to PORT, by process PID when one
# is given; with PID it fails as soon as that process has ended without binding the port (a
# refused address, a port another program holds).
wait_udp_port() {
  local owner=${2:+pid=$2,}
  if ! command -v ss >/dev/null 2>&1; then
    echo "wait_udp_port: ss is missing (Debian package iproute2)" >&2
    return 1
  fi
  until ss -Hlunp "sport = :$1" | grep -q "$owner"; do
    if [ -n "${2:-}" ] && ! kill -0 "$2" 2>/dev/null; then
      echo "wait_udp_port: process $2 ended without binding UDP port $1" >&2
      return 1
    fi
    sleep 0.05
  done
}
