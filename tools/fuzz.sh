#!/usr/bin/env bash
# Fuzzes with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer:
# manifest decoding, the log tail, the unpacker's zip listing, the listing against
# the library that unpacks, and the unpacker's link check, or the fuzzers named.
# Each starts from its seed corpus in tests/fuzz/corpus; new inputs collect in
# build-fuzz/corpus. Any input that takes longer than TIMEOUT seconds (default 2)
# or more than RSS_MB of memory (default 512, the sanitizers' own included)
# fails the run, as a crash does.
#   tools/fuzz.sh [SECONDS [FUZZER...]]   SECONDS of fuzzing each (default 60)
#   tools/fuzz.sh --runs N [FUZZER...]    the seeds and then new inputs, N runs in
#                                         all each, the same inputs every time (CI)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/steps.sh
budget=(-max_total_time="${1:-60}")
fresh=false
if [ "${1:-}" = --runs ]; then
  budget=(-runs="$2" -seed=1)
  fresh=true  # the same inputs every time: none kept from a run before
  shift
fi
shift || true
fuzzers=("$@")
[ $# -gt 0 ] || fuzzers=(manifest log_tail zip_listing zip_differential links)
tools/prerequisites.sh clang libclang-rt-14-dev

step "Configuring build-fuzz/" cmake --preset fuzz
step "Building the fuzzers" cmake --build build-fuzz --target "${fuzzers[@]/%/_fuzzer}"

for fuzzer in "${fuzzers[@]}"; do
  corpus=build-fuzz/corpus/$fuzzer
  ! $fresh || rm -rf "$corpus"
  mkdir -p "$corpus"
  log=build-fuzz/$fuzzer.log
  printf '%s: ' "$fuzzer"
  if ! build-fuzz/${fuzzer}_fuzzer "${budget[@]}" -timeout="${TIMEOUT:-2}" -rss_limit_mb="${RSS_MB:-512}" \
    -print_final_stats=1 -max_len=16384 -artifact_prefix=build-fuzz/ "$corpus" \
    "tests/fuzz/corpus/$fuzzer" >"$log" 2>&1; then
    echo "failed:"
    grep -E "ERROR|SUMMARY|Test unit written|==[0-9]+==" "$log" | head -20
    exit 1
  fi
  awk '/^stat::number_of_executed_units/ { runs = $2 } /^stat::peak_rss_mb/ { rss = $2 }
       /^Done/ { seconds = $(NF - 1) } END { printf "%s runs in %s s, at most %s MiB\n", runs, seconds, rss }' "$log"
done
