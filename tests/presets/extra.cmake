# libFuzzer targets for preset files and Base64, each run briefly as a CTest test (clang only).
#
# Build and run them:
#   cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
#         -DPLUMBROOK_FUZZ=ON -DPLUMBROOK_BENCH=OFF
#   cmake --build build-fuzz --target fuzz_preset_file fuzz_base64
#   ctest --test-dir build-fuzz -L fuzz --output-on-failure
# A longer session (new inputs go to the first directory, the committed seeds stay as they are):
#   build-fuzz/tests/fuzz_preset_file -max_total_time=600 -rss_limit_mb=2048 \
#       build-fuzz/tests/fuzz-corpus/preset_file tests/fuzz/corpus/preset_file
#
# The sources are compiled into each fuzzer with its instrumentation, rather than linking the
# plain presets library, so that libFuzzer sees the coverage of the code under test.
if(PLUMBROOK_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  file(GLOB presets_fuzz_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/presets/*.cpp)
  foreach(presets_fuzz_name preset_file base64)
    set(presets_fuzz_target fuzz_${presets_fuzz_name})
    add_executable(${presets_fuzz_target} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/${presets_fuzz_name}_fuzz.cpp
                   ${presets_fuzz_sources})
    target_include_directories(${presets_fuzz_target} PRIVATE ${PROJECT_SOURCE_DIR})
    # Own warning set: the shared one carries a GCC-only flag that clang rejects.
    target_compile_options(${presets_fuzz_target} PRIVATE -Wall -Wextra -Wshadow -Werror -g -O1
                           -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
                           -fno-omit-frame-pointer)
    target_link_options(${presets_fuzz_target} PRIVATE -fsanitize=fuzzer,address,undefined)
    set(presets_fuzz_work ${CMAKE_CURRENT_BINARY_DIR}/fuzz-corpus/${presets_fuzz_name})
    file(MAKE_DIRECTORY ${presets_fuzz_work})
    add_test(NAME ${presets_fuzz_target}
             COMMAND ${presets_fuzz_target} -max_total_time=10 -rss_limit_mb=2048 -print_final_stats=1
                     ${presets_fuzz_work} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${presets_fuzz_name})
    set_tests_properties(${presets_fuzz_target} PROPERTIES LABELS fuzz TIMEOUT 120)
  endforeach()
endif()
