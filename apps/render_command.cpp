// `plumbrook render`: masters a file (or the built-in demo) through the plug-in's chain.
#include <cstdio>

#include <filesystem>

#include "apps/batch_render.h"
#include "apps/commands.h"
#include "apps/console_surface.h"
#include "apps/render_job.h"
#include "apps/render_options.h"

namespace plumbrook::cli {

int runRender(const Args& args) {
  RenderOptions options;
  std::string error;
  if (!parseRenderOptions(args, options, error)) {
    std::fprintf(stderr, "plumbrook render: %s (see 'plumbrook render --help')\n", terminalSafe(error).c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(renderUsage(), stdout);
    return 0;
  }
  if (isRelease(options)) return renderRelease(std::move(options));
  if (options.release.skipExisting && options.output && std::filesystem::exists(*options.output)) {
    if (!options.quiet) std::fprintf(stderr, "plumbrook render: '%s' exists: skipped\n", options.output->c_str());
    return 0;
  }
  return RenderJob(std::move(options)).run();
}

}  // namespace plumbrook::cli
