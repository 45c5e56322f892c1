#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time, starting from the
# committed seed corpus. A crash, a sanitizer report or a leak fails the run.
# Usage: scripts/fuzz.sh [SECONDS per target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."

# One row per target: fuzz/<name>_fuzz.cpp, seeds in fuzz/corpus/<name>/, the longest input.
targets=(
  # name         max_len  what it is fed
  "dns_parse      4096    a reply to a DNS query, decoded and printed"
  "client_output  8192    reboundcli's standard output, parsed by the window"
  "text_parsers   512     a text for one of the library's text parsers"
  "echo_plan      65507   one datagram, decided by the responder"
)

seconds=${1:-30}
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREBOUND_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build "$dir" -j "$(nproc)"

# The fuzzer's findings go to a scratch corpus; the committed seeds are only read. What the
# targets print on standard output is discarded.
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
for row in "${targets[@]}"; do
  read -r target max_len description <<<"$row"
  work=$(mktemp -d)
  echo "== fuzz: $target ($description) for ${seconds}s"
  status=0
  "$dir/bin/${target}_fuzz" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$dir/${target}-" "$work" "fuzz/corpus/$target" \
    >/dev/null || status=$?
  rm -rf "$work"
  if [ $status -ne 0 ]; then
    echo "== fuzz: $target FAILED (exit $status); the input is kept as $dir/${target}-*" >&2
    exit 1
  fi
done
echo "== fuzz: no crashes"
