#!/usr/bin/env bash
# Cost of the loudness pictures on a long file: CPU time of a render with --plot against the same
# render without, and of `plumbrook analyze` against a render, with the peak memory of analyze.
# usage: bench/cli/plot_cost.sh [BUILD_DIR] [MINUTES] [RATE] [RUNS]
set -euo pipefail
build=${1:-build}
minutes=${2:-10}
rate=${3:-96000}
runs=${4:-3}
tool=$(realpath "$build/apps/plumbrook")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# shellcheck source=bench/cli/common.sh
source "$here/common.sh"
long_input in.wav "$minutes" "$rate"
echo "input: $minutes min, $rate Hz, stereo, 24-bit WAV"

render=$(cpu render in.wav -o out.wav -q --report-json report.json)
plotted=$(cpu render in.wav -o out.wav -q --report-json report.json --plot out.png)
analyze=$(cpu analyze in.wav)
rss=$(awk '{print $3}' cpu.txt)
echo "render: $render s CPU; with --plot: $plotted s CPU ($(awk -v a="$plotted" -v b="$render" 'BEGIN{printf "%+.1f %%", 100 * (a / b - 1)}'))"
echo "analyze: $analyze s CPU = $(awk -v a="$analyze" -v b="$render" 'BEGIN{printf "%.3f", a / b}') of a render; max RSS $rss KiB"
