#!/usr/bin/env bash
# Runs every test twice: in a normal build and in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, tries the Debian packages on this machine (built, installed,
# run and removed again), then runs each libFuzzer target for a bounded time. Any failing
# test, any sanitizer report or any fuzzer crash fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
run_suite() { # build-dir, tests at once, extra cmake args...
  local dir=$1 parallel=$2; shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREBOUND_BUILD_TESTS=ON "$@"
  cmake --build "$dir" -j "$jobs"
  # Each process writes its own file: several programs run side by side.
  ( cd "$dir" && ctest --output-on-failure -j "$parallel" )
}

# Twice as many tests as cores: a test that races with a busy machine fails here, not later on
# a slower one.
echo "== tests: normal build, $((2 * jobs)) tests at once"
run_suite build $((2 * jobs))

# Its own clean build; it installs and removes packages, so it runs alone, not under ctest -j.
echo "== tests: Debian packages (build, lintian, install, run, remove)"
bash tests/packaging/package_test.sh build-package
bash tests/packaging/package_test_keeps_installation.sh

echo "== tests: sanitizer build"
reports=$(mktemp -d)
export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="log_path=$reports/ubsan:halt_on_error=1:print_stacktrace=1"
# A suppressed leak must leave no report file behind, so no statistics of suppressions.
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
status=0
run_suite build-sanitize "$jobs" -DREBOUND_SANITIZE=ON || status=$?
if compgen -G "$reports/*" >/dev/null; then
  echo "== sanitizer reports:"
  cat "$reports"/*
  status=1
fi
rm -rf "$reports"

echo "== fuzz: every target for 30 s"
bash scripts/fuzz.sh 30 || status=1
[ $status -eq 0 ] && echo "== all tests passed (normal and sanitizer builds, fuzzing)"
exit $status
