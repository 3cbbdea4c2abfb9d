# Sourced by the scripts: one line per step, and a step's full output only when it
# fails.
#   step "Building build/" cmake --build build
step() {
  local title=$1 log start=$SECONDS status=0
  shift
  log=$(mktemp)
  printf '%s... ' "$title"
  # Run apart, not under "||": a command that fails inside a step's function stops
  # the step, as set -e promises, instead of being ignored.
  "$@" >"$log" 2>&1 &
  wait $! || status=$?
  if [ "$status" -ne 0 ]; then
    echo "failed (exit $status):"
    cat "$log"
    rm -f "$log"
    exit "$status"
  fi
  rm -f "$log"
  echo "done ($((SECONDS - start)) s)"
}
