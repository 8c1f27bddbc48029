#!/usr/bin/env bash
# Installs, from Debian's packages, what building and running the tool needs; with --test also
# what the tests, the sanitizer and fuzz stages and the benchmarks need. Idempotent; quiet when
# everything is already present.
set -euo pipefail

# Building the tool and the plug-in, and running them.
packages=(
  cmake
  g++
  make
  pkg-config
  lv2-dev
  libsndfile1-dev
  libebur128-dev
  libcurl4-openssl-dev
  # tags and cover art carried into the master
  libtag1-dev
  # sample-rate conversion before the chain (render --rate)
  libsoxr-dev
  # editor drawing: NanoVG and pugl sources, GL/EGL/X11 headers, fonts, PNG writing, Mesa drivers
  dpf-source
  libgl-dev
  libegl-dev
  libx11-dev
  libxext-dev
  libxrandr-dev
  libxcursor-dev
  fonts-roboto-unhinted
  libstb-dev
  libegl-mesa0
  libgl1-mesa-dri
)

# Only for the test command and the benchmarks.
test_packages=(
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  # instruction counts for the speed table (bench/speed_table.sh --instructions)
  valgrind
  # sanitizers and fuzzing
  clang
  libclang-rt-14-dev
  # hosts for the plug-in's tests, peers for the comparative benchmark
  liblilv-dev
  lilv-utils
  sordi
  x42-plugins
  lsp-plugins-lv2
  calf-plugins
  # a real host for the editor UI, with a JACK server on its dummy back end
  jalv
  jackd2
  # lets jalv.qt5 embed X11 editors (the peers' editor cost in bench/lv2/ui_idle_cost.sh)
  libqt5x11extras5
  x11-utils
  # window tests: a virtual X server, real input events, screenshots
  xvfb
  xauth
  xdotool
  imagemagick
  # independent taggers for the tag tests
  sox
  flac
  # an independent loudness meter for the analyze tests
  ffmpeg
  # shards of a file list run side by side in the shard test
  parallel
  # the EQ voicing fit tool and its test
  python3-numpy
  python3-scipy
)

if [ "${1:-}" = "--test" ]; then packages+=("${test_packages[@]}"); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq >/dev/null
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
