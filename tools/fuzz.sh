#!/usr/bin/env bash
# Fuzzes with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, SECONDS
# each (default 60): manifest decoding, the log tail and the unpacker's zip
# listing, or the fuzzers named. Each starts from its seed corpus in
# tests/fuzz/corpus; new inputs collect in build-fuzz/corpus.
#   tools/fuzz.sh [SECONDS [FUZZER...]]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/steps.sh
seconds=${1:-60}
shift || true
fuzzers=("$@")
[ $# -gt 0 ] || fuzzers=(manifest log_tail zip_listing zip_differential)
tools/prerequisites.sh clang libclang-rt-14-dev

step "Configuring build-fuzz/" cmake --preset fuzz
step "Building the fuzzers" cmake --build build-fuzz --target "${fuzzers[@]/%/_fuzzer}"

for fuzzer in "${fuzzers[@]}"; do
  corpus=build-fuzz/corpus/$fuzzer
  mkdir -p "$corpus"
  echo "== $fuzzer: $seconds s"
  build-fuzz/${fuzzer}_fuzzer -max_total_time="$seconds" -print_final_stats=1 -max_len=16384 \
    -artifact_prefix=build-fuzz/ "$corpus" "tests/fuzz/corpus/$fuzzer" 2>&1 |
    grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==|SUMMARY)|ERROR|crash-|leak-|cov:.*ft:" | tail -12
done
