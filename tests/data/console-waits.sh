#!/bin/sh
# A console that says where it is and waits until it is stopped, or until SIGUSR1
# tells it to finish; with CONSOLE_IGNORES_STOP set, it ignores SIGTERM.
[ -z "${CONSOLE_IGNORES_STOP:-}" ] || trap '' TERM
trap 'exit 0' USR1
echo $$ > "$3/console-waits"
while :; do sleep 0.1; done
