#!/bin/sh
echo "console: cannot reach the session service" >&2
exit 3
