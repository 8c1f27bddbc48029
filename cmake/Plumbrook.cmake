# Shared compile settings and the helpers that register libraries and tests.

add_library(plumbrook_warnings INTERFACE)
# -Wno-psabi: GCC's note that the ABI of 32-byte vector arguments changed in GCC 4.6 is about
# calls between objects built by old and new compilers, which never happens here.
target_compile_options(plumbrook_warnings INTERFACE -Wall -Wextra $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
                       -Wnon-virtual-dtor $<$<CXX_COMPILER_ID:GNU>:-Wno-psabi>)
if(PLUMBROOK_WERROR)
  target_compile_options(plumbrook_warnings INTERFACE -Werror)
endif()

if(PLUMBROOK_SANITIZE)
  add_compile_options(-fsanitize=${PLUMBROOK_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${PLUMBROOK_SANITIZE})
endif()

# plumbrook_library(<name> [DEPS ...] [PRIVATE_DEPS ...]): a static library from every
# .cpp file directly in the calling folder, with the alias plumbrook::<name>.
function(plumbrook_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  add_library(plumbrook::${name} ALIAS ${name})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE plumbrook_warnings ${ARG_PRIVATE_DEPS})
endfunction()

# plumbrook_tests(<folder> LIBS ...): one test executable per tests/<folder>/*_test.cpp,
# linked with GoogleTest, the shared test support, the allocation tripwire and the test
# environment (which keeps tests out of the user's data folder and off the network). Its tests
# are labelled with the folder and with every stage that lists the executable in
# PLUMBROOK_STAGE_<stage> (for example PLUMBROOK_STAGE_asan), and the target plumbrook_<stage>
# builds them.
function(plumbrook_tests folder)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_test.cpp)
  foreach(source ${tests})
    get_filename_component(stem ${source} NAME_WE)
    set(target ${folder}_${stem})
    add_executable(${target} ${source} $<TARGET_OBJECTS:plumbrook_tripwire>
                   $<TARGET_OBJECTS:plumbrook_test_environment>)
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} plumbrook_test_support
                          GTest::gtest_main GTest::gmock plumbrook_warnings)
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST
                         PROPERTIES LABELS ${folder}
                         ENVIRONMENT "PLUMBROOK_BUILD_DIR=${PROJECT_BINARY_DIR}")
    set(labels ${folder})
    foreach(stage IN LISTS PLUMBROOK_STAGES)
      if(target IN_LIST PLUMBROOK_STAGE_${stage})
        list(APPEND labels ${stage})
        add_dependencies(plumbrook_${stage} ${target})
      endif()
    endforeach()
    # The discovered tests exist only when CTest runs, so their stage labels are set by a
    # script that CTest includes after the discovery.
    if(NOT labels STREQUAL folder)
      set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake)
      file(WRITE ${script} "if(${target}_TESTS)\n  set_tests_properties(\${${target}_TESTS} PROPERTIES LABELS \"${labels}\")\nendif()\n")
      set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
    endif()
  endforeach()
endfunction()
