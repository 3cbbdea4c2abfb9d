#!/usr/bin/env bash
# Makes the release: for each processor family, release/TOVREN-<version>-<arch>.tar.gz
# holding its TOVREN.app, with fixed times, owners and modes. Each family is built
# twice, in new folders under different umasks, and the release stops unless both
# give the same bytes. Prints each file's SHA-256.
#   tools/release.sh                                  the stand-in console's archives
#   tools/release.sh VERSION ARM64_ZIP AMD64_ZIP      your console's archives
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/steps.sh
if [ $# -ne 0 ] && [ $# -ne 3 ]; then
  echo "usage: tools/release.sh [VERSION ARM64_ZIP AMD64_ZIP]" >&2
  exit 64
fi
options=(-DCMAKE_BUILD_TYPE=Release)
if [ $# -eq 3 ]; then
  options+=("-DTOVREN_CONSOLE_VERSION=$1" "-DTOVREN_ARCHIVE_ARM64=$(realpath -- "$2")"
            "-DTOVREN_ARCHIVE_AMD64=$(realpath -- "$3")")
fi
tools/prerequisites.sh --arm64

# The toolchain file of a family other than this machine's.
toolchain() {
  case "$1-$(uname -m)" in
    arm64-aarch64 | amd64-x86_64) ;;
    arm64-*) echo "-DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake" ;;
    *) echo "There is no toolchain file to build for $1 on $(uname -m)." >&2; return 1 ;;
  esac
}

# Builds `arch`'s bundle in `folder` under `mask` and packs it as `folder`/release.tar.gz.
build() {
  local arch=$1 folder=$2 mask=$3 cross
  cross=$(toolchain "$arch")
  rm -rf "$folder"
  (
    umask "$mask"
    cmake -S . -B "$folder" -G Ninja "${options[@]}" $cross
    cmake --build "$folder" --target TOVREN-setup
    tar -C "$folder" --sort=name --mtime=@315532800 --owner=0 --group=0 --numeric-owner --mode=u=rwX,go=rX \
      --format=gnu -cf - TOVREN.app | gzip -9n > "$folder/release.tar.gz"
  )
}

mkdir -p release
files=()
for arch in arm64 amd64; do
  step "Building the $arch bundle" build "$arch" "build-release/$arch" 022
  step "Building the $arch bundle again, elsewhere, under umask 077" build "$arch" "build-release/$arch-again" 077
  step "Comparing the two" cmp "build-release/$arch/release.tar.gz" "build-release/$arch-again/release.tar.gz"
  . "build-release/$arch/constants.sh"
  file=release/TOVREN-$TOVREN_CONSOLE_VERSION-$arch.tar.gz
  cp "build-release/$arch/release.tar.gz" "$file"
  files+=("$file")
done
sha256sum "${files[@]}"
