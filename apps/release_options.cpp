// The options of `plumbrook render` that master a release: many files, parallel jobs, album
// loudness, delivery profiles, sample-rate conversion and shards of a file list.
#include <cerrno>
#include <cstdlib>

#include "apps/command_line.h"
#include "apps/render_options.h"

namespace plumbrook::cli {
namespace {

// A whole number from `low` to `high`, the whole text.
bool wholeNumber(const std::string& text, long low, long high, long& out) {
  char* end = nullptr;
  errno = 0;
  out = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && errno == 0 && out >= low && out <= high;
}

}  // namespace

int parseReleaseOption(OptionReader& reader, RenderOptions& options, std::string& error) {
  const std::string& arg = reader.name();
  const bool attached = !reader.bare();
  ReleaseOptions& release = options.release;
  std::string text;
  long n = 0;
  if (arg == "-j" || arg == "--jobs") {
    if (!reader.value(text, error)) return -1;
    if (!wholeNumber(text, 1, 256, n)) {
      error = arg + " " + inQuotes(text) + ": expected a number of jobs from 1 to 256";
      return -1;
    }
    release.jobs = static_cast<int>(n);
  } else if (arg == "--name") {
    if (!reader.value(text, error)) return -1;
    release.namePattern = text;
  } else if (arg == "--skip-existing" && !attached) {
    release.skipExisting = true;
  } else if (arg == "--album" && !attached) {
    release.album = true;
  } else if (arg == "--profile") {
    if (!reader.value(text, error)) return -1;
    release.profile = text;
  } else if (arg == "--rate") {
    if (!reader.value(text, error)) return -1;
    if (!wholeNumber(text, 8000, 384000, n)) {
      error = "--rate " + inQuotes(text) + ": expected a sample rate in Hz from 8000 to 384000";
      return -1;
    }
    release.rate = static_cast<double>(n);
  } else if (arg == "--inputs-from") {
    if (!reader.value(text, error)) return -1;
    release.inputsFrom = text;
  } else if (arg == "--shard") {
    if (!reader.value(text, error)) return -1;
    const size_t slash = text.find('/');
    long k = 0, count = 0;
    if (slash == std::string::npos || !wholeNumber(text.substr(0, slash), 1, 1000000, k) ||
        !wholeNumber(text.substr(slash + 1), 1, 1000000, count) || k > count) {
      error = "--shard " + inQuotes(text) + ": expected K/N, this worker's number K from 1 to the number of workers N";
      return -1;
    }
    release.shardIndex = static_cast<int>(k);
    release.shardCount = static_cast<int>(count);
  } else {
    return 0;
  }
  return 1;
}

}  // namespace plumbrook::cli
