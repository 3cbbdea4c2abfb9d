#!/bin/sh
# Zig's clang for macOS, as a compiler CMake can call by a plain path: the name this
# script is called by gives the processor and the language, e.g. aarch64-macos-c++.
# Zig is looked for where tools/prerequisites.sh --macos puts it, then on PATH.
name=$(basename "$0")
zig=${TOVREN_ZIG:-${XDG_CACHE_HOME:-$HOME/.cache}/tovren/zig-0.11.0/zig}
[ -x "$zig" ] || zig=zig
exec "$zig" "${name##*-}" -target "${name%-*}.12.0" "$@"
