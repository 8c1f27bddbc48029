#!/usr/bin/env bash
# One table of ns per frame at 48 kHz: the chain and each of its stages (Google Benchmark, the
# minimum of repeated runs), stereo and mono, blocks of 16, 64, 256 and 1024 frames; then the
# built LV2 plug-in, x42 dpl (true peak) and the LSP limiter through the same LV2 host (the minimum
# of repeated runs). With --instructions, also callgrind instructions per frame for every stage,
# the figure to decide by on a shared, noisy machine.
# Usage: bench/speed_table.sh [--instructions] [BUILD_DIR] [RUNS] [LV2_SECONDS]   (defaults: build 5 4)
set -euo pipefail
cd "$(dirname "$0")/.."
instructions=0
if [[ ${1:-} == --instructions ]]; then
  instructions=1
  shift
fi
build=${1:-build}
runs=${2:-5}
seconds=${3:-4}
bench="$build/bench/plumbrook_bench"
lv2bench="$build/bench/lv2/plumbrook_lv2_bench"
counter="$build/bench/plumbrook_stage_instructions"
for tool in "$bench" "$lv2bench" "$counter"; do
  if [[ ! -x $tool ]]; then
    echo "speed_table.sh: $tool not built (cmake --build $build --target plumbrook_bench plumbrook_lv2_bench plumbrook_stage_instructions)" >&2
    exit 1
  fi
done
export LV2_PATH="$(cd "$build" && pwd)/lv2:/usr/local/lib/lv2:/usr/lib/lv2:/usr/lib/x86_64-linux-gnu/lv2"
results=$(mktemp)
trap 'rm -f "$results" "$results.json"' EXIT

"$bench" --benchmark_filter='^BM_Stage/' --benchmark_repetitions="$runs" --benchmark_min_time=0.2 \
  --benchmark_format=json >"$results.json" 2>/dev/null
python3 - "$results.json" >>"$results" <<'PY'
import json, sys
names = ["chain", "chain+meters", "eq", "glue", "limiter"]
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") != "min":
        continue
    args = dict(part.split(":") for part in b["run_name"].split("/")[1:])
    print(f"{names[int(args['stage'])]}|{args['channels']}|{args['block']}|ns|{b['ns_per_frame'] * 1e9:.2f}")
PY

# name | channels | URI | controls. Every Plumbrook stage works; each peer limits about as hard.
plumbrook_controls="amount=200 eq_low=2 eq_mid=-1.5 eq_high=1.5 true_peak=1 lookahead=1 threshold=-10 ceiling=-1"
peers=(
  "LV2 Plumbrook|2|https://quillfen.example/lv2/plumbrook#stereo|$plumbrook_controls"
  "LV2 Plumbrook|1|https://quillfen.example/lv2/plumbrook#mono|$plumbrook_controls"
  "x42 dpl (true peak)|2|http://gareus.org/oss/lv2/dpl#stereo|truepeak=1 gain=10 threshold=-1"
  "x42 dpl (true peak)|1|http://gareus.org/oss/lv2/dpl#mono|truepeak=1 gain=10 threshold=-1"
  "LSP limiter|2|http://lsp-plug.in/plugins/lv2/limiter_stereo|g_in=3.1623 th=0.8913"
  "LSP limiter|1|http://lsp-plug.in/plugins/lv2/limiter_mono|g_in=3.1623 th=0.8913"
)
for ((run = 1; run <= runs; ++run)); do
  for block in 16 64 256 1024; do
    # Interleaved, so that a change in machine load touches every plug-in alike.
    for entry in "${peers[@]}"; do
      IFS='|' read -r name channels uri controls <<<"$entry"
      # shellcheck disable=SC2086
      if ! out=$("$lv2bench" --seconds "$seconds" --block "$block" "$uri" $controls 2>&1); then
        echo "speed_table.sh: $name failed: $out" >&2
        continue
      fi
      awk -v name="$name" -v ch="$channels" -v block="$block" -v rate=48000 \
        '$1 == "run_cpu_seconds" {cpu = $2} $1 == "audio_seconds" {s = $2}
         END {printf "%s|%s|%s|ns|%.2f\n", name, ch, block, cpu / (s * rate) * 1e9}' <<<"$out" >>"$results"
    done
  done
done

if ((instructions)); then
  for stage in chain chain+meters eq glue limiter; do
    for channels in 2 1; do
      for block in 16 64 256 1024; do
        out=$(valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file=/dev/null \
          "$counter" "$stage" "$channels" "$block" 24576 2>&1)
        awk -v name="$stage" -v ch="$channels" -v block="$block" \
          '$1 == "frames" {f = $2} /Collected :/ {ir = $NF} END {printf "%s|%s|%s|ir|%.1f\n", name, ch, block, ir / f}' \
          <<<"$out" >>"$results"
      done
    done
  done
fi

python3 - "$results" "$runs" <<'PY'
import sys
rows = {}
order = []
for line in open(sys.argv[1]):
    name, ch, block, kind, value = line.strip().split("|")
    key = (name, int(ch))
    if key not in rows:
        rows[key] = {}
        order.append(key)
    cell = rows[key].setdefault((kind, int(block)), [])
    cell.append(float(value))
blocks = [16, 64, 256, 1024]
print(f"ns per frame at 48 kHz, minimum of {sys.argv[2]} runs; true peak and look-ahead on, every stage working")
print(f"{'':24}{'ch':>3}" + "".join(f"{b:>9}" for b in blocks) + f"{'16/1024':>9}" + "   instructions per frame" * any(
    k == "ir" for r in rows.values() for k, _ in r))
def fmt(x):
    return f"{x:9.1f}" if x is not None else f"{'-':>9}"
for key in order:
    r = rows[key]
    ns = [min(r[("ns", b)]) if ("ns", b) in r else None for b in blocks]
    ratio = f"{ns[0] / ns[3]:9.2f}" if ns[0] and ns[3] else f"{'-':>9}"
    ir = [r[("ir", b)][0] if ("ir", b) in r else None for b in blocks]
    line = f"{key[0]:24}{key[1]:>3}" + "".join(fmt(x) for x in ns) + ratio
    if any(x is not None for x in ir):
        line += "   " + " ".join(f"{x:7.0f}" if x else "      -" for x in ir)
    print(line)
stereo = {k[0]: min(rows[k].get(("ns", 256), [0])) for k in order if k[1] == 2}
mono = {k[0]: min(rows[k].get(("ns", 256), [0])) for k in order if k[1] == 1}
dpl = stereo.get("x42 dpl (true peak)")
print()
for name in stereo:
    if stereo[name] and mono.get(name):
        extra = f", x42 dpl / this {dpl / stereo[name]:.2f}" if dpl else ""
        print(f"{name:24} at 256 frames: mono / stereo {mono[name] / stereo[name]:.2f}{extra}")
PY
