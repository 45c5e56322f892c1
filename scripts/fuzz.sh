#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time, starting from the
# committed seed corpus. A crash, a sanitizer report or a leak fails the run.
# Usage: scripts/fuzz.sh [SECONDS per target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREBOUND_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build "$dir" -j "$(nproc)"

# The fuzzer's own findings go to a scratch corpus; the committed seeds are only read.
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
for target in dns_parse echo_plan; do
  work=$(mktemp -d)
  echo "== fuzz: $target for ${seconds}s"
  status=0
  "$dir/bin/${target}_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$dir/${target}-" "$work" "fuzz/corpus/$target" || status=$?
  rm -rf "$work"
  if [ $status -ne 0 ]; then
    echo "== fuzz: $target FAILED (exit $status); the input is kept as $dir/${target}-*" >&2
    exit 1
  fi
done
echo "== fuzz: no crashes"
