# libFuzzer targets for the JSON reader and the update record and feed readers (clang only).
if(PLUMBROOK_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(updates_fuzz_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=undefined
                              -fno-omit-frame-pointer)
  # The code under test needs coverage instrumentation, so the updates sources are rebuilt here
  # with it; the HTTP layer they link against is not fuzzed and stays as it is.
  get_target_property(updates_fuzz_sources updates SOURCES)
  add_library(updates_fuzzed STATIC ${updates_fuzz_sources})
  target_include_directories(updates_fuzzed PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(updates_fuzzed PRIVATE -fsanitize=fuzzer-no-link ${updates_fuzz_sanitizers})
  target_link_libraries(updates_fuzzed PUBLIC plumbrook::platform_system PRIVATE plumbrook_warnings)

  foreach(name json_document json_update_record json_update_notice)
    set(target fuzz_${name})
    add_executable(${target} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/${name}_fuzz.cpp)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer ${updates_fuzz_sanitizers})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer ${updates_fuzz_sanitizers})
    target_link_libraries(${target} PRIVATE updates_fuzzed plumbrook_warnings)
    # New inputs go to the work directory (listed first); the committed seeds are only read.
    set(work ${CMAKE_CURRENT_BINARY_DIR}/fuzz/${name})
    file(MAKE_DIRECTORY ${work}/corpus ${work}/artifacts)
    add_test(NAME fuzz_${name}
             COMMAND ${target} -max_total_time=10 -print_final_stats=1
                     -artifact_prefix=${work}/artifacts/
                     ${work}/corpus ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${name})
    set_tests_properties(fuzz_${name} PROPERTIES LABELS fuzz TIMEOUT 120)
  endforeach()
endif()
