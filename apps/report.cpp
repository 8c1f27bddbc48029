// The render report as text and as JSON.
#include "apps/report.h"
#include "apps/console_surface.h"
#include "updates/json.h"

#include <cmath>

namespace plumbrook::cli {
namespace {

std::string figure(double value, const char* unit) {
  if (!std::isfinite(value)) return std::string("-inf ") + unit;
  char text[48];
  std::snprintf(text, sizeof text, "%.1f %s", value, unit);
  return text;
}

std::string jsonNumber(double value, int decimals) {
  if (!std::isfinite(value)) return "null";
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string jsonLoudness(const Loudness& l) {
  return "{\"integrated_lufs\": " + jsonNumber(l.integratedLufs, 2) + ", \"range_lu\": " + jsonNumber(l.rangeLu, 2) +
         ", \"sample_peak_dbfs\": " + jsonNumber(l.samplePeakDb, 2) +
         ", \"true_peak_dbtp\": " + jsonNumber(l.truePeakDb, 2) + "}";
}

std::string duration(int64_t frames, double rate) {
  const double seconds = rate > 0.0 ? static_cast<double>(frames) / rate : 0.0;
  char text[32];
  std::snprintf(text, sizeof text, "%d:%04.1f", static_cast<int>(seconds / 60.0), std::fmod(seconds, 60.0));
  return text;
}

}  // namespace

void printReport(const RenderReport& r, std::FILE* out) {
  std::string output = terminalSafe(r.output);
  if (!r.outputLinkTarget.empty()) output += " (a link to " + terminalSafe(r.outputLinkTarget) + ")";
  std::fprintf(out, "%s -> %s  (%s, %.0f Hz, %s, %s)\n", terminalSafe(r.input).c_str(), output.c_str(), r.format.c_str(),
               r.sampleRate, r.channels == 1 ? "mono" : "stereo", duration(r.frames, r.sampleRate).c_str());
  std::fprintf(out, "  %-12s %12s %12s\n", "", "before", "after");
  auto row = [&](const char* name, double before, double after, const char* unit) {
    std::fprintf(out, "  %-12s %12s %12s\n", name, figure(before, unit).c_str(), figure(after, unit).c_str());
  };
  row("loudness", r.before.integratedLufs, r.after.integratedLufs, "LUFS");
  row("range", r.before.rangeLu, r.after.rangeLu, "LU");
  row("sample peak", r.before.samplePeakDb, r.after.samplePeakDb, "dBFS");
  row("true peak", r.before.truePeakDb, r.after.truePeakDb, "dBTP");
  std::fprintf(out, "  %-12s %d samples (%.2f ms), compensated\n", "latency", r.latencySamples,
               r.sampleRate > 0.0 ? 1000.0 * r.latencySamples / r.sampleRate : 0.0);
  std::fprintf(out, "  %-12s %.1f dB largest gain reduction\n", "limiter", r.limiterReductionDb);
  std::fprintf(out, "  %-12s %.1f / %.1f / %.1f dB largest reduction (low / mid / high)\n", "glue",
               r.glueReductionDb[0], r.glueReductionDb[1], r.glueReductionDb[2]);
  std::string changed;
  for (const RenderReport::Setting& s : r.settings)
    if (!s.isDefault) changed += (changed.empty() ? "" : ", ") + s.symbol + " " + s.shown;
  std::fprintf(out, "  %-12s %s\n", "settings", changed.empty() ? "defaults" : changed.c_str());
  if (r.target)
    std::fprintf(out, "  %-12s %.1f LUFS reached with gain %+.2f dB in %d pass%s\n", "target", r.target->targetLufs,
                 r.target->gainDb, r.target->passes, r.target->passes == 1 ? "" : "es");
  if (r.guardLoweredDb)
    std::fprintf(out, "  %-12s ceiling lowered by %.2f dB to keep the file's true peak under it\n", "guard",
                 *r.guardLoweredDb);
  if (r.convertedFromRate)
    std::fprintf(out, "  %-12s %.0f Hz to %.0f Hz before the chain\n", "rate", *r.convertedFromRate, r.sampleRate);
  if (r.album)
    std::fprintf(out, "  %-12s %.1f LUFS reached with gain %+.2f dB for the whole release (%.1f LUFS before)\n",
                 "album", r.album->afterLufs, r.album->gainDb, r.album->beforeLufs);
  if (!r.dither.empty() && r.dither != "none") std::fprintf(out, "  %-12s %s\n", "dither", r.dither.c_str());
}

std::string reportJson(const RenderReport& r) {
  std::string json = "{\n";
  json += "  \"input\": " + json::quote(r.input) + ",\n";
  json += "  \"output\": " + json::quote(r.output) + ",\n";
  json += "  \"output_link_target\": " +
          (r.outputLinkTarget.empty() ? std::string("null") : json::quote(r.outputLinkTarget)) + ",\n";
  json += "  \"format\": " + json::quote(r.format) + ",\n";
  json += "  \"sample_rate\": " + jsonNumber(r.sampleRate, 0) + ",\n";
  json += "  \"channels\": " + std::to_string(r.channels) + ",\n";
  json += "  \"frames\": " + std::to_string(r.frames) + ",\n";
  json += "  \"before\": " + jsonLoudness(r.before) + ",\n";
  json += "  \"after\": " + jsonLoudness(r.after) + ",\n";
  json += "  \"latency_samples\": " + std::to_string(r.latencySamples) + ",\n";
  json += "  \"limiter_max_reduction_db\": " + jsonNumber(r.limiterReductionDb, 2) + ",\n";
  json += "  \"glue_max_reduction_db\": [" + jsonNumber(r.glueReductionDb[0], 2) + ", " +
          jsonNumber(r.glueReductionDb[1], 2) + ", " + jsonNumber(r.glueReductionDb[2], 2) + "],\n";
  json += "  \"settings\": {";
  for (size_t i = 0; i < r.settings.size(); ++i)
    json += (i ? ", " : "") + json::quote(r.settings[i].symbol) + ": " + jsonNumber(r.settings[i].value, 4);
  json += "},\n";
  json += "  \"dither\": " + json::quote(r.dither.empty() ? "none" : r.dither) + ",\n";
  json += "  \"guard_lowered_db\": " + (r.guardLoweredDb ? jsonNumber(*r.guardLoweredDb, 2) : std::string("null")) + ",\n";
  if (r.convertedFromRate) json += "  \"converted_from_rate\": " + jsonNumber(*r.convertedFromRate, 0) + ",\n";
  if (r.album)
    json += "  \"album\": {\"target_lufs\": " + jsonNumber(r.album->targetLufs, 2) + ", \"gain_db\": " +
            jsonNumber(r.album->gainDb, 3) + ", \"passes\": " + std::to_string(r.album->passes) +
            ", \"before_lufs\": " + jsonNumber(r.album->beforeLufs, 2) + ", \"after_lufs\": " +
            jsonNumber(r.album->afterLufs, 2) + "},\n";
  if (!r.status.empty()) json += "  \"status\": " + json::quote(r.status) + ",\n";
  if (!r.error.empty()) json += "  \"error\": " + json::quote(r.error) + ",\n";
  if (r.target) {
    json += "  \"target\": {\"lufs\": " + jsonNumber(r.target->targetLufs, 2) + ", \"gain_db\": " +
            jsonNumber(r.target->gainDb, 3) + ", \"passes\": " + std::to_string(r.target->passes) + "}\n";
  } else {
    json += "  \"target\": null\n";
  }
  return json + "}\n";
}

}  // namespace plumbrook::cli
