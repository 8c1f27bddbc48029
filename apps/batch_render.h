// `plumbrook render` over many files: each into an output folder under a name from a pattern,
// side by side in their own plug-in instances, optionally at one album gain, optionally only one
// shard of a sorted list.
#pragma once

#include "apps/render_options.h"

namespace plumbrook::cli {

/// True when the options ask for a release rather than one file: several inputs, a list, a
/// shard, a name pattern, or an output that is (or ends like) a folder.
bool isRelease(const RenderOptions& options);

/// Masters every file; the process exit status (0 all done or skipped, 1 some failed, 2 usage).
/// A failure on one file is reported and the others go on. Main thread; starts worker threads.
int renderRelease(RenderOptions options);

}  // namespace plumbrook::cli
