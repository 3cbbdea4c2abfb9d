#!/usr/bin/env bash
# Builds the macOS TOVREN.app on this Linux machine with Zig's clang: one build per
# processor family, each with its own row and its test programs (FOLDER-arm64/,
# FOLDER-x86_64/), then FOLDER/TOVREN.app, whose tovren-setup holds both builds,
# as a vendor ships it. The build's own tools run here, built in FOLDER-host/ (or in
# the build folder TOVREN_HOST_BUILD names). Every program is checked as a Mac
# would load it (tools/check_macos.py), and the universal bundle's archives
# against the manifest in its program (check_bundle).
# TOVREN_MACOS_TARGET names one target to build instead of all (TOVREN-setup for a
# release); TOVREN_MACOS_TESTS names a family (arm64 or x86_64) built whole
# nevertheless, its test programs with it.
#   tools/macos.sh [FOLDER [CMAKE_OPTION...]]      FOLDER defaults to build-macos
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/steps.sh
folder=${1:-build-macos}
options=("${@:2}")
host=$(realpath -m "${TOVREN_HOST_BUILD:-$folder-host}")
tools/prerequisites.sh --macos

host_tools() {
  # Release, as the vendor preset builds: the optimiser's warnings are not the vendor's to mend.
  [ -f "$host/CMakeCache.txt" ] || cmake --preset vendor -B "$host" "${options[@]}"
  cmake --build "$host" --target make_zip manifest_tool check_bundle check_console
}

# Builds and checks the family `arch` (arm64 or x86_64), by its preset.
family() {
  local arch=$1 target=${TOVREN_MACOS_TARGET:-}
  [ "$arch" != "${TOVREN_MACOS_TESTS:-}" ] || target=
  cmake --preset "macos-$arch" -B "$folder-$arch" "${options[@]}" -DTOVREN_HOST_TOOLS="$host"
  cmake --build "$folder-$arch" ${target:+--target "$target"}
  tools/check_macos.py "$folder-$arch/TOVREN.app" "$arch"
}

# One bundle with both programs: the families' bundles differ in nothing else.
universal() {
  diff -r -x tovren-setup "$folder-arm64/TOVREN.app" "$folder-x86_64/TOVREN.app"
  rm -rf "$folder"
  mkdir -p "$folder"
  cp -R "$folder-arm64/TOVREN.app" "$folder/"
  llvm-lipo-14 -create "$folder-arm64/TOVREN.app/Contents/MacOS/tovren-setup" \
    "$folder-x86_64/TOVREN.app/Contents/MacOS/tovren-setup" \
    -output "$folder/TOVREN.app/Contents/MacOS/tovren-setup"
  tools/check_macos.py "$folder/TOVREN.app" arm64 x86_64
  "$host/check_bundle" "$folder/TOVREN.app"
}

step "Building this machine's archive and manifest tools in $host/" host_tools
step "Building $folder-arm64/ for macOS on 64-bit Arm" family arm64
step "Building $folder-x86_64/ for macOS on x86-64" family x86_64
step "Joining both into $folder/TOVREN.app" universal
