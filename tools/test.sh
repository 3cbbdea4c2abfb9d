#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: as built for
# users, built by clang and Make with AddressSanitizer and UndefinedBehaviorSanitizer
# (where any report fails the run), every fuzz target for a fixed number of inputs,
# and the 64-bit Arm build under user-mode
# emulation; then makes the release twice and checks that both give the same
# bytes, its macOS bundles built here (64-bit Arm's with its test programs) and
# checked as a Mac would load them.
# Each build is a preset of CMakePresets.json. With --quick, only the first build
# and its tests (a few minutes).
#   tools/test.sh [--quick]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/steps.sh
# The virtual X server, its driver and a screenshot tool for the desktop dialogs;
# Python for archives written by its zipfile module; zlib for the checksums of
# archives the tests write byte by byte; file to tell an Arm program; the formatter;
# the locale sources a test compiles a German locale from; exFAT through FUSE, a
# disk that keeps no permissions; access lists; a session bus for the dialogs.
# The rest only for the other builds: the Arm and macOS tool chains, and clang
# with its sanitizer runtime.
quick=false
[ "${1:-}" = --quick ] && quick=true
packages=(xvfb xauth xdotool imagemagick python3 zlib1g-dev file clang-format locales exfat-fuse exfatprogs
          acl dbus-daemon)
$quick || packages+=(--arm64 --macos clang libclang-rt-14-dev)
tools/prerequisites.sh "${packages[@]}"
jobs=$(nproc)

# Runs the tests of the test preset $1, whose build folder is $2, then repeats
# what any test noted about this machine (a row it could not prove here, and why).
run_tests() {
  ctest --preset "$1" -j "$jobs" --output-junit tests.xml
  grep -ho '^\[ *\(NOTE\|skipped\) *\].*' "$2/tests.xml" || true
}

# The kernel hands 64-bit Arm programs to the emulator, as the Arm tests start
# the programs they test directly.
emulate_arm64() {
  local binfmt=/proc/sys/fs/binfmt_misc sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  [ -e $binfmt/register ] || $sudo mount -t binfmt_misc binfmt_misc $binfmt
  [ -e $binfmt/qemu-aarch64 ] || $sudo sh -c "cat /usr/lib/binfmt.d/qemu-aarch64.conf > $binfmt/register"
}

# A step whose function meets a failing command stops there, as the release's
# builds rely on.
if bash -c 'set -euo pipefail; . tools/steps.sh; failing() { false; echo "went on"; }; step x failing' \
  >/dev/null 2>&1; then
  echo "A step went on past a failing command."
  exit 1
fi

# Every C++ file as the project's formatter (.clang-format) writes it.
step "Checking the format of the C++ files" \
  sh -c 'git ls-files -z "*.cpp" "*.h" | xargs -0 clang-format --dry-run --Werror'

# As built for users, warnings as errors.
step "Configuring build/" cmake --preset default
step "Building build/" cmake --build --preset default -j "$jobs"
run_tests default build
$quick && exit 0

# With clang, the compiler of macOS, whose order of evaluating arguments differs
# from g++'s, and by CMake's default generator, as most people build first, so
# that the suite also runs on what Make builds; the test preset keeps the leak
# checker's list of the suppressions it used out of the programs' standard error,
# which the tests compare.
step "Configuring build-sanitize/ (clang, Make)" cmake --preset sanitize
step "Building build-sanitize/" cmake --build --preset sanitize -j "$jobs"
run_tests sanitize build-sanitize

# Every fuzz target over its seeds and new inputs, each input within its time and
# memory limits.
tools/fuzz.sh --runs 20000

step "Configuring build-arm64/ (cross-compiled)" cmake --preset arm64
step "Building build-arm64/" cmake --build --preset arm64 -j "$jobs"
step "Checking that build-arm64/TOVREN.app holds aarch64 programs" \
  sh -c '! file build-arm64/TOVREN.app/Contents/MacOS/* | grep -v "ARM aarch64"'
step "Registering the Arm emulator with binfmt_misc" emulate_arm64
run_tests arm64 build-arm64

# A vendor's quick check of a version and two archives, building no bundle: the
# sample console passes it; one whose list names another version is stopped there.
vendor_check() {
  local work
  work=$(mktemp -d)
  cp console/sample/tovren "$work/tovren" && (cd "$work" && zip -q sample.zip tovren)
  cp tests/data/console-stale.sh "$work/tovren" && (cd "$work" && zip -q stale.zip tovren)
  tools/release.sh --check 1.4.2 "$work/sample.zip" "$work/sample.zip"
  if tools/release.sh --check 1.4.2 "$work/stale.zip" "$work/stale.zip"; then
    echo "A console that names another version passed the check."
    return 1
  fi
  rm -rf "$work"
}
step "Checking the sample and a stale console with tools/release.sh --check" vendor_check

# The CI configuration for hosted Macs, which cannot run here, by a workflow linter.
step "Checking .github/workflows with actionlint" tools/check_workflows.sh

# The release, whose macOS build here also builds the test programs of 64-bit Arm,
# the family of today's Macs: they compile as the other family's would, whose
# program the release builds in any case.
TOVREN_MACOS_TESTS=arm64 tools/release.sh
