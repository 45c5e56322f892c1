#!/usr/bin/env bash
# The package test never removes an installation it did not make: with a package named
# rebound-tools already installed (a stand-in built here, version 0~standin), it is skipped with
# a message and the stand-in is still installed afterwards. The stand-in is removed again; a
# real installation found at the start is left alone and this check is skipped.
set -euo pipefail
cd "$(dirname "$0")/../.."

skip() { echo "package keep test: SKIPPED: $*"; exit 0; }
[ "$(id -u)" -eq 0 ] || skip "installing the stand-in needs root"
command -v dpkg-deb > /dev/null || skip "no dpkg-deb: not a Debian system"
if dpkg-query -W -f='${Status}' rebound-tools 2>/dev/null | grep -q 'install ok installed'; then
  skip "rebound-tools is installed on this machine"
fi

work=$(mktemp -d)
installed=0
cleanup() {
  [ $installed -eq 1 ] && dpkg -r rebound-tools > /dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/standin/DEBIAN"
cat > "$work/standin/DEBIAN/control" <<'CONTROL'
Package: rebound-tools
Version: 0~standin
Architecture: all
Maintainer: Rebound tests <tests@localhost>
Description: stand-in for an installation the package test did not make
CONTROL
dpkg-deb --build "$work/standin" "$work/standin.deb" > /dev/null
dpkg -i "$work/standin.deb" > /dev/null
installed=1

out=$(bash tests/packaging/package_test.sh "$work/build-package" 2>&1)
echo "$out" | grep -q "SKIPPED: rebound-tools is installed on this machine" \
  || { echo "package keep test: FAIL: not skipped:"; echo "$out"; exit 1; }
[ "$(dpkg-query -W -f='${Version}' rebound-tools)" = "0~standin" ] \
  || { echo "package keep test: FAIL: the installation was changed"; exit 1; }
[ ! -e "$work/build-package" ] || { echo "package keep test: FAIL: it built packages"; exit 1; }
echo "package keep test: passed (skipped with a message, the installation untouched)"
