# The SVG reader's tests read the bundle's artwork from the source tree.
if(TARGET gfx_svg_test)
  target_compile_definitions(gfx_svg_test PRIVATE PLUMBROOK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
if(TARGET gfx_svg_control_test)
  target_compile_definitions(gfx_svg_control_test PRIVATE PLUMBROOK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
