# Libraries compiled from sources that Debian packages install (never copied into this repository):
# NanoVG with fontstash and stb_truetype/stb_image, its GL3 renderer, and the pugl window library.
set(PLUMBROOK_DPF_SRC /usr/share/dpf/dgl/src CACHE PATH "Sources installed by the dpf-source package")
set(nanovg_dir ${PLUMBROOK_DPF_SRC}/nanovg)
if(NOT EXISTS ${nanovg_dir}/nanovg.c)
  message(FATAL_ERROR "NanoVG sources not found in ${nanovg_dir}: install dpf-source (scripts/setup.sh)")
endif()

# NanoVG's sources rely on C++ conversions, so they are compiled as C++.
set_source_files_properties(${nanovg_dir}/nanovg.c PROPERTIES LANGUAGE CXX)
add_library(plumbrook_nanovg STATIC ${nanovg_dir}/nanovg.c)
target_include_directories(plumbrook_nanovg SYSTEM PUBLIC ${nanovg_dir})
target_compile_options(plumbrook_nanovg PRIVATE -w)
target_link_libraries(plumbrook_nanovg PUBLIC m)

find_package(OpenGL REQUIRED COMPONENTS OpenGL EGL GLX)

# The GL3 renderer is a header with its implementation behind a macro: compile that header itself.
set(nanovg_gl ${nanovg_dir}/nanovg_gl.h)
set_source_files_properties(${nanovg_gl} PROPERTIES LANGUAGE CXX HEADER_FILE_ONLY OFF
  COMPILE_OPTIONS "-xc++;-include;GL/gl.h;-include;nanovg.h"
  COMPILE_DEFINITIONS "NANOVG_GL3_IMPLEMENTATION;GL_GLEXT_PROTOTYPES")
add_library(plumbrook_nanovg_gl3 STATIC ${nanovg_gl})
target_compile_options(plumbrook_nanovg_gl3 PRIVATE -w)
target_link_libraries(plumbrook_nanovg_gl3 PUBLIC plumbrook_nanovg OpenGL::OpenGL)

# pugl: the portable plug-in window library, with its X11 and X11 GL back ends.
set(pugl_dir ${PLUMBROOK_DPF_SRC}/pugl-upstream)
find_package(X11 REQUIRED)
set(pugl_sources ${pugl_dir}/src/common.c ${pugl_dir}/src/internal.c ${pugl_dir}/src/x11.c ${pugl_dir}/src/x11_gl.c)
# This copy declares its API without C linkage, so it is compiled as C++ like its callers.
set_source_files_properties(${pugl_sources} PROPERTIES LANGUAGE CXX)
add_library(plumbrook_pugl STATIC ${pugl_sources})
target_include_directories(plumbrook_pugl SYSTEM PUBLIC ${pugl_dir}/include)
target_compile_definitions(plumbrook_pugl PUBLIC PUGL_STATIC PRIVATE PUGL_INTERNAL HAVE_XRANDR HAVE_XCURSOR HAVE_XSYNC)
target_compile_options(plumbrook_pugl PRIVATE -w)
target_link_libraries(plumbrook_pugl PUBLIC OpenGL::GLX OpenGL::OpenGL X11::X11 X11::Xext X11::Xrandr X11::Xcursor)
