// `plumbrook presets`: pending the plug-in's preset operations.
#include <cstdio>

#include "apps/commands.h"

namespace plumbrook::cli {
int runPresets(const Args&) {
  std::fputs("plumbrook presets: not available in this build\n", stderr);
  return 1;
}
}  // namespace plumbrook::cli
