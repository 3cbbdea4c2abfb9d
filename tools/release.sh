#!/usr/bin/env bash
# Makes the release: for each processor family, release/TOVREN-<version>-<arch>.tar.gz
# holding its Linux TOVREN.app, and release/TOVREN-<version>-macos.zip holding the
# universal macOS TOVREN.app (both processors in one program), with fixed times,
# owners and modes. Each is built twice, in new folders under different umasks,
# and the release stops unless both give the same bytes. Prints each file's SHA-256.
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
tools/prerequisites.sh --arm64 --macos zip file

# The toolchain file of a family other than this machine's.
toolchain() {
  case "$1-$(uname -m)" in
    arm64-aarch64 | amd64-x86_64) ;;
    arm64-*) echo "-DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake" ;;
    *) echo "There is no toolchain file to build for $1 on $(uname -m)." >&2; return 1 ;;
  esac
}

# How file(1) names the processor of `arch`'s programs.
processor() {
  case "$1" in
    arm64) echo "ARM aarch64" ;;
    amd64) echo "x86-64" ;;
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
    ! file "$folder"/TOVREN.app/Contents/MacOS/* | grep -v "$(processor "$arch")"
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
# Builds the universal macOS bundle in `folder` under `mask` and packs it as
# `folder`/release.zip: sorted names, one time, modes u=rwX,go=rX, links kept as
# links, and no owners or extra times (-X).
macos() {
  local folder=$1 mask=$2
  rm -rf "$folder" "$folder"-arm64 "$folder"-x86_64 "$folder"-host
  (
    umask "$mask"
    TOVREN_MACOS_TARGET=TOVREN-setup tools/macos.sh "$folder" "${options[@]}"
    cd "$folder"
    chmod -R u=rwX,go=rX TOVREN.app
    find TOVREN.app -exec touch -h -d @315532800 {} +
    find TOVREN.app | LC_ALL=C sort | TZ=UTC zip -q -X -y -@ release.zip
  )
}

step "Building the macOS bundle" macos build-release/macos 022
step "Building the macOS bundle again, elsewhere, under umask 077" macos build-release/macos-again 077
step "Comparing the two" cmp build-release/macos/release.zip build-release/macos-again/release.zip
file=release/TOVREN-$TOVREN_CONSOLE_VERSION-macos.zip
cp build-release/macos/release.zip "$file"
files+=("$file")
sha256sum "${files[@]}"
