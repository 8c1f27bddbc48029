#!/usr/bin/env bash
# Sets up the machine, builds the command-line tool and runs the main job on its built-in default.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLUMBROOK_TESTS=OFF -DPLUMBROOK_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target plumbrook >/dev/null
# With no arguments: master the built-in demo programme and print the loudness report.
if [ $# -eq 0 ]; then set -- render -o build/plumbrook-demo.wav --report; fi
exec build/apps/plumbrook "$@"
