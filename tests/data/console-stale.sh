#!/bin/sh
# A console that registers another version than the one it was installed as,
# as a copied sample that still names its own does.
mkdir -p "$3/Library/LaunchAgents"
echo "<string>automatic-0.0.1-any</string>" > "$3/Library/LaunchAgents/kestrine.console.plist"
