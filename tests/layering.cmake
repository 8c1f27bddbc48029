# Fails when a lower layer includes a header it must not know: the DSP, the plug-in core, the
# preset store and the update check stay free of host, window, network, audio-file and drawing
# headers, and of the platform layer above them.
set(forbidden "<(curl|lv2|lilv|sndfile|X11|GL|EGL|pugl|nanovg|taglib)[/.]|\"(platform|gfx|editor|apps)/")
set(failures "")
foreach(folder dsp core presets updates)
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${includes})
      if(line MATCHES "${forbidden}")
        string(APPEND failures "\n  ${source}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "Headers from a higher layer or the platform:${failures}")
endif()
