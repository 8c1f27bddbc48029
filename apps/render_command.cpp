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
#include "apps/commands.h"
#include "apps/console_surface.h"
#include "apps/demo_program.h"
#include "apps/loudness.h"
#include "apps/progress.h"
#include "apps/render_engine.h"
#include "apps/report.h"
#include "apps/settings.h"
#include "apps/target_loudness.h"
#include "editor/typed_value.h"
#include "platform/offline/offline_host.h"

namespace fs = std::filesystem;

namespace plumbrook::cli {
namespace {

constexpr const char* kDemoOutput = "plumbrook-demo.wav";
// Settings the demo starts from (before any of the user's), so that every stage has work.
constexpr const char* kDemoSettings[] = {"gain=+2", "eq_low=+1.5", "eq_high=+2", "true_peak=on"};
constexpr double kProgressAfterSeconds = 5.0;

const char* renderUsage() {
  return "usage: plumbrook render [INPUT] -o OUTPUT [options]\n"
         "  INPUT                 an audio file, or - for standard input (WAV); none: the built-in demo\n"
         "  -o, --output FILE     the mastered file, or - for standard output (WAV)\n"
         "  --set NAME=VALUE      a parameter by name or symbol (see 'plumbrook params'), repeatable\n"
         "  --preset NAME|FILE    a stored preset by name, or a .pbpreset file\n"
         "  --state FILE          a saved plug-in state\n"
         "  --target-lufs L       find the gain that makes the output L LUFS integrated\n"
         "  --format NAME         wav, flac, aiff, caf, w64, rf64, au, ogg, opus, mp3\n"
         "  --bits N              8, 16, 24, 32, float or double\n"
         "  --block N             frames per processing block (default 512)\n"
         "  --report, --no-report loudness and peak report (default: when stdout is a terminal)\n"
         "  --report-json FILE    the report as JSON (- for standard output)\n"
         "  -q, --quiet           no progress, notes or default report\n"
         "Later options override earlier ones.\n";
}

int fail(const std::string& message, int status = 1) {
  std::fprintf(stderr, "plumbrook render: %s\n", message.c_str());
  return status;
}

std::string inQuotes(const std::string& text) { return "'" + text + "'"; }

/// The demo program held in memory.
class MemorySource : public AudioSource {
 public:
  MemorySource(std::vector<double> interleaved, int channels, double sampleRate)
      : samples_(std::move(interleaved)), channels_(channels), rate_(sampleRate) {}
  int channels() const override { return channels_; }
  double sampleRate() const override { return rate_; }
  int64_t frames() const override { return static_cast<int64_t>(samples_.size()) / channels_; }
  int64_t read(double* interleaved, int64_t maxFrames) override {
    const int64_t n = std::min(maxFrames, frames() - position_);
    std::copy_n(samples_.begin() + position_ * channels_, n * channels_, interleaved);
    position_ += n;
    return n;
  }
  bool rewind(std::string&) override {
    position_ = 0;
    return true;
  }

 private:
  std::vector<double> samples_;
  int channels_;
  double rate_;
  int64_t position_ = 0;
};

struct Options {
  std::optional<std::string> input;
  std::optional<std::string> output;
  std::vector<std::pair<std::string, std::string>> settingArgs;  // option, argument, in order
  int blockSize = 512;
  FormatRequest format;
  std::optional<double> targetLufs;
  std::optional<bool> report;
  std::optional<std::string> reportJson;
  bool quiet = false;
  bool help = false;
};

// Reads the options; false with a message (usage error).
bool parseOptions(const Args& args, Options& options, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> attached;
    if (arg.rfind("--", 0) == 0) {
      if (const size_t eq = arg.find('='); eq != std::string::npos) {
        attached = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
      }
    }
    auto value = [&](std::string& out) {
      if (attached) {
        out = *attached;
        return true;
      }
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string text;
    if (arg == "-o" || arg == "--output") {
      if (!value(text)) return false;
      options.output = text;
    } else if (arg == "--set" || arg == "--preset" || arg == "--state") {
      if (!value(text)) return false;
      options.settingArgs.emplace_back(arg, text);
    } else if (arg == "--block") {
      if (!value(text)) return false;
      char* end = nullptr;
      const long n = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || n < 1 || n > 65536) {
        error = "--block " + inQuotes(text) + ": expected a whole number of frames from 1 to 65536";
        return false;
      }
      options.blockSize = static_cast<int>(n);
    } else if (arg == "--format") {
      if (!value(options.format.container)) return false;
    } else if (arg == "--bits") {
      if (!value(options.format.bits)) return false;
    } else if (arg == "--target-lufs") {
      if (!value(text)) return false;
      constexpr double kWide = std::numeric_limits<double>::max();
      const auto lufs = quillfen::controls::parseTypedValue(text, -kWide, kWide, false);
      if (!lufs) {
        error = "--target-lufs " + inQuotes(text) + ": not a number";
        return false;
      }
      if (*lufs < -70.0 || *lufs > 0.0) {
        error = "--target-lufs " + inQuotes(text) + ": expected a loudness from -70 to 0 LUFS";
        return false;
      }
      options.targetLufs = *lufs;
    } else if (arg == "--report" && !attached) {
      options.report = true;
    } else if (arg == "--no-report" && !attached) {
      options.report = false;
    } else if (arg == "--report-json") {
      if (!value(text)) return false;
      options.reportJson = text;
    } else if ((arg == "-q" || arg == "--quiet") && !attached) {
      options.quiet = true;
    } else if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "-" || arg.empty() || arg[0] != '-') {
      if (options.input) {
        error = "unexpected argument " + inQuotes(arg) + " (only one input file)";
        return false;
      }
      options.input = arg;
    } else {
      error = "unknown option " + inQuotes(arg);
      return false;
    }
  }
  return true;
}

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
  const std::string partial = path + ".partial";
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
  if (std::rename(partial.c_str(), path.c_str()) != 0) {
    std::remove(partial.c_str());
    error = "cannot write " + inQuotes(path);
    return false;
  }
  return true;
}

}  // namespace

int runRender(const Args& args) {
  Options options;
  std::string error;
  if (!parseOptions(args, options, error)) {
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
    source = std::make_unique<MemorySource>(makeDemoProgram(), 2, kDemoSampleRate);
    inputFormat = 0x010000 | 0x0003;  // WAV, 24-bit
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
  if (measure) {
    report.before = inputMeter.result();
    report.after = kept.meter->result();
  }
  if (reportWanted) printReport(report, output == "-" ? stderr : stdout);
  if (options.reportJson && !writeText(*options.reportJson, reportJson(report), error)) return fail(error);
  return 0;
}

}  // namespace plumbrook::cli
