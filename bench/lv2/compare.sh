#!/usr/bin/env bash
# Runs Plumbrook (built bundle) and the peer LV2 plug-ins installed from Debian through the same
# benchmark host on the same audio, several times each, and prints one table of medians.
# Usage: bench/lv2/compare.sh [BUILD_DIR] [RUNS] [SECONDS]   (defaults: build 5 20)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-5}
seconds=${3:-20}
bench="$build/bench/lv2/plumbrook_lv2_bench"
if [[ ! -x "$bench" ]]; then
  echo "compare.sh: $bench not built (cmake --build $build --target plumbrook_lv2_bench)" >&2
  exit 1
fi
# The built bundle first; the system folders for the peers; no user folder, so an installed
# copy of Plumbrook cannot stand in for the build.
export LV2_PATH="$(cd "$build" && pwd)/lv2:/usr/local/lib/lv2:/usr/lib/lv2:/usr/lib/x86_64-linux-gnu/lv2"

# name | URI | controls. Every Plumbrook stage works; each peer limits about as hard.
plugins=(
  "Plumbrook stereo|https://quillfen.example/lv2/plumbrook#stereo|amount=200 eq_low=2 eq_mid=-1.5 eq_high=1.5 true_peak=1 lookahead=1 threshold=-10 ceiling=-1"
  "x42 dpl stereo (true peak)|http://gareus.org/oss/lv2/dpl#stereo|truepeak=1 gain=10 threshold=-1"
  "LSP Limiter stereo|http://lsp-plug.in/plugins/lv2/limiter_stereo|g_in=3.1623 th=0.8913"
  "LSP Multiband Compressor stereo|http://lsp-plug.in/plugins/lv2/mb_compressor_stereo|"
)

results=$(mktemp)
trap 'rm -f "$results"' EXIT
for ((run = 1; run <= runs; ++run)); do
  # Interleave the plug-ins so a change in machine load touches all of them alike.
  for entry in "${plugins[@]}"; do
    IFS='|' read -r name uri controls <<<"$entry"
    # shellcheck disable=SC2086
    if ! out=$("$bench" --seconds "$seconds" "$uri" $controls 2>&1); then
      echo "compare.sh: $name failed: $out" >&2
      continue
    fi
    cpu=$(awk '$1 == "run_cpu_seconds" {print $2}' <<<"$out")
    echo "$name|$cpu" >>"$results"
  done
done

echo "Block 256 frames, 48 kHz stereo, ${seconds} s of music-like audio, $runs runs each (medians)."
awk -F'|' -v seconds="$seconds" -v order="$(printf '%s\n' "${plugins[@]}" | cut -d'|' -f1 | paste -sd'|')" '
  { values[$1] = values[$1] " " $2; count[$1]++ }
  function median(list,   n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 1; i <= n; ++i) for (j = i + 1; j <= n; ++j) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  END {
    n = split(order, names, "[|]")
    base = (names[1] in values) ? median(values[names[1]]) : 0
    printf "%-34s %5s %14s %12s %16s\n", "plug-in", "runs", "run() CPU s", "realtime x", "CPU / Plumbrook"
    for (i = 1; i <= n; ++i) {
      if (!(names[i] in values)) { printf "%-34s %5s %14s %12s %16s\n", names[i], 0, "-", "-", "-"; continue }
      m = median(values[names[i]])
      ratio = (base > 0) ? sprintf("%.2f", m / base) : "-"
      printf "%-34s %5d %14.4f %12.0f %16s\n", names[i], count[names[i]], m, seconds / m, ratio
    }
  }' "$results"
