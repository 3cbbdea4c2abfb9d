#!/bin/sh
# The same verified work done with standard tools, as many projects' installers do.
#   benchmark_baseline.sh install ARCHIVE ARCHIVE_SHA256 CONSOLE_SHA256 HOME
#   benchmark_baseline.sh repeat CONSOLE_SHA256 HOME
# TOVREN_TOOLS_FOLDER and TOVREN_CONSOLE_ENTRY come from the build's constants.sh.
set -e
tools=${TOVREN_TOOLS_FOLDER:?from constants.sh} entry=${TOVREN_CONSOLE_ENTRY:?from constants.sh}
case "$1" in
install)
  archive=$2 sha=$3 binsha=$4 home=$5
  echo "$sha  $archive" | sha256sum --check --quiet --strict -
  staging=$(mktemp -d "$home/$tools/.setup-XXXXXX")
  unzip -q "$archive" -d "$staging"
  echo "$binsha  $staging/$entry" | sha256sum --check --quiet --strict -
  cp "$staging/$entry" "$home/$tools/console"
  sync "$home/$tools/console"
  chmod 700 "$home/$tools/console"
  "$home/$tools/console" --install-auto --home "$home"
  ;;
repeat)
  binsha=$2 home=$3
  echo "$binsha  $home/$tools/console" | sha256sum --check --quiet --strict -
  "$home/$tools/console" --install-auto --home "$home"
  ;;
esac
