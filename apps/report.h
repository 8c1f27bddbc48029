// The render report: loudness and peaks before and after, latency, limiter and loudness target,
// as text for people and as JSON for scripts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "apps/loudness.h"

namespace plumbrook::cli {

struct TargetResult {
  double targetLufs = 0.0;
  double gainDb = 0.0;
  int passes = 0;
};

/// One gain for a whole release, found so that all its tracks together measure the target.
struct AlbumResult {
  double targetLufs = 0.0;
  double gainDb = 0.0;
  int passes = 0;
  double beforeLufs = 0.0;  // the inputs together
  double afterLufs = 0.0;   // the masters together
};

struct RenderReport {
  std::string input;   // path, "-" or "demo"
  std::string output;  // path or "-"
  std::string outputLinkTarget;  // the file written, when output is a symbolic link
  std::string format;  // output format, e.g. "WAV 24-bit"
  double sampleRate = 0.0;
  int channels = 0;
  int64_t frames = 0;
  Loudness before{};
  Loudness after{};
  int latencySamples = 0;
  double limiterReductionDb = 0.0;
  double glueReductionDb[3] = {0.0, 0.0, 0.0};  // low, mid, high
  /// Every parameter as (symbol, display text, value in real units), in parameter order.
  struct Setting {
    std::string symbol;
    std::string shown;
    double value;
    bool isDefault;
  };
  std::vector<Setting> settings;
  std::optional<TargetResult> target;
  std::string dither;                    // "none", "tpdf" or "shaped"; "none" where nothing is rounded
  std::optional<double> guardLoweredDb;  // with --guard-true-peak: how far the ceiling was lowered
  std::optional<double> convertedFromRate;  // the input's rate when it was converted to sampleRate
  std::optional<AlbumResult> album;
  std::string status;  // in a release's report: "ok", "skipped" or "failed"
  std::string error;   // why it failed
};

/// Prints the report as a small table.
void printReport(const RenderReport& report, std::FILE* out);
/// The report as one JSON object (non-finite figures as null).
std::string reportJson(const RenderReport& report);

}  // namespace plumbrook::cli
