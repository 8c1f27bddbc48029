#!/usr/bin/env bash
# Cost of the loudness pictures on a long file: CPU time of a render with --plot against the same
# render without, and of `plumbrook analyze` against a render, with the peak memory of analyze.
# CPU time (user + system, the least of several runs) is used rather than wall-clock time, which
# is noisy on a shared machine.
# usage: bench/cli/plot_cost.sh [BUILD_DIR] [MINUTES] [RATE] [RUNS]
set -euo pipefail
build=${1:-build}
minutes=${2:-10}
rate=${3:-96000}
runs=${4:-3}
tool=$(realpath "$build/apps/plumbrook")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
sox -n -r "$rate" -c 2 -b 24 in.wav synth "$((minutes * 60))" pinknoise vol 0.3 2>/dev/null
echo "input: $minutes min, $rate Hz, stereo, 24-bit WAV"

cpu() {  # the least user + system seconds of $runs runs of the given arguments
  local best="" t
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%U %S %M" -o cpu.txt "$tool" "$@" >/dev/null
    t=$(awk '{print $1 + $2}' cpu.txt)
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN{exit !(a < b)}'; then best=$t; fi
  done
  echo "$best"
}

render=$(cpu render in.wav -o out.wav -q --report-json report.json)
plotted=$(cpu render in.wav -o out.wav -q --report-json report.json --plot out.png)
analyze=$(cpu analyze in.wav)
rss=$(awk '{print $3}' cpu.txt)
echo "render: $render s CPU; with --plot: $plotted s CPU ($(awk -v a="$plotted" -v b="$render" 'BEGIN{printf "%+.1f %%", 100 * (a / b - 1)}'))"
echo "analyze: $analyze s CPU = $(awk -v a="$analyze" -v b="$render" 'BEGIN{printf "%.3f", a / b}') of a render; max RSS $rss KiB"
