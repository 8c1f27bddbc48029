# Fails when a layer includes a header it must not know.
# - The DSP, the plug-in, and the shared preset, file and update code stay free of host, window,
#   network, audio-file and drawing headers, and of every layer above them.
# - The framework (core, gfx, and the window and system bindings) knows no product: it includes
#   nothing of Plumbrook's folders and names no Plumbrook type.

function(check_folders folders forbidden what)
  foreach(folder ${folders})
    file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
    foreach(source ${sources})
      file(STRINGS ${source} lines REGEX "${forbidden}")
      foreach(line ${lines})
        string(APPEND failures "\n  ${source} (${what}): ${line}")
      endforeach()
    endforeach()
  endforeach()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

set(failures "")
set(system_headers "<(curl|lv2|lilv|sndfile|X11|GL|EGL|pugl|nanovg|taglib)[/.]")
check_folders("dsp;core;plugin;presets;updates;files"
              "^[ \t]*#[ \t]*include[ \t]*(${system_headers}|\"(platform|gfx|editor|apps)/)"
              "a higher layer or the platform")
check_folders("dsp;presets;updates;files" "^[ \t]*#[ \t]*include[ \t]*\"plugin/" "the plug-in above it")
check_folders("core;gfx;platform/window;platform/system"
              "^[ \t]*#[ \t]*include[ \t]*\"(dsp|plugin|editor|apps)/" "the product")
check_folders("core;gfx" "^[ \t]*#[ \t]*include[ \t]*\"(presets|updates|files)/" "the product")
check_folders("core;gfx;platform/window;platform/system" "[Pp]lumbrook[^_]|[Pp]lumbrook$" "the product's name")
if(failures)
  message(FATAL_ERROR "Headers or names from the wrong layer:${failures}")
endif()
