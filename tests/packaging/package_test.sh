#!/usr/bin/env bash
# The Debian packages end to end: builds them from a clean build (scripts/package.sh), checks
# them (lintian without errors, no Qt for the command-line tools, the desktop entry, the
# service's sandbox), installs them on this machine, runs the installed reboundsrv and
# reboundcli against each other on 127.0.0.1, checks the man page, the completions, the
# disabled service and the window's start, and removes the packages again, also when a check
# fails. Installing needs root or password-less sudo; without either the test is skipped.
# Usage: tests/packaging/package_test.sh [BUILD_DIR]   (default build-package)
set -euo pipefail
cd "$(dirname "$0")/../.."

packages=(rebound rebound-tools) # the window first: it depends on the tools
units=(reboundsrv.service rebound_exporter.service)
# `systemd-analyze security` rates both units 1.1; what is left is the network, the job itself.
max_exposure=1.5
# Limits for conditions that come in milliseconds; only a broken package reaches them.
wait_limit_polls=600 # of 0.05 s

skip() { echo "package test: SKIPPED: $*"; exit 0; }
if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  SUDO=(sudo -n)
else
  skip "installing packages needs root or password-less sudo"
fi
command -v apt-get >/dev/null 2>&1 || skip "no apt-get: not a Debian system"
# The test removes what it installs; an installation it did not make is left alone.
for p in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    skip "$p is installed on this machine and would be removed; remove it to run this test"
  fi
done

dir=${1:-build-package}
work=$(mktemp -d)
srv_pid=
window_pid=
installed=0

fail() {
  echo "package test: FAIL: $*" >&2
  exit 1
}
step() { echo "package test: $*"; }

purge_packages() {
  "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q \
    -o DPkg::Lock::Timeout=300 "${packages[@]}"
}

stop_window() { # the window under strace: ending the window ends strace
  local window
  window=$(pgrep -P "$window_pid")
  [ -z "$window" ] || kill -KILL "$window"
  wait "$window_pid" 2>/dev/null
  window_pid=
}

cleanup() {
  local status=$?
  set +e
  if [ -n "$srv_pid" ]; then
    kill "$srv_pid" 2>/dev/null
    wait "$srv_pid" 2>/dev/null
  fi
  [ -n "$window_pid" ] && stop_window
  if [ "$installed" -eq 1 ]; then
    echo "package test: removing the packages after a failure"
    purge_packages >/dev/null 2>&1 || echo "package test: could not remove ${packages[*]}" >&2
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

# wait_until DESCRIPTION COMMAND...: polls COMMAND until it succeeds.
wait_until() {
  local what=$1 i
  shift
  for ((i = 0; i < wait_limit_polls; i++)); do
    "$@" && return 0
    sleep 0.05
  done
  fail "gave up waiting: $what"
}

is_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# --- build and check the packages -------------------------------------------------------------
bash scripts/package.sh "$dir"
tools_deb=$(realpath "$dir"/rebound-tools_*.deb)
window_deb=$(realpath "$dir"/rebound_*.deb)
version=$(dpkg-deb -f "$tools_deb" Version)

step "lintian"
lintian --fail-on error "$tools_deb" "$window_deb" || fail "lintian reports errors"

depends=$(dpkg-deb -f "$tools_deb" Depends)
[[ $depends != *qt* ]] || fail "rebound-tools depends on Qt: $depends"
[[ $(dpkg-deb -f "$window_deb" Depends) == *"rebound-tools (= $version)"* ]] ||
  fail "rebound does not depend on rebound-tools (= $version)"

dpkg-deb -x "$tools_deb" "$work/tools"
dpkg-deb -x "$window_deb" "$work/window"
step "desktop-file-validate"
desktop-file-validate "$work/window/usr/share/applications/rebound.desktop" ||
  fail "the desktop entry does not validate"

for unit in "${units[@]}"; do
  step "systemd-analyze security $unit"
  unit_file=$(find "$work/tools" -name "$unit" -print -quit)
  [ -n "$unit_file" ] || fail "rebound-tools holds no $unit"
  security=$(systemd-analyze security --offline=true "$unit_file" 2>&1) || true
  exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<<"$security")
  [ -n "$exposure" ] || fail "no rating from systemd-analyze security: $security"
  grep '✗\|Overall' <<<"$security" || true
  awk -v e="$exposure" -v m="$max_exposure" 'BEGIN { exit !(e <= m) }' ||
    fail "$unit is rated $exposure, more exposed than $max_exposure"
done

# --- install ----------------------------------------------------------------------------------
for p in "${packages[@]}"; do
  if is_installed "$p"; then
    step "$p is installed already; the test replaces it and removes it at the end"
    purge_packages
    break
  fi
done
step "installing $tools_deb $window_deb"
installed=1
# Some minimal systems keep man pages out of every package; these must come in.
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  -o DPkg::Lock::Timeout=300 -o 'DPkg::Options::=--path-include=/usr/share/man/man1/rebound*' \
  "$tools_deb" "$window_deb"
for p in "${packages[@]}"; do is_installed "$p" || fail "$p is not installed"; done

# --- the installed command-line tools ---------------------------------------------------------
for program in reboundcli reboundsrv rebounddns rebound_exporter; do
  [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not /usr/bin/$program"
  /usr/bin/$program --version | grep -qx "$program $version" || fail "$program --version"
done

removed_after=()
for unit in "${units[@]}"; do
  step "the service $unit: verified, disabled, its settings a conffile"
  installed_unit=$(dpkg -L rebound-tools | grep "/$unit\$")
  systemd-analyze verify "$installed_unit" || fail "systemd-analyze verify $installed_unit"
  enabled=$(systemctl --root=/ is-enabled "$unit" 2>/dev/null) || true
  [ "$enabled" = disabled ] || fail "$unit is '$enabled' after installation, not disabled"
  environment_file=$(sed -n 's/^EnvironmentFile=-\?//p' "$installed_unit")
  [ -f "$environment_file" ] || fail "the unit's environment file $environment_file is missing"
  dpkg-query -W -f='${Conffiles}\n' rebound-tools | grep -q " $environment_file " ||
    fail "$environment_file is not a conffile"
  removed_after+=("$installed_unit" "$environment_file")
done
step "the exporter's packaged target file reads"
dpkg-query -W -f='${Conffiles}\n' rebound-tools | grep -q " /etc/rebound_exporter.yml " ||
  fail "/etc/rebound_exporter.yml is not a conffile"
/usr/bin/rebound_exporter --check-config --config /etc/rebound_exporter.yml >/dev/null ||
  fail "the packaged /etc/rebound_exporter.yml does not read"

step "installed reboundsrv and reboundcli -c 10 on 127.0.0.1"
srv_bound() {
  kill -0 "$srv_pid" 2>/dev/null || return 0 # ended: the caller looks at why
  ss -Hulnp "sport = :$port" | grep -q "pid=$srv_pid,"
}
for _ in {1..10}; do # ports taken by others are skipped
  port=$((40000 + RANDOM % 20000))
  /usr/bin/reboundsrv -h 127.0.0.1 -p "$port" >"$work/srv.out" 2>"$work/srv.err" &
  srv_pid=$!
  wait_until "reboundsrv to bind 127.0.0.1:$port" srv_bound
  kill -0 "$srv_pid" 2>/dev/null && break
  wait "$srv_pid" || true
  srv_pid=
  grep -q "Address already in use" "$work/srv.err" || fail "reboundsrv: $(cat "$work/srv.err")"
done
[ -n "$srv_pid" ] || fail "no free port for reboundsrv"
# A generous limit per wait: the machine may be busy with other work.
/usr/bin/reboundcli -h 127.0.0.1 -p "$port" -c 10 -t 5 >"$work/cli.out" ||
  fail "reboundcli exited with $?: $(tail -5 "$work/cli.out")"
grep -qx 'rebound_connect(): recvpkts=10' "$work/cli.out" ||
  fail "reboundcli did not get 10 echoes: $(tail -5 "$work/cli.out")"
kill -TERM "$srv_pid"
srv_status=0
wait "$srv_pid" || srv_status=$?
srv_pid=
[ "$srv_status" -eq 0 ] || fail "reboundsrv ended with $srv_status on SIGTERM"
received=$(grep -c 'recvsize=udp_blockrecv(' "$work/srv.out") || true
[ "$received" -eq 10 ] || fail "reboundsrv printed $received receive lines, not 10"

step "man reboundcli"
[ "$(man -w reboundcli)" = /usr/share/man/man1/reboundcli.1.gz ] || fail "man -w reboundcli"
MANWIDTH=80 man --warnings -P cat reboundcli >"$work/man.out" 2>"$work/man.err" ||
  fail "man reboundcli: $(cat "$work/man.err")"
[ ! -s "$work/man.err" ] || fail "man reboundcli warns: $(cat "$work/man.err")"
grep -q 'reboundcli - measure UDP round-trip times' "$work/man.out" ||
  fail "man reboundcli shows no NAME line"
grep -q -- '--sendsize=N' "$work/man.out" || fail "man reboundcli shows no --sendsize"

step "bash completion"
completion=$(bash -c 'source /usr/share/bash-completion/completions/reboundcli
  COMP_WORDS=(reboundcli --sends); COMP_CWORD=1; _reboundcli 2>/dev/null; echo "${COMPREPLY[*]}"')
[ "$completion" = "--sendsize=" ] || fail "reboundcli --sends completes to '$completion'"

step "the window starts from its menu command and finds its icon"
[ "$(readlink -f /usr/bin/rebound)" = /usr/libexec/rebound/rebound ] ||
  fail "/usr/bin/rebound does not lead to /usr/libexec/rebound/rebound"
[ -f /usr/libexec/rebound/tachy-16x16.png ] || fail "the window's icon link leads nowhere"
if ldd /usr/libexec/rebound/rebound | grep 'not found'; then fail "the window lacks libraries"; fi
read -ra exec_line < <(sed -n 's/^Exec=//p' /usr/share/applications/rebound.desktop)
(cd "$work" && QT_QPA_PLATFORM=offscreen exec strace -f -e trace=openat -o "$work/window.trace" \
  "${exec_line[@]}" >"$work/window.out" 2>"$work/window.err") &
window_pid=$!
window_shown() {
  kill -0 "$window_pid" 2>/dev/null || fail "the window ended: $(cat "$work/window.err")"
  grep -q '^Rebound::Rebound(' "$work/window.out"
}
wait_until "the window to start" window_shown
stop_window || true
grep 'tachy-16x16.png' "$work/window.trace" | grep -qv ENOENT ||
  fail "the window did not open its icon: $(grep tachy "$work/window.trace")"

# --- remove -----------------------------------------------------------------------------------
step "removing the packages"
purge_packages
installed=0
for p in "${packages[@]}"; do
  ! is_installed "$p" || fail "$p is still installed"
done
for f in /usr/bin/reboundcli /usr/libexec/rebound /etc/rebound_exporter.yml "${removed_after[@]}"; do
  [ ! -e "$f" ] || fail "$f is still there after purge"
done

echo "package test: passed"
