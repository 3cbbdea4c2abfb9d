#!/usr/bin/env bash
# Installs what is missing, builds build/TOVREN.app and runs the setup program.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/steps.sh
tools/prerequisites.sh
step "Configuring build/" cmake --preset default
step "Building build/TOVREN.app" cmake --build build --target TOVREN-setup
exec build/TOVREN.app/Contents/MacOS/tovren-setup
