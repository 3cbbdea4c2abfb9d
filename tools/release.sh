#!/usr/bin/env bash
# Makes the release: release/TOVREN-<version>-macos.zip holding the universal macOS
# TOVREN.app (both processors in one program), what ships, and with the stand-in
# console, for each processor family, release/TOVREN-<version>-<arch>.tar.gz holding
# its Linux TOVREN.app, the development stand-in; with fixed times, owners and
# modes. Each is built twice: here under umask 022, and as another machine would,
# from a copy of the source in another folder, with another HOME (so another Zig
# and an empty Zig cache) under umask 077. The release stops unless both give the
# same bytes, when a program holds a path of the machine that built it, or when
# an archive does not match the manifest compiled into the program beside it.
# Prints each file's SHA-256. TOVREN_MACOS_TESTS=arm64 (or x86_64), as
# tools/test.sh sets, also builds that family's test programs in the macOS build here.
#   tools/release.sh                                  the stand-in console's archives
#   tools/release.sh VERSION ARM64_ZIP AMD64_ZIP      your macOS console's archives
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/steps.sh
if [ $# -ne 0 ] && [ $# -ne 3 ]; then
  echo "usage: tools/release.sh [VERSION ARM64_ZIP AMD64_ZIP]" >&2
  exit 64
fi
options=(-DCMAKE_BUILD_TYPE=Release)
families=(arm64 amd64)
if [ $# -eq 3 ]; then
  # A vendor's consoles are macOS programs: only the macOS bundle can carry them.
  families=()
  options+=("-DTOVREN_CONSOLE_VERSION=$1" "-DTOVREN_ARCHIVE_ARM64=$(realpath -- "$2")"
            "-DTOVREN_ARCHIVE_AMD64=$(realpath -- "$3")")
fi
tools/prerequisites.sh --arm64 --macos zip file

# Each family's build is its preset's (release-amd64, release-arm64: Release, as the
# vendor preset builds), the Arm one cross-compiled, on x86-64, for which Zig, which
# builds the macOS bundle, is fetched.
if [ "$(uname -m)" != x86_64 ]; then
  echo "The release is made on x86-64 Linux: there is no preset for $(uname -m)." >&2
  exit 1
fi

# How file(1) names the processor of `arch`'s programs.
processor() {
  case "$1" in
    arm64) echo "ARM aarch64" ;;
    amd64) echo "x86-64" ;;
  esac
}

# Builds `arch`'s bundle from the source folder here in `folder` and packs it as
# `folder`/release.tar.gz.
build() {
  local arch=$1 folder=$2
  rm -rf "$folder"
  cmake --preset "release-$arch" -B "$folder" "${options[@]}"
  cmake --build "$folder" --target TOVREN-setup check_bundle
  ! file "$folder"/TOVREN.app/Contents/MacOS/* | grep -v "$(processor "$arch")"
  tar -C "$folder" --sort=name --mtime=@315532800 --owner=0 --group=0 --numeric-owner --mode=u=rwX,go=rX \
    --format=gnu -cf - TOVREN.app | gzip -9n > "$folder/release.tar.gz"
}

# Builds the universal macOS bundle from the source folder here in `folder`, with
# the build tools of the build `host` (its own, in `folder`-host, where empty), and
# packs it as `folder`/release.zip: sorted names, one time, modes u=rwX,go=rX,
# links kept as links, and no owners or extra times (-X).
macos() {
  local folder=$1 host=$2
  rm -rf "$folder" "$folder"-arm64 "$folder"-x86_64 "$folder"-host
  TOVREN_HOST_BUILD=$host TOVREN_MACOS_TARGET=TOVREN-setup tools/macos.sh "$folder" "${options[@]}"
  cd "$folder"
  chmod -R u=rwX,go=rX TOVREN.app
  find TOVREN.app -exec touch -h -d @315532800 {} +
  find TOVREN.app | LC_ALL=C sort | TZ=UTC zip -q -X -y -@ release.zip
}

# Runs a step here, under umask 022.
here() { (umask 022 && "$@"); }

# Another machine, as far as a build can tell: a copy of the source in another
# folder, another HOME with its own copy of Zig and no Zig cache, and umask 077.
other=$(mktemp -d)
trap 'rm -rf "$other"' EXIT
zig=$(dirname "$(readlink -f "${TOVREN_ZIG:-${XDG_CACHE_HOME:-$HOME/.cache}/tovren/zig-0.11.0/zig}")")
prepare_elsewhere() {
  mkdir -p "$other/source" "$other/home/.cache/tovren"
  git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -P -t "$other/source"
  cp -al "$zig" "$other/home/.cache/tovren/zig-0.11.0" 2>/dev/null || cp -a "$zig" "$other/home/.cache/tovren/zig-0.11.0"
}
elsewhere() {
  (
    cd "$other/source"
    umask 077
    unset XDG_CACHE_HOME TOVREN_ZIG ZIG_GLOBAL_CACHE_DIR ZIG_LOCAL_CACHE_DIR TOVREN_MACOS_TESTS
    export HOME=$other/home
    "$@"
  )
}

# Fails when a program of `app` holds any of the paths named after it.
holds_no_path() {
  local app=$1 found
  shift
  found=$(grep -r -a -l -F "${@/#/-e}" "$app/Contents/MacOS" || true)
  [ -z "$found" ] || { echo "These hold a path of the machine that built them ($*): $found"; return 1; }
}
# The paths of the build here: the source and build folders, HOME and Zig's.
paths=("$PWD" "$zig")
[ "$HOME" = / ] || paths+=("$HOME")

step "Copying the source to another folder, with another HOME" prepare_elsewhere
mkdir -p release
files=()
# The macOS build's own tools, here and elsewhere: the x86-64 bundle's builds,
# where the release makes them, are of the same preset.
host_builds=("" "")
for arch in "${families[@]}"; do
  if [ "$arch" = amd64 ]; then host_builds=("build-release/$arch" "$other/$arch"); fi
  step "Building the $arch bundle" here build "$arch" "build-release/$arch"
  step "Building the $arch bundle again, as another machine would" elsewhere build "$arch" "$other/$arch"
  step "Comparing the two" cmp "build-release/$arch/release.tar.gz" "$other/$arch/release.tar.gz"
  step "Checking that no program holds a path of its build" \
    holds_no_path "build-release/$arch/TOVREN.app" "${paths[@]}" "$other"
  . "build-release/$arch/constants.sh"
  file=release/TOVREN-$TOVREN_CONSOLE_VERSION-$arch.tar.gz
  cp "build-release/$arch/release.tar.gz" "$file"
  step "Checking $file against the manifest in its program" "build-release/$arch/check_bundle" "$file"
  files+=("$file")
done
step "Building the macOS bundle${TOVREN_MACOS_TESTS:+ and the $TOVREN_MACOS_TESTS test programs}" \
  here macos build-release/macos "${host_builds[0]}"
step "Building the macOS bundle again, as another machine would, with an empty Zig cache" \
  elsewhere macos "$other/macos" "${host_builds[1]}"
step "Comparing the two" cmp build-release/macos/release.zip "$other/macos/release.zip"
step "Checking that no program holds a path of its build" \
  holds_no_path build-release/macos/TOVREN.app "${paths[@]}" "$other"
. build-release/macos-arm64/constants.sh
file=release/TOVREN-$TOVREN_CONSOLE_VERSION-macos.zip
cp build-release/macos/release.zip "$file"
step "Checking $file against the manifest in its program" "${host_builds[0]:-build-release/macos-host}/check_bundle" "$file"
files+=("$file")
sha256sum "${files[@]}"
