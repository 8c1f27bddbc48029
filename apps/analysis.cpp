// Measuring a file as it is, and checking it against a delivery target.
#include "apps/analysis.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "apps/audio_file.h"
#include "apps/command_line.h"
#include "apps/delivery_profiles.h"

namespace plumbrook::cli {
namespace {

namespace fs = std::filesystem;

std::string number(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Below this, the momentary loudness (400 ms) never has a whole window.
constexpr double kShortestMeasurable = 0.4;

}  // namespace

bool analyzeFile(const std::string& path, bool keepTimeline, Analysis& analysis, std::string& error) {
  auto reader = AudioReader::open(path, false, error);
  if (!reader) return false;
  analysis.format = reader->formatName();
  analysis.sampleRate = reader->sampleRate();
  analysis.channels = reader->channels();
  LoudnessMeter meter(reader->channels(), reader->sampleRate(), false);
  meter.keepTimeline();
  meter.measureTruePeakOnThreads();
  constexpr int64_t kBlock = 16384;
  std::vector<double> block(static_cast<size_t>(kBlock * reader->channels()));
  int64_t frames = 0;
  for (int64_t n; (n = reader->read(block.data(), kBlock)) > 0;) {
    meter.add(block.data(), n);
    frames += n;
  }
  analysis.seconds = static_cast<double>(frames) / reader->sampleRate();
  analysis.loudness = meter.result();
  std::vector<LoudnessStep> timeline = meter.timeline();
  findLoudestMoments(timeline, analysis);
  if (keepTimeline) analysis.timeline = std::move(timeline);
  if (analysis.seconds < kShortestMeasurable)
    analysis.note = "too short to measure loudness: " + number("%.2f s", analysis.seconds) + " (it needs 0.4 s)";
  else
    for (const std::string& warning : reader->takeWarnings()) analysis.note += (analysis.note.empty() ? "" : "; ") + warning;
  return true;
}

void findLoudestMoments(const std::vector<LoudnessStep>& timeline, Analysis& analysis) {
  for (size_t i = 0; i < timeline.size(); ++i) {
    const double end = std::min(analysis.seconds, (static_cast<double>(i) + 1.0) * LoudnessMeter::kTimelineStep);
    if (timeline[i].shortTermLufs > analysis.loudestShortTerm.lufs)
      analysis.loudestShortTerm = {timeline[i].shortTermLufs, end};
    if (timeline[i].momentaryLufs > analysis.loudestMomentary.lufs)
      analysis.loudestMomentary = {timeline[i].momentaryLufs, end};
  }
}

std::optional<DeliveryCheck> deliveryCheck(const std::string& profile, std::string& error) {
  std::string known;
  for (const DeliveryProfile& p : deliveryProfiles()) {
    if (profile == p.name) return DeliveryCheck{p.name, p.targetLufs, 1.0, p.ceilingDb};
    known += known.empty() ? p.name : std::string(", ") + p.name;
  }
  error = "unknown profile " + inQuotes(profile) + " (known: " + known + ")";
  return std::nullopt;
}

std::string deliveryFailure(const Loudness& loudness, const DeliveryCheck& check) {
  std::string reasons;
  auto add = [&reasons](const std::string& reason) { reasons += (reasons.empty() ? "" : "; ") + reason; };
  // Rounded as shown, so that a figure printed as the ceiling is not called above it.
  const double truePeak = std::round(loudness.truePeakDb * 100.0) / 100.0;
  if (std::isfinite(truePeak) && truePeak > check.ceilingDb)
    add(number("true peak %.2f dBTP", truePeak) + number(" above %.1f", check.ceilingDb));
  if (check.targetLufs) {
    const double lufs = loudness.integratedLufs;
    const double off = lufs - *check.targetLufs;
    if (!std::isfinite(lufs))
      add("loudness cannot be measured");
    else if (std::fabs(off) > check.toleranceLu + 1e-9)
      add(number("loudness %.1f LUFS, ", lufs) + number("%.1f LU ", std::fabs(off)) + (off > 0 ? "above " : "below ") +
          number("%g", *check.targetLufs) + number(" \u00b1%g", check.toleranceLu));
  }
  return reasons;
}

bool folderWritable(const std::string& path, std::string& error) {
  const fs::path folder = fs::path(path).has_parent_path() ? fs::path(path).parent_path() : fs::path(".");
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    error = "cannot write " + inQuotes(path) + ": the folder " + inQuotes(folder.string()) + " does not exist";
    return false;
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    error = "cannot write " + inQuotes(path) + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool plotPaths(const std::string& plot, const std::vector<std::string>& inputs, std::vector<std::string>& paths,
               std::string& error) {
  std::error_code ec;
  const bool folder = (!plot.empty() && plot.back() == '/') || fs::is_directory(plot, ec);
  const bool pattern = plot.find("{stem}") != std::string::npos;
  if (!folder && !pattern && inputs.size() > 1) {
    error = "--plot " + inQuotes(plot) + ": with several inputs, give a folder or a name with {stem}";
    return false;
  }
  std::set<std::string> seen;
  for (const std::string& input : inputs) {
    const std::string stem = input == "-" ? "stdin" : fs::path(input).stem().string();
    std::string path = plot;
    if (folder) {
      path = (fs::path(plot) / (stem + ".png")).string();
    } else if (pattern) {
      for (size_t at; (at = path.find("{stem}")) != std::string::npos;) path.replace(at, 6, stem);
    }
    if (!seen.insert(path).second) {
      error = "--plot: two inputs would share the picture " + inQuotes(path);
      return false;
    }
    if (!folderWritable(path, error)) return false;
    paths.push_back(path);
  }
  return true;
}

bool parsePlotScale(const std::string& text, float& scale, std::string& error) {
  char* end = nullptr;
  const float value = std::strtof(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value) || value < 0.5f || value > 4.0f) {
    error = "--plot-scale " + inQuotes(text) + ": expected a scale from 0.5 to 4";
    return false;
  }
  scale = value;
  return true;
}

LoudnessPicture analysisPicture(const std::string& input, const Analysis& a, const std::optional<DeliveryCheck>& check) {
  LoudnessPicture picture;
  picture.title = input == "-" ? "standard input" : fs::path(input).filename().string();
  picture.details = a.format + number("  \u00b7  %.0f Hz", a.sampleRate) + "  \u00b7  " +
                    (a.channels == 1 ? "mono" : a.channels == 2 ? "stereo" : std::to_string(a.channels) + " channels") +
                    "  \u00b7  " + clockText(a.seconds, true);
  picture.figures = number("integrated %.1f LUFS", a.loudness.integratedLufs) +
                    number("   range %.1f LU", a.loudness.rangeLu) +
                    number("   true peak %.2f dBTP", a.loudness.truePeakDb) +
                    number("   sample peak %.2f dBFS", a.loudness.samplePeakDb);
  if (check) {
    const std::string failure = deliveryFailure(a.loudness, *check);
    picture.figures += "   " + check->name + (failure.empty() ? ": PASS" : ": FAIL, " + failure);
    picture.targetLufs = check->targetLufs;
    picture.ceilingDb = check->ceilingDb;
  }
  picture.master = a.timeline;
  picture.integratedAfter = a.loudness.integratedLufs;
  if (a.seconds < kShortestMeasurable) picture.note = a.note;
  return picture;
}

}  // namespace plumbrook::cli
