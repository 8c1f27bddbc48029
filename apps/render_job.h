// `plumbrook render` as a job of named steps: open the input, check the outputs, resolve the
// settings, find the gain for a loudness target, write the master once, guard its true peak,
// commit it, report.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "apps/audio_file.h"
#include "apps/loudness.h"
#include "apps/loudness_picture.h"
#include "apps/progress.h"
#include "apps/render_options.h"
#include "apps/report.h"

namespace plumbrook::cli {

/// One run of the plug-in over the whole source, from its start.
struct RenderPass {
  std::vector<double> parameterValues;  // real units, in parameter order
  AudioWriter* writer = nullptr;         // may be null: a measuring pass writes nothing
  LoudnessMeter* inputMeter = nullptr;   // may be null
  LoudnessMeter* outputMeter = nullptr;  // may be null
  std::vector<ReductionStep>* reduction = nullptr;  // may be null: the meters' readings per step
  std::string label;                     // shown on the progress bar
};

struct RenderOutcome {
  int latencySamples = 0;           // the latency the plug-in reported, removed from the output
  int64_t frames = 0;               // frames read and written
  double limiterReductionDb = 0.0;  // the limiter's largest gain reduction, positive dB
  double glueReductionDb[3] = {0.0, 0.0, 0.0};  // the glue's largest reduction per band
};

/// Writes a report: standard output for "-", a device or pipe in place, else a durable
/// replacement of the file. False with a message.
bool writeReportFile(const std::string& path, const std::string& text, bool force, std::string& error);

class RenderJob {
 public:
  explicit RenderJob(RenderOptions options) : options_(std::move(options)) {}

  /// Runs every step; the process exit status (0 done, 1 failed, 2 usage). Messages go to
  /// standard error. Main thread; allocates; does I/O.
  int run();

  // The steps one by one, for a release whose files share a gain. Each is false with error()
  // and status() set. Any one thread at a time; allocates; does I/O.
  /// Opens the input, checks the output and resolves the settings.
  bool prepare();
  /// Finds any per-file target gain, writes the master, guards its true peak, commits, reports.
  bool master();
  /// Adds the input (no gain) or the chain's output at `gainDb` to an integrated-loudness meter
  /// made with channels() and sampleRate().
  bool measure(std::optional<double> gainDb, LoudnessMeter& meter);
  /// Masters at this gain, with the limiter on (a release's one gain).
  bool useGain(double gainDb);

  int channels() const { return channels_; }
  double sampleRate() const { return rate_; }
  RenderReport& report() { return report_; }
  const std::string& error() const { return error_; }
  int status() const { return status_; }

 private:
  bool openInput();
  bool checkOutputs();
  bool resolveSettings();
  bool findTargetGain();
  /// The gain that would bring the unprocessed input to the target: the search's first pass.
  double firstGuessDb(double targetLufs);
  bool writeMaster();
  bool guardTruePeak();
  bool commitMaster();
  bool finishReport();
  bool drawPicture();

  /// Renders the whole source once through a fresh plug-in in the offline host, which paces
  /// the blocks and the 20 ms timer; output shifted by the reported latency and flushed, so
  /// output frame n lines up with input frame n. False with error_ set.
  bool render(const RenderPass& pass, RenderOutcome& outcome);
  /// One written pass with full meters: the file is finished but not committed.
  bool writePass(const std::vector<double>& values, const std::string& label);
  /// The written file's figures: decoded and measured for lossy formats, else the pass's meter.
  Loudness writtenLoudness();

  bool fail(std::string message, int status = 1);
  void note(const std::string& text) const;
  void warn(const std::string& text) const;
  void warnAboutInput();

  RenderOptions options_;
  std::string error_;
  int status_ = 1;
  bool demo_ = false;
  std::string inputName_;
  std::unique_ptr<AudioSource> source_;
  AudioReader* reader_ = nullptr;  // source_ when it is a file or stream, for its tags and warnings
  int inputFormat_ = 0;
  Metadata metadata_;
  std::string output_;
  int outputFormat_ = 0;
  int channels_ = 0;
  double rate_ = 0.0;
  bool reportWanted_ = false;
  bool measure_ = false;
  std::vector<double> values_;
  std::unique_ptr<ProgressBar> progress_;
  std::unique_ptr<AudioWriter> writer_;
  std::unique_ptr<LoudnessMeter> inputMeter_, outputMeter_;
  RenderOutcome kept_;
  std::vector<ReductionStep> reduction_;
  std::vector<LoudnessStep> writtenTimeline_;  // a lossy master's, measured after decoding
  std::optional<double> writtenGainDb_;  // the gain of the search pass written as the master
  RenderReport report_;
  std::vector<std::string> tagWarnings_;  // about the written master's tags
};

}  // namespace plumbrook::cli
