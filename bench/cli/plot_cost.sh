#!/usr/bin/env bash
# Cost of the loudness pictures on a long file: CPU time of a render with --plot against the same
# render without. (bench/cli/analyze_cost.sh times `plumbrook analyze`.)
# usage: bench/cli/plot_cost.sh [BUILD_DIR] [MINUTES] [RATE] [RUNS]
set -euo pipefail
# shellcheck source=bench/cli/common.sh
source "$(dirname "$0")/common.sh"
long_bench "$@"
long_input in.wav "$minutes" "$rate"
echo "input: $minutes min, $rate Hz, stereo, 24-bit WAV"

render=$(cpu render in.wav -o out.wav -q --report-json report.json)
plotted=$(cpu render in.wav -o out.wav -q --report-json report.json --plot out.png)
echo "render: $render s CPU; with --plot: $plotted s CPU ($(awk -v a="$plotted" -v b="$render" 'BEGIN{printf "%+.1f %%", 100 * (a / b - 1)}'))"
