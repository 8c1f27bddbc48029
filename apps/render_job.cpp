// `plumbrook render` as a job of named steps.
#include "apps/render_job.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "apps/analysis.h"
#include "apps/audio_format.h"
#include "apps/console_surface.h"
#include "apps/demo_program.h"
#include "apps/resampler.h"
#include "apps/settings.h"
#include "apps/tags.h"
#include "apps/target_loudness.h"
#include "files/files.h"
#include "platform/offline/offline_host.h"

namespace fs = std::filesystem;

namespace plumbrook::cli {
namespace {

constexpr const char* kDemoOutput = "plumbrook-demo.wav";
// Settings the demo starts from (before any of the user's), so that every stage has work.
constexpr const char* kDemoSettings[] = {"gain=+2", "eq_low=+1.5", "eq_high=+2", "true_peak=on"};
constexpr double kProgressAfterSeconds = 5.0;
// The shortest audio that holds one of the 400 ms blocks integrated loudness is gated on.
constexpr double kShortestMeasurableSeconds = 0.4;
constexpr int kMostGuardPasses = 3;
// A search pass whose predecessor missed the target by less than this is written as the master.
constexpr double kWriteWhenWithinLu = 1.0;
// Lowering the ceiling by exactly the excess can land a hair above it again; aim this far under.
constexpr double kGuardMarginDb = 0.01;

std::string inQuotes(const std::string& text) { return "'" + text + "'"; }

fs::path folderOf(const std::string& path) {
  const fs::path folder = fs::path(path).parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

bool isLossy(int format) {
  const int major = format & SF_FORMAT_TYPEMASK;
  return major == SF_FORMAT_OGG || major == SF_FORMAT_MPEG;
}

Dither ditherNamed(const std::string& name) {
  if (name == "none") return Dither::kNone;
  return name == "shaped" ? Dither::kShaped : Dither::kTpdf;
}

// Writes the report: standard output for "-", a device or pipe written in place, else a durable
// replacement of the file (of the file a symbolic link points to, keeping the link).
bool writeText(const std::string& path, const std::string& text, bool force, std::string& error) {
  if (path == "-") {
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0;
  }
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const int reason = errno;
    if (fd >= 0) ok = ::close(fd) == 0 && ok;
    if (!ok) error = "cannot write " + inQuotes(path) + ": " + std::strerror(reason);
    return ok;
  }
  const quillfen::files::ReplaceTarget target = quillfen::files::resolveReplaceTarget(path, force);
  if (!target) {
    error = "cannot replace " + inQuotes(path) + ": " + target.reason;
    return false;
  }
  return quillfen::files::replaceFile(target.file, text, error);
}

}  // namespace

bool writeReportFile(const std::string& path, const std::string& text, bool force, std::string& error) {
  return writeText(path, text, force, error);
}

bool RenderJob::fail(std::string message, int status) {
  error_ = std::move(message);
  status_ = status;
  return false;
}

void RenderJob::note(const std::string& text) const {
  if (options_.quiet) return;
  if (options_.showMessage) return options_.showMessage(options_.messageLabel + text);
  std::fprintf(stderr, "plumbrook render: %s\n", terminalSafe(options_.messageLabel + text).c_str());
}

void RenderJob::warn(const std::string& text) const {
  if (options_.showMessage) return options_.showMessage("warning: " + options_.messageLabel + text);
  std::fprintf(stderr, "plumbrook render: warning: %s\n", terminalSafe(options_.messageLabel + text).c_str());
}

void RenderJob::warnAboutInput() {
  if (reader_)
    for (const std::string& text : reader_->takeWarnings()) warn(text);
}

int RenderJob::run() {
  if (prepare() && master()) return 0;
  std::fprintf(stderr, "plumbrook render: %s\n", terminalSafe(error_).c_str());
  return status_;
}

bool RenderJob::prepare() { return openInput() && checkOutputs() && resolveSettings(); }

bool RenderJob::master() {
  return findTargetGain() && writeMaster() && guardTruePeak() && commitMaster() && finishReport() && drawPicture();
}

bool RenderJob::measure(std::optional<double> gainDb, LoudnessMeter& meter) {
  if (!gainDb) {
    if (!source_->rewind(error_)) return fail(error_);
    std::vector<double> buffer(static_cast<size_t>(options_.blockSize * channels_));
    for (int64_t n; (n = source_->read(buffer.data(), options_.blockSize)) > 0;) meter.add(buffer.data(), n);
    return true;
  }
  if (!useGain(*gainDb)) return false;
  RenderPass pass;
  pass.parameterValues = values_;
  pass.outputMeter = &meter;
  pass.label = "measuring";
  RenderOutcome outcome;
  return render(pass, outcome);
}

bool RenderJob::useGain(double gainDb) {
  if (values_[kBypass] >= 0.5) return fail("one gain for the release cannot be applied while Bypass is on", 2);
  values_[kLimiterActive] = 1.0;
  values_[kGain] = gainDb;
  return true;
}

bool RenderJob::openInput() {
  demo_ = !options_.input;
  if (demo_) {
    source_ = std::make_unique<DemoSource>();
    inputFormat_ = kDemoFileFormat;
    inputName_ = "demo";
  } else {
    // Several passes read the input again: a stream is then spooled to a scratch file.
    const bool replayable = options_.targetLufs.has_value() || options_.guardTruePeak;
    auto reader = AudioReader::open(*options_.input, replayable || options_.release.rate.has_value(), error_);
    if (!reader) return fail(error_);
    reader_ = reader.get();
    warnAboutInput();
    inputFormat_ = reader->format();
    metadata_ = reader->metadata();
    source_ = std::move(reader);
    inputName_ = *options_.input;
  }
  if (options_.release.rate && *options_.release.rate != source_->sampleRate()) {
    report_.convertedFromRate = source_->sampleRate();
    source_ = resampled(std::move(source_), *options_.release.rate, error_);
    if (!source_) return fail(error_);
  }
  channels_ = source_->channels();
  rate_ = source_->sampleRate();
  return true;
}

bool RenderJob::checkOutputs() {
  if (!options_.output) {
    if (!demo_) return fail("no output file given; use -o FILE (or -o - for standard output)", 2);
    options_.output = kDemoOutput;
  }
  output_ = *options_.output;
  if (!demo_ && sameFile(*options_.input, output_))
    return fail("the output " + inQuotes(output_) + " is the input file; write the master to another path", 2);
  std::error_code ec;
  if (output_ != "-" && !fs::is_directory(folderOf(output_), ec))
    return fail("cannot write " + inQuotes(output_) + ": the directory " +
                inQuotes(fs::path(output_).parent_path().string()) + " does not exist");
  if (options_.reportJson && *options_.reportJson == "-" && output_ == "-")
    return fail("--report-json - and -o - would both use standard output", 2);
  if (options_.reportJson && *options_.reportJson != "-") {
    // Checked before rendering, so that a long render is not wasted on a report that cannot land.
    const std::string& json = *options_.reportJson;
    const fs::path folder = folderOf(json);
    struct stat info {};
    const std::string where = "--report-json " + inQuotes(json) + ": ";
    if (::stat(folder.c_str(), &info) != 0) {
      if (errno == ENOENT) return fail(where + "the directory " + inQuotes(folder.string()) + " does not exist");
      return fail(where + "cannot write in " + inQuotes(folder.string()) + ": " + std::strerror(errno));
    }
    if (!S_ISDIR(info.st_mode)) return fail(where + inQuotes(folder.string()) + " is not a directory");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
      return fail(where + "cannot write in " + inQuotes(folder.string()) + ": " + std::strerror(errno));
    if (fs::is_directory(json, ec)) return fail(where + "it is a directory");
  }
  // A picture that cannot land is refused before any work, too.
  if (options_.plot && !folderWritable(*options_.plot, error_)) return fail("--plot: " + error_, 2);
  // Refused before rendering, so that a long render is not wasted on a file it may not replace.
  for (const std::optional<std::string>& file : {options_.output, options_.reportJson, options_.plot}) {
    if (!file || *file == "-" || fs::is_directory(*file, ec)) continue;
    const auto target = quillfen::files::resolveReplaceTarget(*file, options_.force);
    if (!target)
      return fail("cannot replace " + inQuotes(*file) + ": " + target.reason +
                  (target.problem == quillfen::files::ReplaceProblem::writeProtected ? " (--force replaces it)" : ""));
  }
  outputFormat_ = chooseOutputFormat(inputFormat_, output_, options_.format, channels_, rate_, error_);
  if (outputFormat_ == 0) return fail(error_, 2);
  return true;
}

bool RenderJob::resolveSettings() {
  // Resolved once on an instance of the plug-in at the file's rate and layout.
  offline::OfflineHost::Options hostOptions;
  hostOptions.sampleRate = rate_;
  hostOptions.inputs = hostOptions.outputs = channels_;
  hostOptions.blockSize = options_.blockSize;
  auto host = offline::OfflineHost::create(hostOptions, error_);
  if (!host) return fail(error_);
  Plumbrook& plugin = host->plugin();
  Settings settings;
  if (demo_)
    for (const char* text : kDemoSettings)
      if (!settings.addSet(plugin, text, error_)) return fail(error_);
  for (const auto& [option, argument] : options_.settingArgs) {
    if (option == "--set") {
      if (!settings.addSet(plugin, argument, error_)) return fail(error_, 2);
    } else if (option == "--preset") {
      settings.addPreset(argument);
    } else {
      settings.addState(argument);
    }
  }
  for (const std::string& text : settings.notes()) note(text);
  if (!settings.apply(plugin, error_)) return fail(error_);
  values_ = parameterValues(plugin);
  if (demo_)
    note("no input given: mastering the built-in " + std::to_string(static_cast<int>(kDemoSeconds)) +
         " s demo (gain +2 dB, EQ low +1.5 dB, EQ high +2 dB, true peak on) into " + inQuotes(output_));

  reportWanted_ = options_.report.value_or(!options_.quiet && isatty(STDOUT_FILENO) && output_ != "-");
  measure_ = reportWanted_ || options_.reportJson.has_value() || options_.collectReport || options_.plot.has_value();
  const bool showProgress = !options_.quiet && isatty(STDERR_FILENO) &&
                            source_->frames() > static_cast<int64_t>(kProgressAfterSeconds * rate_);
  progress_ = options_.makeProgress ? options_.makeProgress(source_->frames())
                                    : std::make_unique<ProgressBar>(showProgress, source_->frames());

  report_.input = demo_ ? "demo" : inputName_;
  report_.output = output_;
  report_.format = describeFormat(outputFormat_);
  report_.sampleRate = rate_;
  report_.channels = channels_;
  const int bits = pcmBits(outputFormat_);
  report_.dither = bits > 0 && bits <= 24 ? options_.dither : "none";
  return true;
}

bool RenderJob::render(const RenderPass& pass, RenderOutcome& outcome) {
  AudioSource& source = *source_;
  if (!source.rewind(error_)) return fail(error_);
  const int block = options_.blockSize;
  offline::OfflineHost::Options hostOptions;
  hostOptions.sampleRate = rate_;
  hostOptions.inputs = hostOptions.outputs = channels_;
  hostOptions.blockSize = block;
  hostOptions.renderingOffline = true;
  auto host = offline::OfflineHost::create(hostOptions, error_);
  if (!host) return fail(error_);
  Plumbrook& plugin = host->plugin();
  // The plug-in publishes its meters only while an editor is open; a measuring pass needs none.
  ConsoleSurface surface;
  if (pass.writer) plugin.AttachUI(&surface);
  for (int i = 0; i < plugin.NParams() && i < static_cast<int>(pass.parameterValues.size()); ++i)
    host->setParameter(i, pass.parameterValues[static_cast<size_t>(i)]);
  // The render starts settled at these values instead of gliding from the defaults.
  plugin.prepareAtCurrentSettings();
  host->runTimer();
  const int latency = std::max(0, host->reportedLatency());
  outcome = {};
  outcome.latencySamples = latency;

  const auto frameCount = static_cast<size_t>(block);
  const auto chans = static_cast<size_t>(channels_);
  std::vector<double> interleavedIn(frameCount * chans), interleavedOut(frameCount * chans);
  std::vector<double> planarIn(frameCount * chans), planarOut(frameCount * chans);
  std::vector<double*> inPointers, outPointers;
  for (size_t c = 0; c < chans; ++c) {
    inPointers.push_back(planarIn.data() + c * frameCount);
    outPointers.push_back(planarOut.data() + c * frameCount);
  }

  progress_->begin(pass.label);
  int64_t toSkip = latency;     // output frames that precede the first input frame
  int64_t flushLeft = latency;  // silent frames that push the last input frames out
  bool sourceDone = false;
  int64_t written = 0;
  MeterReadings& meters = plugin.meterReadings();
  // The readings are taken (and cleared) once per timeline step when a picture wants them; the
  // largest of each is kept for the report either way.
  const auto stepFrames = static_cast<int64_t>(std::llround(LoudnessMeter::kTimelineStep * rate_));
  int64_t intoStep = 0;
  auto takeReadings = [&] {
    ReductionStep step;
    step.limiterDb = -std::max(0.0f, meters.limiterReduction.exchange(0.0f));
    outcome.limiterReductionDb = std::max(outcome.limiterReductionDb, -static_cast<double>(step.limiterDb));
    for (int b = 0; b < 3; ++b) {
      step.glueDb[b] = -std::max(0.0f, meters.glueReduction[b].exchange(0.0f));
      outcome.glueReductionDb[b] = std::max(outcome.glueReductionDb[b], -static_cast<double>(step.glueDb[b]));
    }
    pass.reduction->push_back(step);
  };
  if (pass.reduction) pass.reduction->clear();
  while (true) {
    int64_t n = 0;
    if (!sourceDone) {
      n = source.read(interleavedIn.data(), block);
      if (n <= 0) {
        sourceDone = true;
        n = 0;
      } else if (pass.inputMeter) {
        pass.inputMeter->add(interleavedIn.data(), n);
      }
    }
    if (sourceDone) {
      n = std::min<int64_t>(block, flushLeft);
      if (n == 0) break;
      flushLeft -= n;
      std::fill(interleavedIn.begin(), interleavedIn.begin() + n * channels_, 0.0);
    }
    for (size_t c = 0; c < chans; ++c)
      for (int64_t i = 0; i < n; ++i) inPointers[c][i] = interleavedIn[static_cast<size_t>(i) * chans + c];
    host->processBlock(inPointers.data(), outPointers.data(), static_cast<int>(n));
    if (pass.reduction && !sourceDone && (intoStep += n) >= stepFrames) {
      intoStep -= stepFrames;
      takeReadings();
    }

    const int64_t skip = std::min(toSkip, n);
    toSkip -= skip;
    const int64_t keep = n - skip;
    if (keep <= 0) continue;
    for (size_t c = 0; c < chans; ++c)
      for (int64_t i = 0; i < keep; ++i) interleavedOut[static_cast<size_t>(i) * chans + c] = outPointers[c][skip + i];
    if (pass.outputMeter) pass.outputMeter->add(interleavedOut.data(), keep);
    if (pass.writer && !pass.writer->write(interleavedOut.data(), keep, error_)) {
      progress_->finish();
      return fail(error_);
    }
    written += keep;
    progress_->update(written);
  }
  progress_->finish();
  // The readings only ever rise between takes: what is left is the largest since the last.
  outcome.frames = written;
  outcome.limiterReductionDb =
      std::max(outcome.limiterReductionDb, static_cast<double>(meters.limiterReduction.exchange(0.0f)));
  for (int b = 0; b < 3; ++b)
    outcome.glueReductionDb[b] =
        std::max(outcome.glueReductionDb[b], static_cast<double>(meters.glueReduction[b].exchange(0.0f)));
  if (pass.writer) plugin.DetachUI();
  return true;
}

double RenderJob::firstGuessDb(double targetLufs) {
  // The input's own loudness (a read and a K-weighted sum, far cheaper than a pass through the
  // chain) puts the first pass near the target, so that the second is usually the master.
  std::string ignored;
  if (!source_->rewind(ignored)) return values_[kGain];
  LoudnessMeter meter(channels_, rate_, true);
  std::vector<double> buffer(static_cast<size_t>(options_.blockSize * channels_));
  for (int64_t n; (n = source_->read(buffer.data(), options_.blockSize)) > 0;) meter.add(buffer.data(), n);
  const double inputLufs = meter.result().integratedLufs;
  return std::isfinite(inputLufs) ? targetLufs - inputLufs : values_[kGain];
}

bool RenderJob::findTargetGain() {
  if (!options_.targetLufs) return true;
  const double target = *options_.targetLufs;
  if (values_[kBypass] >= 0.5) return fail("--target-lufs cannot reach a loudness while Bypass is on", 2);
  if (values_[kLimiterActive] < 0.5) {
    note("--target-lufs works with the limiter active; turning it on");
    values_[kLimiterActive] = 1.0;
  }
  const int64_t frames = source_->frames();
  if (frames < static_cast<int64_t>(std::ceil(kShortestMeasurableSeconds * rate_))) {
    char text[160];
    std::snprintf(text, sizeof text, "%s is too short to measure integrated loudness (%.3f s; at least %.1f s needed)",
                  inQuotes(inputName_).c_str(), static_cast<double>(frames) / rate_, kShortestMeasurableSeconds);
    return fail(text);
  }
  // The search needs integrated loudness only, and its passes write nothing. Once a pass lands
  // close, the next gain is all but certain: that pass is rendered as the master itself (with
  // every meter), and kept when it lands, so the usual search costs no extra render.
  int number = 0;
  bool renderFailed = false;
  std::optional<double> lastMissLu;
  const MeasureLoudness measureAt = [&](double gainDb, double& lufs) {
    std::vector<double> values = values_;
    values[kGain] = gainDb;
    ++number;
    if (lastMissLu && std::fabs(*lastMissLu) < kWriteWhenWithinLu) {
      if (!writePass(values, "pass " + std::to_string(number))) {
        renderFailed = true;
        return false;
      }
      writtenGainDb_ = gainDb;
      lufs = outputMeter_->result().integratedLufs;
    } else {
      RenderPass pass;
      pass.parameterValues = values;
      LoudnessMeter meter(channels_, rate_, true);
      pass.outputMeter = &meter;
      pass.label = "pass " + std::to_string(number);
      RenderOutcome outcome;
      if (!render(pass, outcome)) {
        renderFailed = true;
        return false;
      }
      lufs = meter.result().integratedLufs;
    }
    lastMissLu = target - lufs;
    return true;
  };
  const GainSearch search = searchGain(target, firstGuessDb(target), measureAt);
  char text[256];
  switch (search.status) {
    case GainSearch::kReached: break;
    case GainSearch::kFailed: return renderFailed ? false : fail("the render failed");
    case GainSearch::kSilent:
      return fail(inQuotes(inputName_) + " is silent: there is no loudness to raise to a target");
    case GainSearch::kTooQuiet:
      std::snprintf(text, sizeof text,
                    "--target-lufs %.1f is out of reach: at the most gain (%+.0f dB) the output measures %.1f LUFS "
                    "under the %.1f dB ceiling",
                    target, search.closest.gainDb, search.closest.lufs, values_[kLimiterCeiling]);
      return fail(text);
    case GainSearch::kTooLoud:
      std::snprintf(text, sizeof text,
                    "--target-lufs %.1f is out of reach: at the least gain (%+.0f dB) the output still measures "
                    "%.1f LUFS",
                    target, search.closest.gainDb, search.closest.lufs);
      return fail(text);
    case GainSearch::kNotSettled:
      std::snprintf(text, sizeof text,
                    "--target-lufs %.1f: no gain landed within 0.1 LU in %d passes (closest %.2f LUFS at %+.2f dB)",
                    target, search.passes, search.closest.lufs, search.closest.gainDb);
      return fail(text);
  }
  values_[kGain] = search.closest.gainDb;
  report_.target = TargetResult{target, search.closest.gainDb, search.passes};
  return true;
}

bool RenderJob::writePass(const std::vector<double>& values, const std::string& label) {
  writer_.reset();  // a discarded pass's file goes before the next one is made: one at a time on disk
  writer_ = AudioWriter::create(output_, outputFormat_, channels_, rate_, metadata_, ditherNamed(options_.dither),
                                options_.force, error_);
  if (!writer_) return fail(error_);
  // The true-peak and range meters run on the kept result only, once.
  inputMeter_ = measure_ ? std::make_unique<LoudnessMeter>(channels_, rate_, false) : nullptr;
  outputMeter_ = isLossy(outputFormat_) ? nullptr : std::make_unique<LoudnessMeter>(channels_, rate_, false);
  RenderPass pass;
  pass.parameterValues = values;
  pass.writer = writer_.get();
  pass.inputMeter = inputMeter_.get();
  pass.outputMeter = outputMeter_.get();
  if (options_.plot) {
    if (inputMeter_) inputMeter_->keepTimeline();
    if (outputMeter_) outputMeter_->keepTimeline();
    pass.reduction = &reduction_;
  }
  pass.label = label;
  if (!render(pass, kept_)) return false;
  warnAboutInput();  // a stream's truncation shows at its end
  if (!writer_->finish(error_)) return fail(error_);
  // Tags and pictures beyond libsndfile's standard strings: ISRC, composer, custom keys, cover art.
  if (reader_ && !reader_->fromStream()) {
    std::vector<std::string> tagWarnings;
    if (!copyTags(*options_.input, inputFormat_, writer_->finishedPath(), outputFormat_, metadata_.strings, tagWarnings,
                  error_))
      warn(error_);
    // Shown for the kept master only, not again for every pass.
    tagWarnings_ = std::move(tagWarnings);
  }
  return true;
}

Loudness RenderJob::writtenLoudness() {
  if (outputMeter_) return outputMeter_->result();
  // A lossy encoder changes the peaks: measure what a player will decode from the file.
  Loudness none{-INFINITY, -INFINITY, -INFINITY, -INFINITY};
  std::string why;
  auto decoded = AudioReader::open(writer_->finishedPath(), false, why);
  if (!decoded) {
    warn("cannot measure the written file: " + why);
    return none;
  }
  LoudnessMeter meter(decoded->channels(), decoded->sampleRate(), false);
  if (options_.plot) meter.keepTimeline();
  std::vector<double> buffer(static_cast<size_t>(4096 * decoded->channels()));
  for (int64_t n; (n = decoded->read(buffer.data(), 4096)) > 0;) meter.add(buffer.data(), n);
  writtenTimeline_ = meter.timeline();
  return meter.result();
}

bool RenderJob::writeMaster() {
  if (writer_ && writtenGainDb_ == values_[kGain]) return true;  // the search's last pass is the master
  return writePass(values_, options_.targetLufs ? "writing" : "render");
}

bool RenderJob::guardTruePeak() {
  report_.after = writtenLoudness();
  const bool limiting = values_[kLimiterActive] >= 0.5 && values_[kBypass] < 0.5;
  const double ceiling = values_[kLimiterCeiling];
  if (options_.guardTruePeak && limiting) {
    double lowered = 0.0;
    for (int pass = 2; pass <= kMostGuardPasses && report_.after.truePeakDb > ceiling; ++pass) {
      lowered += report_.after.truePeakDb - ceiling + kGuardMarginDb;
      std::vector<double> values = values_;
      values[kLimiterCeiling] = ceiling - lowered;
      char text[128];
      std::snprintf(text, sizeof text, "the file's true peak is %.2f dBTP, over the %.2f dB ceiling; rendering again "
                    "with the ceiling at %.2f dB", report_.after.truePeakDb, ceiling, ceiling - lowered);
      note(text);
      if (!writePass(values, "guard " + std::to_string(pass))) return false;
      report_.after = writtenLoudness();
    }
    report_.guardLoweredDb = lowered;
  }
  if (limiting && report_.after.truePeakDb > ceiling) {
    char text[160];
    std::snprintf(text, sizeof text, "the written file's true peak is %.2f dBTP, above the %.2f dB ceiling%s",
                  report_.after.truePeakDb, ceiling, options_.guardTruePeak ? "" : " (--guard-true-peak renders it under)");
    warn(text);
  }
  return true;
}

bool RenderJob::commitMaster() {
  if (!writer_->commit(error_)) return fail(error_);
  for (const std::string& text : tagWarnings_) warn(text);
  if (!writer_->linkTarget().empty()) {
    report_.outputLinkTarget = writer_->linkTarget();
    note(inQuotes(output_) + " is a symbolic link: the master was written to " + inQuotes(writer_->linkTarget()));
  }
  return true;
}

bool RenderJob::finishReport() {
  report_.frames = kept_.frames;
  report_.latencySamples = kept_.latencySamples;
  report_.limiterReductionDb = kept_.limiterReductionDb;
  for (int b = 0; b < 3; ++b) report_.glueReductionDb[b] = kept_.glueReductionDb[b];
  if (inputMeter_) report_.before = inputMeter_->result();
  if (!measure_) return true;
  offline::OfflineHost::Options hostOptions;
  hostOptions.sampleRate = rate_;
  hostOptions.inputs = hostOptions.outputs = channels_;
  auto host = offline::OfflineHost::create(hostOptions, error_);
  if (!host) return fail(error_);
  const Plumbrook& plugin = host->plugin();
  for (int i = 0; i < plugin.NParams(); ++i) {
    const plugkit::Param& param = *plugin.GetParam(i);
    const double value = values_[static_cast<size_t>(i)];
    std::string shown;
    param.GetDisplay(value, false, shown);
    report_.settings.push_back({std::string(kParamSymbols[static_cast<size_t>(i)]), shown, value,
                                std::fabs(value - param.GetDefault()) < 1e-9});
  }
  if (reportWanted_) printReport(report_, output_ == "-" ? stderr : stdout);
  if (options_.reportJson && !writeText(*options_.reportJson, reportJson(report_), options_.force, error_)) return fail(error_);
  return true;
}

bool RenderJob::drawPicture() {
  if (!options_.plot) return true;
  LoudnessPicture picture;
  picture.title = demo_ ? "demo" : fs::path(inputName_).filename().string();
  if (output_ != "-") picture.title += "  \u00b7  master " + fs::path(output_).filename().string();
  char text[256];
  std::snprintf(text, sizeof text, "%s  \u00b7  %.0f Hz  \u00b7  %s  \u00b7  %s", report_.format.c_str(), rate_,
                channels_ == 1 ? "mono" : "stereo",
                clockText(static_cast<double>(report_.frames) / rate_, true).c_str());
  picture.details = text;
  std::snprintf(text, sizeof text,
                "loudness before %.1f LUFS, after %.1f LUFS   range %.1f LU   true peak %.2f dBTP   gain %+.1f dB   "
                "limiter up to %.1f dB",
                report_.before.integratedLufs, report_.after.integratedLufs, report_.after.rangeLu,
                report_.after.truePeakDb, values_[kGain], report_.limiterReductionDb);
  picture.figures = text;
  if (inputMeter_) picture.input = inputMeter_->timeline();
  picture.master = outputMeter_ ? outputMeter_->timeline() : writtenTimeline_;
  picture.reduction = reduction_;
  picture.targetLufs = options_.targetLufs;
  if (values_[kLimiterActive] >= 0.5 && values_[kBypass] < 0.5) picture.ceilingDb = values_[kLimiterCeiling];
  picture.integratedBefore = report_.before.integratedLufs;
  picture.integratedAfter = report_.after.integratedLufs;
  if (static_cast<double>(report_.frames) < 0.4 * rate_) picture.note = "too short to measure loudness";
  std::string why;
  if (!writeLoudnessPicture(picture, options_.plotScale, *options_.plot, why)) return fail(why);
  return true;
}

}  // namespace plumbrook::cli
