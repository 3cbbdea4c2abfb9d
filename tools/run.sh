#!/usr/bin/env bash
# Installs what is missing, builds build/TOVREN.app and runs the setup program.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/prerequisites.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target TOVREN-setup
exec build/TOVREN.app/Contents/MacOS/tovren-setup
