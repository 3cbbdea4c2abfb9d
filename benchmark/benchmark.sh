#!/usr/bin/env bash
# Setup speed and memory against the same work done with standard tools.
#   benchmark/benchmark.sh [RUNS]       (default 5 runs of each measurement)
# Consoles of 4, 64 and 512 MiB, random and text-like. For each, alternating within
# every round: (a) the program installing into a fresh home, (b) the program
# repeating with the console in place, (c) the baseline script installing, (d) the
# baseline repeating. Medians of wall time and peak resident memory go to
# docs/benchmark-results.md, with docs/benchmark.png (time against size), and the
# unpacker's time and memory on link-heavy archives (benchmark/links.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
tools/prerequisites.sh time gnuplot-nox unzip openssl xvfb

bench=build-bench
work=$bench/work
consoles=$work/consoles
mkdir -p "$consoles" docs
line='tovren [session 4711] device QL-2 connected on /dev/ttyUSB0 at 2026-12-06T07:12:00Z: ok'
for size in 4 64 512; do
  for kind in random text; do
    file=$consoles/$kind-$size
    [ -f "$file" ] && continue
    bytes=$((size * 1048576 - 17))
    { printf '#!/bin/sh\nexit 0\n'
      if [ "$kind" = random ]; then head -c "$bytes" /dev/urandom; else head -c "$bytes" < <(yes "$line"); fi
    } > "$file"
  done
done

echo "Building the benchmark bundles"
cmake --preset benchmark >/dev/null
cmake --build "$bench" --target benchmark-bundles TOVREN-setup >/dev/null
# The version, the launch-agent path and this machine's processor row.
. "$bench/constants.sh"
export TOVREN_TOOLS_FOLDER TOVREN_CONSOLE_ENTRY

# Wall time of one run in seconds, by the shell's own clock (no extra process).
seconds() {
  local TIMEFORMAT=%R
  { time "$@" </dev/null >/dev/null 2>&1; } 2>&1
}

# Peak resident memory of one run in kilobytes (a separate, untimed run).
kilobytes() {
  /usr/bin/time -f "%M" -o "$work/time" "$@" </dev/null >/dev/null 2>&1
  cat "$work/time"
}

fresh_home() {
  local home
  home=$(mktemp -d "$work/home-XXXXXX")
  # The installed version's marker: no prompt, so the run needs no terminal.
  mkdir -p "$(dirname "$home/$TOVREN_LAUNCH_AGENT")" "$home/$TOVREN_TOOLS_FOLDER"
  echo "$TOVREN_MARKER$TOVREN_CONSOLE_VERSION-" > "$home/$TOVREN_LAUNCH_AGENT"
  echo "$home"
}

results=$work/results
: > "$results"
declined=$(HOME=$(mktemp -d "$work/home-XXXXXX") kilobytes "$bench/TOVREN.app/Contents/MacOS/tovren-setup")
for size in 4 64 512; do
  for kind in random text; do
    name=$kind-$size
    app=$bench/bundles/bench-$name.app
    setup=$app/Contents/MacOS/tovren-setup
    archive=$PWD/$app/Contents/Resources/$TOVREN_ARCHIVE
    manifest=$bench/bundle-inputs/bench-$name/manifest.json
    sha=$(grep -o "\"$TOVREN_PLATFORM_KEY\": {[^}]*" "$manifest" | grep -o '"sha256": "[0-9a-f]*' | cut -d'"' -f4)
    binsha=$(grep -o "\"$TOVREN_PLATFORM_KEY\": {[^}]*" "$manifest" | grep -o '"binary_sha256": "[0-9a-f]*' | cut -d'"' -f4)
    echo "$name archive $(stat -c %s "$archive")" >> "$results"
    echo "Measuring $name ($runs rounds)"
    # Each round starts with the other pair, so drift touches both alike. Memory
    # comes from one more, untimed round.
    for round in $(seq 0 "$runs"); do
      for step in $(seq 0 1); do
        home=$(fresh_home)
        if [ $(((round + step) % 2)) = 0 ]; then
          if [ "$round" = 0 ]; then
            echo "$name memory a $(HOME=$PWD/$home kilobytes "$setup")" >> "$results"
            echo "$name memory b $(HOME=$PWD/$home kilobytes "$setup")" >> "$results"
          else
            echo "$name time a $(HOME=$PWD/$home seconds "$setup")" >> "$results"
            echo "$name time b $(HOME=$PWD/$home seconds "$setup")" >> "$results"
          fi
        else
          measure=seconds kind_word=time
          [ "$round" = 0 ] && measure=kilobytes kind_word=memory
          echo "$name $kind_word c $($measure benchmark/benchmark_baseline.sh install "$archive" "$sha" "$binsha" "$PWD/$home")" >> "$results"
          echo "$name $kind_word d $($measure benchmark/benchmark_baseline.sh repeat "$binsha" "$PWD/$home")" >> "$results"
        fi
        rm -rf "$home"
      done
    done
  done
done

# A quiet repeat run (the version is set up, the console in place: no alert) with
# and without a display, under a virtual X server.
echo "Measuring a quiet repeat run with and without a display"
display=:$((90 + $$ % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
# Stopped on every way out; once stopped, there is nothing left to stop.
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
home=$(fresh_home)
setup=$PWD/$bench/TOVREN.app/Contents/MacOS/tovren-setup
HOME=$PWD/$home "$setup" </dev/null
for round in $(seq 0 $((runs * 4))); do
  measure=seconds kind_word=time
  [ "$round" = 0 ] && measure=kilobytes kind_word=memory
  echo "quiet $kind_word none $(HOME=$PWD/$home $measure "$setup")" >> "$results"
  echo "quiet $kind_word display $(DISPLAY=$display HOME=$PWD/$home $measure "$setup")" >> "$results"
done
kill $xvfb

echo "Measuring digest throughput on 512 MiB"
ours=$("$bench/digest_benchmark" "$consoles/random-512")
best=999
for i in 1 2 3 4 5; do
  t=$( { /usr/bin/time -f "%e" openssl dgst -sha256 "$consoles/random-512" >/dev/null; } 2>&1 )
  best=$(echo "$t $best" | awk '{print ($1 < $2) ? $1 : $2}')
done
openssl_rate=$(awk -v t="$best" 'BEGIN { printf "%.0f", 536870912 / 1e6 / t }')

# Medians, ratios and the memory goal.
awk -v declined="$declined" -v ours="$ours" -v openssl="$openssl_rate" '
  function median(list,   n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return (n % 2) ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  $1 == "quiet" && $2 == "time" { quiet[$3] = quiet[$3] " " $4; next }
  $1 == "quiet" && $2 == "memory" { quietRss[$3] = $4; next }
  $2 == "archive" { archive[$1] = $3; next }
  $2 == "time" { time[$1, $3] = time[$1, $3] " " $4; names[$1] = 1; next }
  $2 == "memory" { rss[$1, $3] = $4 }
  END {
    print "| console | a: install (s) | c: baseline (s) | a/c | b: repeat (s) | d: baseline (s) | b/d | peak MiB a / c | a over a declined run, MiB (limit) |"
    print "|---|---|---|---|---|---|---|---|---|"
    split("random-4 text-4 random-64 text-64 random-512 text-512", order, " ")
    for (k = 1; k <= 6; k++) {
      n = order[k]; if (!(n in names)) continue
      split(n, parts, "-"); console = parts[2] * 1048576
      a = median(time[n, "a"]); b = median(time[n, "b"]); c = median(time[n, "c"]); d = median(time[n, "d"])
      ra = rss[n, "a"]; rc = rss[n, "c"]
      over = (ra - declined) / 1024; limit = ((archive[n] > console ? archive[n] : console) + 16777216) / 1048576
      printf "| %s MiB %s | %.3f | %.3f | %.2f | %.3f | %.3f | %.2f | %.0f / %.0f | %.0f (%.0f) |\n", parts[2], parts[1], a, c, a / c, b, d, b / d, ra / 1024, rc / 1024, over, limit
      print parts[2], parts[1], a, c > "'"$work"'/plot-" parts[1]
    }
    q = median(quiet["none"]); qd = median(quiet["display"])
    printf "\nquiet repeat run: %.1f ms and %.0f MiB without a display, %.1f ms and %.0f MiB with one (%.2f times, goal 1.2)\n", \
      q * 1000, quietRss["none"] / 1024, qd * 1000, quietRss["display"] / 1024, qd / q
    printf "\ndigest: %s MB/s, openssl dgst -sha256: %s MB/s (%.0f%%)\n", ours, openssl, 100 * ours / openssl
  }' "$results" | tee docs/benchmark-results.md

echo "Measuring the unpacker on link-heavy archives"
{ echo; benchmark/links.sh "$bench/TOVREN.app/Contents/MacOS/ditto" "$work/links"; } |
  tee -a docs/benchmark-results.md

gnuplot <<PLOT
set terminal pngcairo size 800,500
set output "docs/benchmark.png"
set title "First installation: program against the standard-tools baseline"
set xlabel "console size (MiB)"
set ylabel "wall time (s), median"
set logscale xy
set key top left
plot "$work/plot-random" using 1:3 with linespoints title "program, random", \
     "$work/plot-random" using 1:4 with linespoints title "baseline, random", \
     "$work/plot-text" using 1:3 with linespoints title "program, text-like", \
     "$work/plot-text" using 1:4 with linespoints title "baseline, text-like"
PLOT
echo "Wrote docs/benchmark-results.md and docs/benchmark.png"
