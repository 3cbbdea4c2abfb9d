#!/bin/sh
# A console that fails; its last words hold a NUL and an escape sequence.
printf 'console: cannot reach the session service\0\033[2J\n' >&2
exit 3
