#!/usr/bin/env bash
# Builds the C ABI fuzz target with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, then fuzzes it for a bounded time.
#   fuzz/run.sh [seconds]   (default 60)
# The corpus grows in build/fuzz/corpus, seeded from fuzz/seeds; crashes are
# written to build/fuzz/artifacts. Exit status is libFuzzer's (0: nothing found).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=build/fuzz

CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVANE_FUZZ=ON -DORVANE_FFI=ON -DORVANE_TESTS=OFF -DORVANE_BENCH=OFF -DORVANE_PYTHON=OFF \
  -DORVANE_SANITIZE=address,undefined \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$dir" --target fuzz_abi

mkdir -p "$dir/corpus" "$dir/artifacts"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  "$dir/fuzz/fuzz_abi" -max_total_time="$seconds" -print_final_stats=1 -max_len=8192 \
  -artifact_prefix="$dir/artifacts/" "$dir/corpus" fuzz/seeds
