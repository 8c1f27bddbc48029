# libFuzzer targets for the JSON reader and the update record and feed readers (clang only).
#
# Build and run them:
#   cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
#         -DPLUMBROOK_FUZZ=ON -DPLUMBROOK_BENCH=OFF
#   cmake --build build-fuzz --target fuzz_json_document fuzz_json_update_record fuzz_json_update_notice
#   ctest --test-dir build-fuzz -R fuzz_json --output-on-failure
# A longer session (new inputs go to the first directory, the committed seeds stay as they are):
#   build-fuzz/tests/fuzz_json_document -max_total_time=600 \
#       build-fuzz/tests/fuzz-corpus/json_document tests/fuzz/corpus/json_document
#
# The updates sources and the HTTP layer under them are compiled here again with coverage
# instrumentation, so that libFuzzer sees the code under test; nothing else is linked.
if(PLUMBROOK_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  find_package(CURL REQUIRED)
  find_package(Threads REQUIRED)
  # Own warning set: the shared one carries a GCC-only flag that clang rejects.
  set(updates_fuzz_flags -Wall -Wextra -Wshadow -Werror -fsanitize=address,undefined
                         -fno-sanitize-recover=all -fno-omit-frame-pointer)
  file(GLOB updates_fuzz_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/updates/*.cpp
       ${PROJECT_SOURCE_DIR}/platform/system/*.cpp)
  add_library(updates_fuzzed STATIC ${updates_fuzz_sources})
  target_include_directories(updates_fuzzed PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(updates_fuzzed PRIVATE -fsanitize=fuzzer-no-link ${updates_fuzz_flags})
  target_link_libraries(updates_fuzzed PUBLIC CURL::libcurl Threads::Threads)

  foreach(updates_fuzz_name json_document json_update_record json_update_notice)
    set(updates_fuzz_target fuzz_${updates_fuzz_name})
    add_executable(${updates_fuzz_target}
                   ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/${updates_fuzz_name}_fuzz.cpp)
    target_compile_options(${updates_fuzz_target} PRIVATE -fsanitize=fuzzer ${updates_fuzz_flags})
    target_link_options(${updates_fuzz_target} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${updates_fuzz_target} PRIVATE updates_fuzzed)
    set(updates_fuzz_work ${CMAKE_CURRENT_BINARY_DIR}/fuzz-corpus/${updates_fuzz_name})
    set(updates_fuzz_artifacts ${CMAKE_CURRENT_BINARY_DIR}/fuzz-artifacts/${updates_fuzz_name})
    file(MAKE_DIRECTORY ${updates_fuzz_work} ${updates_fuzz_artifacts})
    add_test(NAME ${updates_fuzz_target}
             COMMAND ${updates_fuzz_target} -max_total_time=10 -rss_limit_mb=2048
                     -print_final_stats=1 -artifact_prefix=${updates_fuzz_artifacts}/
                     ${updates_fuzz_work} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${updates_fuzz_name})
    set_tests_properties(${updates_fuzz_target} PROPERTIES LABELS fuzz TIMEOUT 120)
  endforeach()
endif()
