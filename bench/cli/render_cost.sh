#!/usr/bin/env bash
# Cost of `plumbrook render` on a long file: peak memory through a pipe (with and without
# --target-lufs), peak disk held during a --target-lufs render as a multiple of the output, and
# CPU time of a --target-lufs render against a single render with its report.
# CPU time (user + system, the minimum of several runs) is used rather than wall-clock time,
# which is noisy on a shared machine.
# usage: bench/cli/render_cost.sh [BUILD_DIR] [MINUTES] [RATE] [RUNS]
set -euo pipefail
# shellcheck source=bench/cli/common.sh
source "$(dirname "$0")/common.sh"
long_bench "$@"
mkdir spool
export TMPDIR="$work/spool"
long_input in.wav "$minutes" "$rate"

# The largest total size of the files a process holds open (the input aside), polled every 0.1 s.
peak_open_bytes() {
  local pid=$1 peak=0 sum size target
  while kill -0 "$pid" 2>/dev/null; do
    sum=0
    for fd in /proc/"$pid"/fd/*; do
      target=$(readlink "$fd" 2>/dev/null) || continue
      case "$target" in */in.wav | /dev/* | pipe:* | socket:* | anon_inode:*) continue ;; esac
      size=$(stat -L -c %s "$fd" 2>/dev/null) || continue
      sum=$((sum + size))
    done
    [ "$sum" -gt "$peak" ] && peak=$sum
    sleep 0.1
  done
  echo "$peak"
}

echo "input: $minutes min, $rate Hz, stereo, 24-bit WAV ($(stat -c %s in.wav) bytes)"
for target in "" "--target-lufs -14"; do
  # shellcheck disable=SC2086
  /usr/bin/time -f "%M" -o rss.txt sh -c "cat in.wav | '$tool' render - -o pipe.wav -q --no-report $target"
  echo "pipe${target:+ $target}: max RSS $(cat rss.txt) KiB"
done

# shellcheck disable=SC2086
"$tool" render in.wav -o disk.wav -q --no-report --target-lufs -14 &
pid=$!
peak=$(peak_open_bytes "$pid")
wait "$pid"
echo "--target-lufs from a file: peak disk held $peak bytes = $(awk -v a="$peak" -v b="$(stat -c %s disk.wav)" 'BEGIN{printf "%.2f", a / b}')x the output"

single=$(cpu render in.wav -o one.wav --report)
searched=$(cpu render in.wav -o two.wav --report --target-lufs -14)
echo "CPU: single render with report ${single} s, --target-lufs with report ${searched} s" \
     "= $(awk -v a="$searched" -v b="$single" 'BEGIN{printf "%.2f", a / b}')x"
