#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build, the tests and the
# benchmarks need. Idempotent; quiet when everything is already present.
set -euo pipefail

packages=(
  # build and test
  cmake
  g++
  make
  pkg-config
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  # sanitizers and fuzzing
  clang
  libclang-rt-14-dev
  # LV2 plug-in, hosts for its tests, peers for the comparative benchmark
  lv2-dev
  liblilv-dev
  lilv-utils
  sordi
  x42-plugins
  lsp-plugins-lv2
  # audio files and loudness measurement
  libsndfile1-dev
  libebur128-dev
  # tags and cover art carried into the master
  libtag1-dev
  # independent taggers for the tag tests
  sox
  flac
  # the update check's HTTP request
  libcurl4-openssl-dev
  # the EQ voicing fit tool
  python3-numpy
  python3-scipy
)

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
