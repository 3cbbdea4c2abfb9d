#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once as built
# for users, once with AddressSanitizer and UndefinedBehaviorSanitizer, where any
# report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
# The virtual X server, its driver and a screenshot tool for the desktop dialogs;
# Python for archives written by its zipfile module; zlib for the checksums of
# archives the tests write byte by byte.
tools/prerequisites.sh xvfb xauth xdotool imagemagick python3 zlib1g-dev
jobs=$(nproc)

# CMake's default generator, as most people build first.
cmake -S . -B build-make >/dev/null
cmake --build build-make -j "$jobs" >/dev/null

cmake -S . -B build -G Ninja -DTOVREN_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-sanitize -G Ninja -DTOVREN_WERROR=ON -DTOVREN_SANITIZE=address,undefined >/dev/null
cmake --build build-sanitize -j "$jobs"
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
