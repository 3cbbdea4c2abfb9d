#!/usr/bin/env bash
# Installs the Debian packages the build needs, and those named, when any is
# missing; with --arm64 also what builds and runs the 64-bit Arm bundle on another
# machine: the cross compiler, the user-mode emulator and the :arm64 libraries.
#   tools/prerequisites.sh [--arm64] [PACKAGE...]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/steps.sh

packages=(cmake ninja-build g++ pkg-config libssl-dev nlohmann-json3-dev libicu-dev uuid-dev
          libarchive-dev libgtest-dev libgtk-3-dev zip unzip)
if [ "${1:-}" = "--arm64" ]; then
  shift
  packages+=(g++-aarch64-linux-gnu qemu-user-static libssl-dev:arm64 libicu-dev:arm64 uuid-dev:arm64
             libarchive-dev:arm64 libgtest-dev:arm64 zlib1g-dev:arm64 libgtk-3-dev:arm64)
fi
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# The :arm64 libraries come from the same archive once dpkg knows the architecture.
if printf '%s\n' "${missing[@]}" | grep -q ':arm64$' && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  step "Adding the arm64 architecture to dpkg" $sudo dpkg --add-architecture arm64
fi
step "Updating the package lists" $sudo apt-get update
step "Installing ${#missing[@]} packages: ${missing[*]}" \
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
