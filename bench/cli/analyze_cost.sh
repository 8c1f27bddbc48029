#!/usr/bin/env bash
# Cost of `plumbrook analyze` on a long file against a render of it with default settings, as a
# user runs both: CPU time (user + system, summed over threads) and wall-clock time, each the least
# of several runs, their ratios, and analyze's peak memory. The goal is about CPU time; wall time
# shows what the second core adds.
# usage: bench/cli/analyze_cost.sh [BUILD_DIR] [MINUTES] [RATE] [RUNS]
set -euo pipefail
# shellcheck source=bench/cli/common.sh
source "$(dirname "$0")/common.sh"
long_bench "$@"

# The least wall-clock seconds of the runs cpu() just made is not kept there; this keeps both.
cpu_and_wall() {
  local best_cpu="" best_wall="" t w
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%U %S %M %e" -o cpu.txt "$tool" "$@" >/dev/null
    t=$(awk '{print $1 + $2}' cpu.txt)
    w=$(awk '{print $4}' cpu.txt)
    if [ -z "$best_cpu" ] || awk -v a="$t" -v b="$best_cpu" 'BEGIN{exit !(a < b)}'; then best_cpu=$t; fi
    if [ -z "$best_wall" ] || awk -v a="$w" -v b="$best_wall" 'BEGIN{exit !(a < b)}'; then best_wall=$w; fi
  done
  echo "$best_cpu $best_wall"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.3f", a / b}'; }

long_input in.wav "$minutes" "$rate"
# On a terminal a render prints its report by default; --report asks for it with stdout redirected.
echo "input: $minutes min, $rate Hz, stereo, 24-bit WAV; best of $runs runs; load average $(cut -d' ' -f1-3 /proc/loadavg)"
read -r render_cpu render_wall <<<"$(cpu_and_wall render in.wav -o out.wav --report)"
read -r analyze_cpu analyze_wall <<<"$(cpu_and_wall analyze in.wav)"
rss=$(awk '{print $3}' cpu.txt)
echo "render (with its report):  $render_cpu s CPU, $render_wall s wall"
echo "analyze: $analyze_cpu s CPU, $analyze_wall s wall, max RSS $rss KiB"
echo "analyze / render: $(ratio "$analyze_cpu" "$render_cpu") of CPU time, $(ratio "$analyze_wall" "$render_wall") of wall time"
