// Before any test runs: the application-support folder is a scratch folder of the build, never
// the user's own, and the update feed points at a closed loopback port, so no test can reach
// beyond this machine even when a plug-in's update worker gets to run.
#include <stdlib.h>

#include <string>

namespace {

struct TestEnvironment {
  TestEnvironment() {
    const char* build = getenv("PLUMBROOK_BUILD_DIR");
    const std::string home = std::string(build && *build ? build : "/tmp") + "/test-home";
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("QUILLFEN_UPDATES_URL", "http://127.0.0.1:9/updates.json", 1);
#if defined(__SANITIZE_THREAD__)
    // The software rasteriser's own worker threads are not instrumented and would be reported
    // as racing with themselves: under ThreadSanitizer it draws on the calling thread.
    setenv("LP_NUM_THREADS", "0", 1);
    // Likewise the threads that write compiled shaders to Mesa's disk cache, which start with
    // the first GL context and the first shader: without the cache there are none.
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
#endif
  }
};

const TestEnvironment environment;

}  // namespace
