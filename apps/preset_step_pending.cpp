// Temporary: preset loading until the plug-in's preset operations are available.
#include "apps/settings.h"

namespace plumbrook::cli {
bool applyPreset(Plumbrook&, ConsoleSurface&, const std::string& nameOrFile, std::string& error) {
  error = "--preset '" + nameOrFile + "': presets are not available in this build";
  return false;
}
}  // namespace plumbrook::cli
