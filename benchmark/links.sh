#!/usr/bin/env bash
# The unpacker on link-heavy archives: wall time and peak resident memory of
# `ditto -x -k` for each, as a Markdown table on standard output.
#   benchmark/links.sh DITTO WORK_FOLDER
set -euo pipefail
ditto=$1 work=$2
mkdir -p "$work"

# An archive of the links NAME:TARGET given on standard input, one per line, and
# the folder "d".
archive() {
  python3 -c '
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as out:
    folder = zipfile.ZipInfo("d/")
    folder.external_attr = 0o40755 << 16
    out.writestr(folder, "")
    for line in sys.stdin:
        name, target = line.rstrip("\n").split(":", 1)
        info = zipfile.ZipInfo(name)
        info.create_system = 3
        info.external_attr = 0o120777 << 16
        out.writestr(info, target)
' "$1"
}

# One link that passes through K others and back from each, then the K links:
# the shape that once cost twice as much for each link added.
coming_back() {
  local k=$1 i target=""
  for i in $(seq 1 "$k"); do target+="q$i/../"; done
  echo "through:$target"
  for i in $(seq 1 "$k"); do echo "q$i:d"; done
}

# COUNT links, each through eight links to the folder and back.
many() {
  local i
  for i in $(seq 1 8); do echo "x$i:d"; done
  for i in $(seq 1 "$1"); do echo "l$i:x1/../x2/../x3/../x4/../x5/../x6/../x7/../x8/../d"; done
}

# COUNT links whose targets are 60 KiB of components, each leading through
# the next and back.
long() {
  local i step
  step=$(printf 'd/../%.0s' $(seq 1 12288))
  for i in $(seq 1 "$1"); do echo "long$i:${step}long$((i + 1))/.."; done
}

measure() {
  local name=$1 zip=$work/$1.zip folder=$work/$1
  rm -rf "$folder" && mkdir -p "$folder"
  /usr/bin/time -f "%e %M" -o "$work/time" "$ditto" -x -k "$zip" "$folder" >/dev/null 2>"$work/error" &&
    outcome=unpacked || outcome="refused: $(sed 's/.*: //' "$work/error")"
  read -r seconds kib < <(tail -1 "$work/time")
  printf '| %s | %s | %s | %.0f | %s |\n' "$name" "$(stat -c %s "$zip")" "$seconds" \
    "$((kib / 1024))" "$outcome"
}

coming_back 18 | archive "$work/back-18.zip"
coming_back 30 | archive "$work/back-30.zip"
many 20000 | archive "$work/many-20000.zip"
long 1000 | archive "$work/long-1000.zip"
echo "| link-heavy archive | bytes | ditto -x -k (s) | peak MiB | outcome |"
echo "|---|---|---|---|---|"
for name in back-18 back-30 many-20000 long-1000; do measure "$name"; done
