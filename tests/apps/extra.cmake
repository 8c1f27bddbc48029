# The command-line tests run the built plumbrook tool: build it before them.
file(GLOB app_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/apps/*_test.cpp)
foreach(source ${app_tests})
  get_filename_component(stem ${source} NAME_WE)
  add_dependencies(apps_${stem} plumbrook)
endforeach()
# The snapshot and analyze tests read and write PNG pictures.
target_link_libraries(apps_snapshot_test PRIVATE plumbrook_test_pictures)
target_link_libraries(apps_analyze_test PRIVATE plumbrook_test_pictures)
# The tag test reads the masters back with TagLib.
pkg_check_modules(TEST_TAGS REQUIRED IMPORTED_TARGET taglib)
target_link_libraries(apps_tags_test PRIVATE PkgConfig::TEST_TAGS)
# The true-peak test makes the built-in demo programme at other rates.
target_sources(apps_true_peak_ceiling_test PRIVATE ${PROJECT_SOURCE_DIR}/apps/demo_program.cpp)
# The meter's test measures with the tool's own loudness meter.
target_sources(apps_loudness_meter_test PRIVATE ${PROJECT_SOURCE_DIR}/apps/loudness.cpp)
