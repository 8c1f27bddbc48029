// Pictures of loudness over time, drawn headless in the editor's look and written as PNG: one per
// master (or per analysed file), and one overview of an album.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "apps/loudness.h"

namespace plumbrook::cli {

/// Gain reduction over one timeline step, in dB (0 or negative), as the editor's meters read it.
struct ReductionStep {
  float limiterDb = 0.0f;
  float glueDb[3] = {0.0f, 0.0f, 0.0f};  // low, mid, high
};

/// Everything one picture shows. Timelines hold one step per LoudnessMeter::kTimelineStep.
struct LoudnessPicture {
  std::string title;    // the file's name
  std::string details;  // format, rate, channels, length
  std::string figures;  // loudness before and after, range, true peak, gain
  std::vector<LoudnessStep> input;   // empty when only one file was measured
  std::vector<LoudnessStep> master;
  std::vector<ReductionStep> reduction;  // empty when no chain ran
  std::optional<double> targetLufs;
  std::optional<double> ceilingDb;
  double integratedBefore = -1.0 / 0.0;
  double integratedAfter = -1.0 / 0.0;
  /// Written across the picture instead of curves, e.g. why a file could not be measured.
  std::string note;
};

struct AlbumTrack {
  std::string name;
  double beforeLufs;
  double afterLufs;
  double truePeakDb;
};

struct AlbumPicture {
  std::string title;
  std::vector<AlbumTrack> tracks;
  double albumBeforeLufs = -1.0 / 0.0;
  double albumAfterLufs = -1.0 / 0.0;
  std::optional<double> targetLufs;
  std::optional<double> ceilingDb;
};

/// The pictures' size in points; `scale` multiplies it into pixels (2 for HiDPI).
inline constexpr int kPictureWidth = 1600;
inline constexpr int kPictureHeight = 900;

/// Draws the picture and writes it to `path` through a temporary file beside it; false with a
/// one-line reason when no headless drawing is available or the file cannot be written.
bool writeLoudnessPicture(const LoudnessPicture& picture, float scale, const std::string& path, std::string& error);
bool writeAlbumPicture(const AlbumPicture& picture, float scale, const std::string& path, std::string& error);

/// Round tick values from `low` to `high` (at most about `most` of them), on steps of 1, 2 or 5
/// times a power of ten, or, for time in seconds, on 1, 2, 5, 10, 15 and 30 s and whole minutes.
std::vector<double> roundTicks(double low, double high, int most, bool seconds);
/// A time for an axis or a report: "0:42", "1:05" or "12:30"; "4.5 s" below ten seconds with tenths.
std::string clockText(double seconds, bool tenths);

}  // namespace plumbrook::cli
