# Shared by the long-file benchmarks, sourced first.

# Takes the arguments [BUILD_DIR] [MINUTES] [RATE] [RUNS] (defaults build 10 96000 3) as $build,
# $minutes, $rate, $runs and the tool as $tool, and works in a scratch folder removed at exit.
long_bench() {
  build=${1:-build}
  minutes=${2:-10}
  rate=${3:-96000}
  runs=${4:-3}
  tool=$(realpath "$build/apps/plumbrook")
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cd "$work"
}

# A stereo 24-bit WAV of pink noise: long_input FILE MINUTES RATE
long_input() {
  sox -n -r "$3" -c 2 -b 24 "$1" synth "$(($2 * 60))" pinknoise vol 0.3 2>/dev/null
}

# The least user + system seconds of $runs runs of the tool with the given arguments; the last
# run's figures stay in cpu.txt as "user system max-RSS-KiB". CPU time rather than wall-clock time,
# which is noisy on a shared machine.
cpu() {
  local best="" t
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%U %S %M" -o cpu.txt "$tool" "$@" >/dev/null
    t=$(awk '{print $1 + $2}' cpu.txt)
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN{exit !(a < b)}'; then best=$t; fi
  done
  echo "$best"
}
