# Shared by the long-file benchmarks: sourced after $tool and $runs are set, inside the work folder.

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
