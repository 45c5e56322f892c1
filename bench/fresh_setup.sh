#!/usr/bin/env bash
# How long a newcomer waits for the first measurement: `bash scripts/run.sh -c 100 -q` on a
# fresh Debian 12 (debootstrap --variant=minbase into a scratch folder, entered with chroot;
# packages from Debian's mirror), from the given source tree, timed from start to exit.
# Needs root, debootstrap and a reachable Debian mirror. Everything is made in SCRATCH and
# removed again.
# Usage: bench/fresh_setup.sh [SOURCE_TREE] [SCRATCH]   (default: this checkout, a mktemp -d)
set -euo pipefail
tree=$(cd "${1:-$(dirname "$0")/..}" && pwd)
scratch=${2:-$(mktemp -d /var/tmp/rebound-fresh.XXXXXX)}
root=$scratch/root
mounted=()
cleanup() {
  for m in "${mounted[@]}"; do umount "$m" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT
[ "$(id -u)" -eq 0 ] || { echo "fresh_setup: needs root (debootstrap, chroot)" >&2; exit 1; }
command -v debootstrap > /dev/null || { echo "fresh_setup: debootstrap is missing" >&2; exit 1; }

debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian > "$scratch/debootstrap.log"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/src"
git -C "$tree" ls-files -z | (cd "$tree" && xargs -0 tar -cf -) | tar -C "$root/src" -xf -
for m in proc dev dev/pts; do
  case $m in proc) mount -t proc proc "$root/proc" ;; *) mount --bind "/$m" "$root/$m" ;; esac
  mounted=("$root/$m" "${mounted[@]}")
done
start=$(date +%s)
chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root REBOUND_PORT=40999 \
  bash -c 'cd /src && bash scripts/run.sh -c 100 -q' > "$scratch/run.log" 2>&1 \
  || { tail -20 "$scratch/run.log"; exit 1; }
end=$(date +%s)
echo "first measurement after $((end - start)) s; packages installed: $(chroot "$root" dpkg -l | grep -c '^ii')"
grep -E '^probes sent' "$scratch/run.log"
