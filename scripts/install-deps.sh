#!/usr/bin/env bash
# Installs the Debian packages Rebound needs.
#   install-deps.sh run   what building and running the programs needs (scripts/run.sh)
#   install-deps.sh       that and everything the tests, packaging and benchmarks need
# Safe to run again: packages already present are skipped by apt.
set -euo pipefail

run_packages=(
  # build
  build-essential cmake ninja-build pkg-config
  # libraries: command lines, JSON documents, the exporter's YAML file and HTTP server
  libcli11-dev nlohmann-json3-dev libyaml-cpp-dev libcivetweb-dev
  # services and protocols databases the name services read
  netbase
  # ss: the scripts wait for the responder's port with it
  iproute2
  # window
  qt6-base-dev
)
test_packages=(
  # tests
  libgtest-dev libgmock-dev
  # peers for tests and benchmarks
  socat sockperf irtt dnsmasq-base nodejs procps
  # real parsers for the metrics files (OpenMetrics and Prometheus text format)
  python3-prometheus-client
  # a real Prometheus scraping the exporter, and promtool checking every scrape
  prometheus
  # the exporter's benchmark peer
  prometheus-smokeping-prober
  # window tests under a real X server
  xvfb xdotool x11-apps imagemagick
  # Debian packages: building (dpkg-shlibdeps, dpkg-buildflags), checking and trying them
  dpkg-dev file lintian desktop-file-utils systemd man-db strace
  # fuzzing and sanitizer runtimes
  clang libclang-rt-14-dev
)

case "${1:-all}" in
  run) packages=("${run_packages[@]}") ;;
  all) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: install-deps.sh [run|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO=sudo
  else
    echo "install-deps: not root and no sudo; install these packages by hand: ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=
fi

export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get update -q; then
  echo "install-deps: apt-get update failed (no package mirror reachable?)" >&2
  exit 1
fi
if ! $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  echo "install-deps: apt-get install failed for: ${missing[*]}" >&2
  exit 1
fi
echo "install-deps: done"
