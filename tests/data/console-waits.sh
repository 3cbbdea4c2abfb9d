#!/bin/sh
# A console that says where it is and waits until it is stopped, or until SIGUSR1
# tells it to finish; with CONSOLE_IGNORES_STOP set, it ignores SIGTERM; with
# CONSOLE_HELPER set, it first starts a helper that ignores SIGTERM and says where
# it is.
[ -z "${CONSOLE_HELPER:-}" ] ||
  sh -c 'trap "" TERM; echo $$ > "$0/console-helper"; while :; do sleep 0.1; done' "$3" &
[ -z "${CONSOLE_IGNORES_STOP:-}" ] || trap '' TERM
trap 'exit 0' USR1
echo $$ > "$3/console-waits"
while :; do sleep 0.1; done
