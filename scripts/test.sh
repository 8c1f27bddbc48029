#!/usr/bin/env bash
# Sets up the machine, builds everything with warnings as errors and runs the whole test suite:
# the main build, a Release build, the real-time and parsing paths under AddressSanitizer and
# UndefinedBehaviorSanitizer, the cross-thread paths under ThreadSanitizer, and a short run of
# every fuzzer. Each stage selects its tests by label and fails when it runs none.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
jobs=$(nproc)
step() { printf '\n== %s\n' "$*"; }
run_tests() { ctest --test-dir "$1" --output-on-failure --no-tests=error -j"$jobs" "${@:2}"; }
common=(-DPLUMBROOK_WERROR=ON -DPLUMBROOK_TESTS=ON)

step "build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${common[@]}" -DPLUMBROOK_BENCH=ON >/dev/null
cmake --build build -j"$jobs"
run_tests build

step "Release build"
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release "${common[@]}" -DPLUMBROOK_BENCH=OFF >/dev/null
cmake --build build-release -j"$jobs"
run_tests build-release

step "AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo "${common[@]}" -DPLUMBROOK_BENCH=OFF \
      -DPLUMBROOK_SANITIZE=address,undefined >/dev/null
cmake --build build-asan -j"$jobs" --target plumbrook_asan
run_tests build-asan -L '^asan$'

step "ThreadSanitizer"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo "${common[@]}" -DPLUMBROOK_BENCH=OFF \
      -DPLUMBROOK_SANITIZE=thread >/dev/null
cmake --build build-tsan -j"$jobs" --target plumbrook_tsan
run_tests build-tsan -L '^tsan$'

step "fuzzers"
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${common[@]}" -DPLUMBROOK_FUZZ=ON \
      -DPLUMBROOK_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzzers
run_tests build-fuzz -L '^fuzz$'
