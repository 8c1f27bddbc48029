#!/usr/bin/env bash
# Sets up the machine, builds everything with warnings as errors and runs the whole test suite:
# the main build, the real-time torture test under AddressSanitizer and UndefinedBehaviorSanitizer,
# the cross-thread paths under ThreadSanitizer, and a short run of every fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
step() { printf '\n== %s\n' "$*"; }

step "build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLUMBROOK_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

step "AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLUMBROOK_SANITIZE=address,undefined \
      -DPLUMBROOK_BENCH=OFF >/dev/null
asan_tests=(platform_host_torture_test platform_signal_chain_test platform_state_test
            platform_preset_operations_test dsp_limiter_test dsp_glue_test dsp_eq_test)
cmake --build build-asan -j"$jobs" --target "${asan_tests[@]}"
ctest --test-dir build-asan --output-on-failure -j"$jobs" \
      -R '^(host_torture|signal_chain|state_chunk|host_state|PresetOperations|limiter|glue|eq)'

step "ThreadSanitizer"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLUMBROOK_SANITIZE=thread \
      -DPLUMBROOK_BENCH=OFF >/dev/null
tsan_tests=(platform_metering_threads_test core_host_boundary_test updates_update_worker_test
            platform_lv2_host_test plumbrook_lv2_bundle)
cmake --build build-tsan -j"$jobs" --target "${tsan_tests[@]}"
ctest --test-dir build-tsan --output-on-failure -j"$jobs" -R '^(metering_threads|param_change_queue|update_worker|lv2_host)'

step "fuzzers"
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPLUMBROOK_FUZZ=ON \
      -DPLUMBROOK_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzzers
ctest --test-dir build-fuzz --output-on-failure -L fuzz
