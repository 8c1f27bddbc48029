// `plumbrook render`: masters a file (or the built-in demo) through the plug-in's chain.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>

#include "apps/audio_file.h"
#include "apps/audio_format.h"
#include "apps/commands.h"
#include "apps/console_surface.h"
#include "apps/demo_program.h"
#include "apps/loudness.h"
#include "apps/progress.h"
#include "apps/render_engine.h"
#include "apps/render_options.h"
#include "apps/report.h"
#include "apps/settings.h"
#include "apps/target_loudness.h"
#include "platform/offline/offline_host.h"

namespace fs = std::filesystem;

namespace plumbrook::cli {
namespace {

constexpr const char* kDemoOutput = "plumbrook-demo.wav";
// Settings the demo starts from (before any of the user's), so that every stage has work.
constexpr const char* kDemoSettings[] = {"gain=+2", "eq_low=+1.5", "eq_high=+2", "true_peak=on"};
constexpr double kProgressAfterSeconds = 5.0;

int fail(const std::string& message, int status = 1) {
  std::fprintf(stderr, "plumbrook render: %s\n", message.c_str());
  return status;
}

std::string inQuotes(const std::string& text) { return "'" + text + "'"; }

bool directoryExists(const std::string& path) {
  std::error_code ec;
  fs::path directory = fs::path(path).parent_path();
  return fs::is_directory(directory.empty() ? fs::path(".") : directory, ec);
}

bool writeText(const std::string& path, const std::string& text, std::string& error) {
  if (path == "-") {
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0;
  }
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    // A device or a pipe is written to, never replaced.
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.flush();
    if (!out) error = "cannot write " + inQuotes(path);
    return static_cast<bool>(out);
  }
  const std::string target = fs::is_symlink(fs::symlink_status(path, ec)) ? fs::weakly_canonical(path, ec).string() : path;
  const std::string partial = target + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      std::remove(partial.c_str());
      error = "cannot write " + inQuotes(path);
      return false;
    }
  }
  if (std::rename(partial.c_str(), target.c_str()) != 0) {
    std::remove(partial.c_str());
    error = "cannot write " + inQuotes(path);
    return false;
  }
  return true;
}

}  // namespace

int runRender(const Args& args) {
  RenderOptions options;
  std::string error;
  if (!parseRenderOptions(args, options, error)) {
    std::fprintf(stderr, "plumbrook render: %s (see 'plumbrook render --help')\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(renderUsage(), stdout);
    return 0;
  }
  const bool demo = !options.input;
  auto note = [&](const std::string& text) {
    if (!options.quiet) std::fprintf(stderr, "plumbrook render: %s\n", text.c_str());
  };

  // The input.
  std::unique_ptr<AudioSource> source;
  int inputFormat = 0;
  Metadata metadata;
  std::string inputName;
  if (demo) {
    source = std::make_unique<DemoSource>();
    inputFormat = kDemoFileFormat;
    inputName = "demo";
  } else {
    auto reader = AudioReader::open(*options.input, error);
    if (!reader) return fail(error);
    inputFormat = reader->format();
    metadata = reader->metadata();
    source = std::move(reader);
    inputName = *options.input;
  }
  const int channels = source->channels();
  const double rate = source->sampleRate();

  // The output.
  if (!options.output) {
    if (!demo) return fail("no output file given; use -o FILE (or -o - for standard output)", 2);
    options.output = kDemoOutput;
  }
  const std::string output = *options.output;
  if (!demo && sameFile(*options.input, output))
    return fail("the output " + inQuotes(output) + " is the input file; write the master to another path", 2);
  if (output != "-" && !directoryExists(output))
    return fail("cannot write " + inQuotes(output) + ": the directory " +
                inQuotes(fs::path(output).parent_path().string()) + " does not exist");
  if (options.reportJson && *options.reportJson != "-" && !directoryExists(*options.reportJson))
    return fail("--report-json " + inQuotes(*options.reportJson) + ": the directory " +
                inQuotes(fs::path(*options.reportJson).parent_path().string()) + " does not exist");
  if (options.reportJson && *options.reportJson == "-" && output == "-")
    return fail("--report-json - and -o - would both use standard output", 2);
  const int outputFormat = chooseOutputFormat(inputFormat, output, options.format, channels, rate, error);
  if (outputFormat == 0) return fail(error, 2);

  // The settings, resolved once on an instance of the plug-in at the file's rate and layout.
  offline::OfflineHost::Options hostOptions;
  hostOptions.sampleRate = rate;
  hostOptions.inputs = hostOptions.outputs = channels;
  hostOptions.blockSize = options.blockSize;
  auto settingsHost = offline::OfflineHost::create(hostOptions, error);
  if (!settingsHost) return fail(error);
  Plumbrook& settingsPlugin = settingsHost->plugin();
  ConsoleSurface surface;
  settingsPlugin.AttachUI(&surface);
  Settings settings;
  if (demo)
    for (const char* text : kDemoSettings)
      if (!settings.addSet(settingsPlugin, text, error)) return fail(error);
  for (const auto& [option, argument] : options.settingArgs) {
    if (option == "--set") {
      if (!settings.addSet(settingsPlugin, argument, error)) return fail(error, 2);
    } else if (option == "--preset") {
      settings.addPreset(argument);
    } else {
      settings.addState(argument);
    }
  }
  for (const std::string& text : settings.notes()) note(text);
  if (!settings.apply(settingsPlugin, surface, error)) return fail(error);
  std::vector<double> values = parameterValues(settingsPlugin);
  settingsPlugin.DetachUI();

  if (demo)
    note("no input given: mastering the built-in " + std::to_string(static_cast<int>(kDemoSeconds)) +
         " s demo (gain +2 dB, EQ low +1.5 dB, EQ high +2 dB, true peak on) into " + inQuotes(output));

  const bool reportWanted = options.report.value_or(!options.quiet && isatty(STDOUT_FILENO) && output != "-");
  const bool measure = reportWanted || options.reportJson.has_value();
  const bool showProgress = !options.quiet && isatty(STDERR_FILENO) &&
                            source->frames() > static_cast<int64_t>(kProgressAfterSeconds * rate);
  ProgressBar progress(showProgress, source->frames());

  RenderReport report;
  report.input = demo ? "demo" : inputName;
  report.output = output;
  report.format = describeFormat(outputFormat);
  report.sampleRate = rate;
  report.channels = channels;
  LoudnessMeter inputMeter(channels, rate, false);

  // One pass: a fresh writer and meter; the caller keeps the pass it wants.
  struct Pass {
    std::unique_ptr<AudioWriter> writer;
    std::unique_ptr<LoudnessMeter> meter;
    RenderOutcome outcome;
    double gainDb = 0.0;
  };
  auto runPass = [&](const std::vector<double>& passValues, int number, Pass& pass) {
    pass.writer = AudioWriter::create(output, outputFormat, channels, rate, metadata, error);
    if (!pass.writer) return false;
    if (measure || options.targetLufs) pass.meter = std::make_unique<LoudnessMeter>(channels, rate, !measure);
    RenderPass job;
    job.source = source.get();
    job.parameterValues = passValues;
    job.blockSize = options.blockSize;
    job.writer = pass.writer.get();
    job.inputMeter = (number == 1 && measure) ? &inputMeter : nullptr;
    job.outputMeter = pass.meter.get();
    job.progress = [&](int64_t done) { progress.update(done); };
    progress.begin(options.targetLufs ? "pass " + std::to_string(number) : "render");
    const bool ok = render(job, pass.outcome, error);
    progress.finish();
    pass.gainDb = passValues[kGain];
    return ok;
  };

  Pass kept;
  if (options.targetLufs) {
    if (values[kBypass] >= 0.5) return fail("--target-lufs cannot reach a loudness while Bypass is on", 2);
    if (values[kLimiterActive] < 0.5) {
      note("--target-lufs works with the limiter active; turning it on");
      values[kLimiterActive] = 1.0;
    }
    int number = 0;
    bool renderFailed = false;
    const MeasureLoudness measureAt = [&](double gainDb, double& lufs) {
      std::vector<double> passValues = values;
      passValues[kGain] = gainDb;
      Pass pass;
      if (!runPass(passValues, ++number, pass)) {
        renderFailed = true;
        return false;
      }
      lufs = pass.meter->result().integratedLufs;
      const double miss = std::fabs(lufs - *options.targetLufs);
      if (!kept.writer || miss < std::fabs(kept.meter->result().integratedLufs - *options.targetLufs))
        kept = std::move(pass);
      return true;
    };
    const GainSearch search = searchGain(*options.targetLufs, values[kGain], measureAt);
    char text[256];
    switch (search.status) {
      case GainSearch::kReached: break;
      case GainSearch::kFailed: return fail(renderFailed ? error : "the render failed");
      case GainSearch::kSilent: return fail(inQuotes(inputName) + " is silent: there is no loudness to raise to a target");
      case GainSearch::kTooQuiet:
        std::snprintf(text, sizeof text,
                      "--target-lufs %.1f is out of reach: at the most gain (%+.0f dB) the output measures %.1f LUFS "
                      "under the %.1f dB ceiling",
                      *options.targetLufs, search.closest.gainDb, search.closest.lufs, values[kLimiterCeiling]);
        return fail(text);
      case GainSearch::kTooLoud:
        std::snprintf(text, sizeof text,
                      "--target-lufs %.1f is out of reach: at the least gain (%+.0f dB) the output still measures "
                      "%.1f LUFS",
                      *options.targetLufs, search.closest.gainDb, search.closest.lufs);
        return fail(text);
      case GainSearch::kNotSettled:
        std::snprintf(text, sizeof text,
                      "--target-lufs %.1f: no gain landed within 0.1 LU in %d passes (closest %.2f LUFS at %+.2f dB)",
                      *options.targetLufs, search.passes, search.closest.lufs, search.closest.gainDb);
        return fail(text);
    }
    report.target = TargetResult{*options.targetLufs, kept.gainDb, search.passes};
  } else {
    if (!runPass(values, 1, kept)) return fail(error);
  }

  if (!kept.writer->commit(error)) return fail(error);
  report.frames = kept.outcome.frames;
  report.latencySamples = kept.outcome.latencySamples;
  report.limiterReductionDb = kept.outcome.limiterReductionDb;
  for (int b = 0; b < 3; ++b) report.glueReductionDb[b] = kept.outcome.glueReductionDb[b];
  for (int i = 0; i < settingsPlugin.NParams(); ++i) {
    const plugkit::Param& param = *settingsPlugin.GetParam(i);
    const double value = i == kGain ? kept.gainDb : values[static_cast<size_t>(i)];
    std::string shown;
    param.GetDisplay(value, false, shown);
    report.settings.push_back({std::string(kParamSymbols[static_cast<size_t>(i)]), shown, value,
                               std::fabs(value - param.GetDefault()) < 1e-9});
  }
  if (measure) {
    report.before = inputMeter.result();
    report.after = kept.meter->result();
  }
  if (reportWanted) printReport(report, output == "-" ? stderr : stdout);
  if (options.reportJson && !writeText(*options.reportJson, reportJson(report), error)) return fail(error);
  return 0;
}

}  // namespace plumbrook::cli
