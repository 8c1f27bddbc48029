#!/usr/bin/env bash
# CPU of jalv running an LV2 plug-in on a JACK server's dummy back end under a private Xvfb, for
# SECONDS each: the stereo plug-in with its own editor open and with jalv's generic controls, both
# on silence (the meters rest) and with a click track playing (the meters move); then, with clicks
# playing, the editors of installed peers on the same software rasteriser: x42 dpl and the LSP
# limiter in jalv.gtk3, and Calf's limiter in jalv.qt5 (jalv.gtk3 cannot show it); and the plug-in
# and Calf's limiter in the console jalv, with no UI, so that each editor's own share can be told
# from what its audio and the host cost. Beside the CPU of the whole process: the part the software
# rasteriser's worker threads used, and the context switches of all threads (the rasteriser hands
# work to and from its workers at every flush).
# With a BASELINE_BUILD_DIR (an earlier build of the plug-in), every case of the plug-in is also
# measured with that build's bundle, just before, so that both figures come from one run.
# Usage: bench/lv2/ui_idle_cost.sh [BUILD_DIR] [SECONDS] [BASELINE_BUILD_DIR]   (defaults: build 10)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
seconds=${2:-10}
baseline=${3:-}
# The built bundle first, then the installed peers.
peers=${LV2_PATH:-$HOME/.lv2:/usr/local/lib/lv2:/usr/lib/lv2}
bundlePath() { echo "$(cd "$1" && pwd)/lv2:$peers"; }
export LV2_PATH="$(bundlePath "$build")"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 50); do [[ -s $work/display ]] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
export JACK_DEFAULT_SERVER="plumbrook-bench-$$" JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
jackd -n "$JACK_DEFAULT_SERVER" --no-realtime -d dummy -r 48000 -p 256 >/dev/null 2>&1 &
pids+=($!)
jack_wait -s "$JACK_DEFAULT_SERVER" -w -t 10 >/dev/null 2>&1
mkdir -p "$work/home"

# CPU seconds (user + system) a process has used so far.
cpu_seconds() { awk -v hz="$(getconf CLK_TCK)" '{print ($14 + $15) / hz}' "/proc/$1/stat"; }
# The same for the software rasteriser's worker threads alone.
rasteriser_seconds() {
  local hz t sum=0
  hz=$(getconf CLK_TCK)
  for t in /proc/"$1"/task/*; do
    [[ $(cat "$t/comm" 2>/dev/null) == llvmpipe-* ]] && sum=$(awk -v s="$sum" -v hz="$hz" '{print s + ($14 + $15) / hz}' "$t/stat")
  done
  echo "$sum"
}
# Context switches of every thread of a process so far: each hand-over between the editor's thread
# and the rasteriser's workers is two of them.
context_switches() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/ctxt_switches/ { n += $2 } END { print n + 0 }'; }

# measure LABEL silence|music HOST URI [HOST ARGS...]
measure() {
  local label=$1 signal=$2 host=$3 uri=$4
  shift 4
  if ! command -v "$host" >/dev/null || ! lv2info "$uri" >/dev/null 2>&1; then
    printf '%-40s not installed\n' "$label"
    return
  fi
  if [[ $host == jalv ]]; then
    # The console host: no UI at all, and it quits when its standard input ends.
    HOME="$work/home" jalv -n plumbrook -x "$@" "$uri" < <(sleep $((seconds + 10)) 2>/dev/null) >/dev/null 2>&1 &
  else
    HOME="$work/home" "$host" --jack-name plumbrook -x "$@" "$uri" >/dev/null 2>&1 &
  fi
  local jalv=$!
  sleep 5
  local metro=
  if [[ $signal == music ]]; then
    jack_metro -n metro -b 240 >/dev/null 2>&1 &
    metro=$!
    sleep 1
    # Every audio input of the plug-in, whatever the plug-in calls it.
    jack_lsp -p | awk '/^plumbrook:/ { port = $0 } /properties: input/ && port { print port } { if (!/^plumbrook:/) port = "" }' |
      while read -r port; do jack_connect metro:240_bpm "$port" 2>/dev/null || true; done
  fi
  local before after rBefore rAfter sBefore sAfter
  before=$(cpu_seconds "$jalv") rBefore=$(rasteriser_seconds "$jalv") sBefore=$(context_switches "$jalv")
  sleep "$seconds"
  after=$(cpu_seconds "$jalv") rAfter=$(rasteriser_seconds "$jalv") sAfter=$(context_switches "$jalv")
  awk -v a="$after" -v b="$before" -v ra="$rAfter" -v rb="$rBefore" -v sa="$sAfter" -v sb="$sBefore" -v s="$seconds" -v l="$label" \
    'BEGIN { printf "%-40s %6.1f ms CPU per second (rasteriser threads %5.1f), %5.0f context switches per second\n", l, (a - b) * 1000 / s, (ra - rb) * 1000 / s, (sa - sb) / s }'
  [[ -n $metro ]] && kill "$metro"
  kill "$jalv"
  wait "$jalv" 2>/dev/null || true
}

plumbrook=https://quillfen.example/lv2/plumbrook#stereo
# measurePlumbrook LABEL silence|music [HOST ARGS...]: the plug-in in jalv.gtk3, the baseline first.
measurePlumbrook() {
  local label=$1 signal=$2
  shift 2
  [[ -n $baseline ]] && LV2_PATH="$(bundlePath "$baseline")" measure "$label (baseline)" "$signal" jalv.gtk3 "$plumbrook" "$@"
  measure "$label" "$signal" jalv.gtk3 "$plumbrook" "$@"
}
measurePlumbrook "editor open, silence" silence
measurePlumbrook "editor open, clicks playing" music
measurePlumbrook "generic controls, silence" silence -g
measurePlumbrook "generic controls, clicks playing" music -g
# What the audio and the host cost without any UI, for the plug-in and for Calf's limiter: the
# editors' own share is each editor's figure less these.
measure "no UI (console jalv), clicks playing" music jalv "$plumbrook"
measure "Calf limiter, no UI (console jalv), clicks playing" music jalv http://calf.sourceforge.net/plugins/Limiter
measure "x42 dpl editor, clicks playing" music jalv.gtk3 http://gareus.org/oss/lv2/dpl#stereo
measure "LSP limiter editor, clicks playing" music jalv.gtk3 http://lsp-plug.in/plugins/lv2/limiter_stereo
measure "Calf limiter editor (jalv.qt5), clicks playing" music jalv.qt5 http://calf.sourceforge.net/plugins/Limiter
