// `plumbrook analyze`: measures files without rendering them (loudness, range, peaks, the loudest
// moments), checks them against a delivery profile, and draws their loudness pictures.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "apps/analysis.h"
#include "apps/audio_file.h"
#include "apps/command_line.h"
#include "apps/commands.h"
#include "apps/console_surface.h"
#include "apps/loudness_picture.h"
#include "files/files.h"
#include "updates/json.h"

namespace plumbrook::cli {
namespace {

namespace fs = std::filesystem;

const char* analyzeUsage() {
  return "usage: plumbrook analyze FILE... [--profile NAME] [--plot FILE.png|DIR/|'{stem}.png']\n"
         "                         [--plot-scale S] [--report-json FILE]\n"
         "  --profile NAME         PASS or FAIL against a delivery profile ('plumbrook profiles')\n"
         "  --plot PATH            a loudness picture per file: one file, a folder, or a name with {stem}\n"
         "  --plot-scale S         the picture's pixel scale, 1 to 4 (2 for HiDPI screens; default 1)\n"
         "  --report-json FILE     the measurements as a JSON array (- for standard output)\n"
         "The exit status is 1 when a file cannot be read or fails the profile.\n";
}

int fail(const std::string& message, int status) {
  std::fprintf(stderr, "plumbrook analyze: %s\n", terminalSafe(message).c_str());
  return status;
}

struct AnalyzeOptions {
  std::vector<std::string> inputs;
  std::optional<std::string> profile;
  std::optional<std::string> plot;
  float plotScale = 1.0f;
  std::optional<std::string> reportJson;
  bool help = false;
};

bool parse(const Args& args, AnalyzeOptions& options, std::string& error) {
  OptionReader reader(args);
  while (reader.next()) {
    const std::string& arg = reader.name();
    std::string text;
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--profile" || arg == "--plot" || arg == "--report-json" || arg == "--plot-scale") {
      if (!reader.value(text, error)) return false;
      if (arg == "--profile") options.profile = text;
      else if (arg == "--plot") options.plot = text;
      else if (arg == "--report-json") options.reportJson = text;
      else if (!parsePlotScale(text, options.plotScale, error)) return false;
    } else if (reader.isOperand()) {
      options.inputs.push_back(arg);
    } else {
      error = "unknown option " + inQuotes(arg);
      return false;
    }
  }
  return true;
}

std::string jsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char text[48];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

std::string figure(double value, const char* unit) {
  if (!std::isfinite(value)) return std::string("-inf ") + unit;
  char text[48];
  std::snprintf(text, sizeof text, "%.1f %s", value, unit);
  return text;
}

struct FileResult {
  std::string input;
  std::string error;  // could not be read
  Analysis analysis;
  std::string verdict;  // empty without a profile; "PASS" or the reason it fails
};

std::string resultJson(const FileResult& r) {
  std::string json = "  {\"input\": " + json::quote(r.input);
  if (!r.error.empty()) return json + ", \"error\": " + json::quote(r.error) + "}";
  const Analysis& a = r.analysis;
  json += ", \"format\": " + json::quote(a.format) + ", \"sample_rate\": " + jsonNumber(a.sampleRate) +
          ", \"channels\": " + std::to_string(a.channels) + ", \"seconds\": " + jsonNumber(a.seconds) +
          ", \"integrated_lufs\": " + jsonNumber(a.loudness.integratedLufs) +
          ", \"range_lu\": " + jsonNumber(a.loudness.rangeLu) +
          ", \"sample_peak_dbfs\": " + jsonNumber(a.loudness.samplePeakDb) +
          ", \"true_peak_dbtp\": " + jsonNumber(a.loudness.truePeakDb) +
          ", \"max_short_term_lufs\": " + jsonNumber(a.loudestShortTerm.lufs) +
          ", \"max_short_term_at\": " + jsonNumber(a.loudestShortTerm.seconds) +
          ", \"max_momentary_lufs\": " + jsonNumber(a.loudestMomentary.lufs) +
          ", \"max_momentary_at\": " + jsonNumber(a.loudestMomentary.seconds);
  if (!r.verdict.empty())
    json += ", \"pass\": " + std::string(r.verdict == "PASS" ? "true" : "false") +
            ", \"verdict\": " + json::quote(r.verdict);
  return json + "}";
}

void printResult(const FileResult& r, const std::optional<std::string>& profile) {
  if (!r.error.empty()) {
    std::fprintf(stderr, "plumbrook analyze: %s\n", terminalSafe(r.error).c_str());
    return;
  }
  const Analysis& a = r.analysis;
  std::printf("%s  (%s, %.0f Hz, %d ch, %s)\n", terminalSafe(inQuotes(r.input)).c_str(), a.format.c_str(), a.sampleRate,
              a.channels, clockText(a.seconds, true).c_str());
  std::printf("  integrated %s   range %s   sample peak %s   true peak %s\n",
              figure(a.loudness.integratedLufs, "LUFS").c_str(), figure(a.loudness.rangeLu, "LU").c_str(),
              figure(a.loudness.samplePeakDb, "dBFS").c_str(), figure(a.loudness.truePeakDb, "dBTP").c_str());
  if (std::isfinite(a.loudestShortTerm.lufs))
    std::printf("  loudest short-term %s at %s   loudest momentary %s at %s\n",
                figure(a.loudestShortTerm.lufs, "LUFS").c_str(), clockText(a.loudestShortTerm.seconds, true).c_str(),
                figure(a.loudestMomentary.lufs, "LUFS").c_str(), clockText(a.loudestMomentary.seconds, true).c_str());
  if (!a.note.empty()) std::printf("  %s\n", terminalSafe(a.note).c_str());
  if (profile)
    std::printf("  %s %s\n", r.verdict == "PASS" ? "PASS" : "FAIL", (r.verdict == "PASS" ? *profile : *profile + ": " + r.verdict).c_str());
}

}  // namespace

int runAnalyze(const Args& args) {
  AnalyzeOptions options;
  std::string error;
  if (!parse(args, options, error)) return fail(error + "\n" + analyzeUsage(), 2);
  if (options.help) {
    std::fputs(analyzeUsage(), stdout);
    return 0;
  }
  if (options.inputs.empty()) return fail(std::string("no input file given\n") + analyzeUsage(), 2);
  std::optional<DeliveryCheck> check;
  if (options.profile) {
    check = deliveryCheck(*options.profile, error);
    if (!check) return fail(error, 2);
  }
  std::vector<std::string> plots;
  if (options.plot && !plotPaths(*options.plot, options.inputs, plots, error)) return fail(error, 2);
  if (options.reportJson && *options.reportJson != "-" && !folderWritable(*options.reportJson, error))
    return fail(error, 2);

  std::vector<FileResult> results;
  bool anyFailed = false;
  for (size_t i = 0; i < options.inputs.size(); ++i) {
    FileResult result;
    result.input = options.inputs[i];
    if (!analyzeFile(result.input, !plots.empty(), result.analysis, result.error)) {
      anyFailed = true;
    } else {
      if (check) {
        result.verdict = deliveryFailure(result.analysis.loudness, *check);
        if (result.verdict.empty()) result.verdict = "PASS";
        else anyFailed = true;
      }
      if (!plots.empty()) {
        std::string plotError;
        if (!writeLoudnessPicture(analysisPicture(result.input, result.analysis, check), options.plotScale, plots[i],
                                  plotError)) {
          std::fprintf(stderr, "plumbrook analyze: %s\n", terminalSafe(plotError).c_str());
          anyFailed = true;
        }
      }
    }
    printResult(result, options.profile);
    results.push_back(std::move(result));
  }

  if (options.reportJson) {
    std::string json = "[\n";
    for (size_t i = 0; i < results.size(); ++i) json += resultJson(results[i]) + (i + 1 < results.size() ? ",\n" : "\n");
    json += "]\n";
    if (*options.reportJson == "-") {
      std::fputs(json.c_str(), stdout);
    } else if (!quillfen::files::replaceFile(*options.reportJson, json, error)) {
      return fail(error, 1);
    }
  }
  return anyFailed ? 1 : 0;
}

}  // namespace plumbrook::cli
