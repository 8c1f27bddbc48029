// Measuring a file as it is, and checking it against a delivery target.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "apps/loudness.h"
#include "apps/loudness_picture.h"

namespace plumbrook::cli {

/// The loudest value of a curve and where its window ends, in seconds from the start.
struct LoudestMoment {
  double lufs = -1.0 / 0.0;
  double seconds = 0.0;
};

struct Analysis {
  std::string format;  // e.g. "WAV 24-bit"
  double sampleRate = 0.0;
  int channels = 0;
  double seconds = 0.0;
  Loudness loudness{};
  LoudestMoment loudestShortTerm;
  LoudestMoment loudestMomentary;
  std::vector<LoudnessStep> timeline;
  std::string note;  // why something could not be measured, or the reader's warning
};

/// Reads `path` ("-" for standard input) once, streaming, through the same meter as the render
/// report. False with a one-line reason when it cannot be read.
bool analyzeFile(const std::string& path, bool keepTimeline, Analysis& analysis, std::string& error);
/// The loudest momentary and short-term values of a timeline.
void findLoudestMoments(const std::vector<LoudnessStep>& timeline, Analysis& analysis);

/// What a delivery asks of a file.
struct DeliveryCheck {
  std::string name;
  std::optional<double> targetLufs;
  double toleranceLu = 1.0;
  double ceilingDb = 0.0;
};
/// The named delivery profile as a check; nullopt with a message naming the known ones.
std::optional<DeliveryCheck> deliveryCheck(const std::string& profile, std::string& error);
/// Why `loudness` fails the check ("true peak -0.6 dBTP above -1.0"), or empty when it passes.
std::string deliveryFailure(const Loudness& loudness, const DeliveryCheck& check);

/// One picture path per input from --plot: a file (one input only), a folder (existing, or
/// ending in '/') that gets '<stem>.png', or a name with {stem}. False with a reason when the
/// inputs would share a picture or a folder does not exist or cannot be written.
bool plotPaths(const std::string& plot, const std::vector<std::string>& inputs, std::vector<std::string>& paths,
               std::string& error);
/// False with the system's reason when no file can be created in `path`'s folder.
bool folderWritable(const std::string& path, std::string& error);
/// --plot-scale: from 0.5 to 4.
bool parsePlotScale(const std::string& text, float& scale, std::string& error);

/// The picture of a file measured on its own.
LoudnessPicture analysisPicture(const std::string& input, const Analysis& analysis,
                                const std::optional<DeliveryCheck>& check);

}  // namespace plumbrook::cli
