#!/usr/bin/env bash
# Installs what is missing, builds build/TOVREN.app and runs its setup program in
# a home of its own under build/, so that trying it changes nothing in yours.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/steps.sh
tools/prerequisites.sh
step "Configuring build/" cmake --preset default
step "Building build/TOVREN.app" cmake --build build --target TOVREN-setup
home=$PWD/build/home
mkdir -p "$home"
echo "Running setup with HOME=$home (for your own home: build/TOVREN.app/Contents/MacOS/tovren-setup)."
HOME=$home exec build/TOVREN.app/Contents/MacOS/tovren-setup
