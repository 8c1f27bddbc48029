#!/usr/bin/env bash
# CPU of jalv.gtk3 running the stereo plug-in on a JACK server's dummy back end under a private
# Xvfb, for SECONDS: with the plug-in's own editor open, then with jalv's generic controls, both
# on silence (the meters rest) and with a click track playing (the meters move).
# Usage: bench/lv2/ui_idle_cost.sh [BUILD_DIR] [SECONDS]   (defaults: build 10)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
seconds=${2:-10}
export LV2_PATH="$(cd "$build" && pwd)/lv2"
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

measure() {
  local label=$1 signal=$2
  shift 2
  HOME="$work/home" jalv.gtk3 --jack-name plumbrook -x "$@" https://quillfen.example/lv2/plumbrook#stereo \
    >/dev/null 2>&1 &
  local jalv=$!
  sleep 3
  local metro=
  if [[ $signal == music ]]; then
    jack_metro -n metro -b 240 >/dev/null 2>&1 &
    metro=$!
    sleep 1
    jack_connect metro:240_bpm plumbrook:in_l 2>/dev/null || true
    jack_connect metro:240_bpm plumbrook:in_r 2>/dev/null || true
  fi
  local before after
  before=$(cpu_seconds "$jalv")
  sleep "$seconds"
  after=$(cpu_seconds "$jalv")
  awk -v a="$after" -v b="$before" -v s="$seconds" -v l="$label" 'BEGIN { printf "%-34s %6.1f ms CPU per second\n", l, (a - b) * 1000 / s }'
  [[ -n $metro ]] && kill "$metro"
  kill "$jalv"
  wait "$jalv" 2>/dev/null || true
}

measure "editor open, silence" silence
measure "editor open, clicks playing" music
measure "generic controls, silence" silence -g
measure "generic controls, clicks playing" music -g
