#!/bin/sh
# A console that says where it is and waits, until it is stopped.
echo $$ > "$3/console-waits"
exec sleep 30
