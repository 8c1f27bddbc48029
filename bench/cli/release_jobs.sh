#!/usr/bin/env bash
# Wall time of mastering a release of 8 files with one job against several side by side
# (`plumbrook render ... -o FOLDER -j N`), each file searched to a loudness target. Prints the
# best of a few runs per job count and the speed-up against one job; checks that every job count
# writes the same bytes. Run it on an otherwise idle machine: Linux shares the CPU between
# sessions (autogroup), so while other sessions keep the cores busy a second job gains little.
# As the machine's own ceiling it also times the 8 files as independent one-file processes run
# two at a time (xargs -P 2), each measuring its report as a release does: what two busy cores
# give here with no shared work at all.
# usage: bench/cli/release_jobs.sh [BUILD_DIR] [SECONDS_PER_FILE] [RUNS] [JOBS...]
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
runs=${3:-3}
shift $(($# < 3 ? $# : 3))
jobs=("$@")
[ ${#jobs[@]} -eq 0 ] && jobs=(1 2)
tool=$(realpath "$build/apps/plumbrook")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
for i in 1 2 3 4 5 6 7 8; do
  sox -n -r 48000 -c 2 -b 24 "track$i.wav" synth "$seconds" pinknoise vol "0.$((i + 1))" 2>/dev/null
done
echo "release: 8 files of $seconds s, 48 kHz stereo 24-bit; --target-lufs -14, true peak on; $(nproc) cores;" \
  "load average before: $(cut -d' ' -f1-3 /proc/loadavg) (other work on the machine slows the wider runs most)"

best_of() {  # best wall time in seconds of $runs runs with $1 jobs
  local best="" start end t
  for _ in $(seq "$runs"); do
    rm -rf "out$1"
    start=$(date +%s.%N)
    "$tool" render track?.wav -o "out$1" -j "$1" --target-lufs -14 --set true_peak=on -q
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  echo "$best"
}

declare -A wall
for j in "${jobs[@]}"; do
  wall[$j]=$(best_of "$j")
  printf -- "-j %-3s %7.2f s wall  (%.2fx against -j %s)\n" "$j" "${wall[$j]}" \
    "$(awk -v a="${wall[${jobs[0]}]}" -v b="${wall[$j]}" 'BEGIN { print a / b }')" "${jobs[0]}"
  if [ "$j" != "${jobs[0]}" ] && ! diff -rq "out${jobs[0]}" "out$j" >/dev/null; then
    echo "-j $j wrote different masters from -j ${jobs[0]}" >&2
    exit 1
  fi
done

ceiling() {  # best wall time of the 8 files as independent processes, $1 at a time
  local best="" start end t
  for _ in $(seq "$runs"); do
    rm -rf solo && mkdir solo
    start=$(date +%s.%N)
    printf '%s\n' track?.wav | xargs -P "$1" -I{} \
      "$tool" render {} -o solo/{} --report-json solo/{}.json --target-lufs -14 --set true_peak=on -q
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  echo "$best"
}
widest=${jobs[${#jobs[@]}-1]}
solo=$(ceiling "$widest")
printf "ceiling: 8 independent processes, %s at a time: %.2f s wall (%.2fx against -j %s)\n" \
  "$widest" "$solo" "$(awk -v a="${wall[${jobs[0]}]}" -v b="$solo" 'BEGIN { print a / b }')" "${jobs[0]}"
