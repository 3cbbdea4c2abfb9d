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
# Prints each file's SHA-256. Only a release whose every file passed replaces
# the files of the last one in release/, with the checks it was made with in
# release/tools/; a failed one leaves both as they were. TOVREN_MACOS_TESTS=arm64
# (or x86_64), as tools/test.sh sets, also builds that family's test programs in
# the macOS build here.
#   tools/release.sh                                  the stand-in console's archives
#   tools/release.sh VERSION ARM64_ZIP AMD64_ZIP      your macOS console's archives
#   tools/release.sh --check VERSION ARM64_ZIP AMD64_ZIP
#     every check the build makes of your version and archives, and your consoles
#     run as setup runs them where this machine can, in seconds, building no bundle
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/steps.sh
check=false
[ "${1:-}" = --check ] && check=true && shift
if { [ $# -ne 0 ] || $check; } && [ $# -ne 3 ]; then
  echo "usage: tools/release.sh [[--check] VERSION ARM64_ZIP AMD64_ZIP]" >&2
  exit 64
fi

# The checks of a vendor's version and archives, before anything is built: the
# version's rules, the archives as the manifest's generator takes them (zip, the
# console alone, of its family, its line ends), then the consoles run as setup
# runs them, each line shown. The tools they need are built once, in
# build-release/checks/, which no release removes.
checks=build-release/checks
check_vendor() {
  local version=$1 arm=$2 amd=$3
  step "Checking the version $version" cmake -DVERSION="$version" -P cmake/check_version.cmake
  [ -f "$checks/CMakeCache.txt" ] || step "Configuring the checks in $checks/" cmake --preset vendor -B "$checks"
  step "Building the checks" cmake --build "$checks" --target manifest_tool check_console check_bundle
  step "Checking $arm and $amd as the build does" \
    "$checks/manifest_tool" generate "$version" "$checks/manifest.json" macos darwin-arm64="$arm" darwin-amd64="$amd"
  echo "Running your consoles as setup runs them:"
  "$checks/check_console" "$version" macos "$arm" "$amd"
}

if $check; then
  tools/prerequisites.sh zip
  check_vendor "$1" "$2" "$3"
  mkdir -p release/tools
  cp "$checks/check_bundle" "$checks/check_console" release/tools/
  echo "Your version and archives pass every check the release makes of them."
  exit 0
fi
options=(-DCMAKE_BUILD_TYPE=Release)
families=(arm64 amd64)
tools/prerequisites.sh --arm64 --macos zip file
if [ $# -eq 3 ]; then
  # A vendor's consoles are macOS programs: only the macOS bundle can carry them.
  # Everything that can be told of them in seconds is, before the long builds.
  families=()
  check_vendor "$1" "$2" "$3"
  options+=("-DTOVREN_CONSOLE_VERSION=$1" "-DTOVREN_ARCHIVE_ARM64=$(realpath -- "$2")"
            "-DTOVREN_ARCHIVE_AMD64=$(realpath -- "$3")")
fi

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
  cmake --build "$folder" --target TOVREN-setup check_bundle check_console
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
# What the release made, each as built and as it goes into release/.
made=()
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
  step "Checking the $arch bundle against the manifest in its program" \
    "build-release/$arch/check_bundle" "build-release/$arch/release.tar.gz"
  made+=("build-release/$arch/release.tar.gz" "release/TOVREN-$TOVREN_CONSOLE_VERSION-$arch.tar.gz")
done
step "Building the macOS bundle${TOVREN_MACOS_TESTS:+ and the $TOVREN_MACOS_TESTS test programs}" \
  here macos build-release/macos "${host_builds[0]}"
step "Building the macOS bundle again, as another machine would, with an empty Zig cache" \
  elsewhere macos "$other/macos" "${host_builds[1]}"
step "Comparing the two" cmp build-release/macos/release.zip "$other/macos/release.zip"
step "Checking that no program holds a path of its build" \
  holds_no_path build-release/macos/TOVREN.app "${paths[@]}" "$other"
. build-release/macos-arm64/constants.sh
host=${host_builds[0]:-build-release/macos-host}
step "Checking the macOS bundle against the manifest in its program" "$host/check_bundle" build-release/macos/release.zip
made+=(build-release/macos/release.zip "release/TOVREN-$TOVREN_CONSOLE_VERSION-macos.zip")

# Every file passed: they replace the last release's, with the checks they were made with.
mkdir -p release/tools
files=()
for ((i = 0; i < ${#made[@]}; i += 2)); do
  cp "${made[i]}" "${made[i + 1]}"
  files+=("${made[i + 1]}")
done
cp "$host/check_bundle" "$host/check_console" release/tools/
sha256sum "${files[@]}"
