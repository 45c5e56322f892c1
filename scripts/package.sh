#!/usr/bin/env bash
# Builds the Debian packages from a clean build: rebound-tools (reboundcli, reboundsrv and its
# systemd service, rebounddns) and rebound (the window). Usage: scripts/package.sh [BUILD_DIR]
# (default build-package); the .deb files are left in BUILD_DIR and their paths printed last.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=${1:-build-package}
jobs=$(nproc)

# The package's version is the project's; the changelog's top entry must say the same.
project_version=$(sed -n 's/^project(Rebound VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
changelog_version=$(dpkg-parsechangelog -l packaging/debian/changelog -S Version)
if [ "$project_version" != "$changelog_version" ]; then
  echo "package: project version $project_version, but packaging/debian/changelog starts" \
    "with $changelog_version: add a changelog entry" >&2
  exit 1
fi

rm -rf "$dir"
# Debian's optimisation and full hardening flags, as a package built by dpkg-buildpackage gets them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DREBOUND_BUILD_TESTS=OFF \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$dir" -j "$jobs"
( cd "$dir" && cpack -G DEB )

echo "package: built"
ls -1 "$(realpath "$dir")"/*.deb
