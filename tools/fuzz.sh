#!/usr/bin/env bash
# Fuzzes manifest decoding and the log tail with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, SECONDS each (default 60), starting from the seed
# corpus in tests/fuzz/corpus. New inputs collect in build-fuzz/corpus.
#   tools/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
tools/prerequisites.sh clang libclang-rt-14-dev

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTOVREN_FUZZ=ON -DTOVREN_SANITIZE=address,undefined \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target manifest_fuzzer log_tail_fuzzer

for fuzzer in manifest log_tail; do
  corpus=build-fuzz/corpus/$fuzzer
  mkdir -p "$corpus"
  echo "== $fuzzer: $seconds s"
  build-fuzz/${fuzzer}_fuzzer -max_total_time="$seconds" -print_final_stats=1 -max_len=8192 \
    -artifact_prefix=build-fuzz/ "$corpus" "tests/fuzz/corpus/$fuzzer" 2>&1 |
    grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==|SUMMARY)|ERROR|crash-|leak-"
done
