// Loudness and peak measurement of rendered audio (ITU-R BS.1770 / EBU R 128, via libebur128).
#pragma once

#include <cstdint>
#include <array>
#include <memory>
#include <vector>

namespace plumbrook::cli {

/// Measured figures; -infinity where there is nothing to measure (silence, too short).
struct Loudness {
  double integratedLufs;
  double rangeLu;
  double samplePeakDb;  // dBFS
  double truePeakDb;    // dBTP
};

/// The meter's reading over 100 ms of audio: the momentary (400 ms) and short-term (3 s) loudness
/// at its end, and the highest true peak inside it. -infinity where there is nothing to measure.
struct LoudnessStep {
  float momentaryLufs;
  float shortTermLufs;
  float truePeakDb;
};

class LoudnessMeter {
 public:
  /// `integratedOnly` skips the range and peak measurements (used by loudness search passes).
  /// Allocates.
  LoudnessMeter(int channels, double sampleRate, bool integratedOnly);
  ~LoudnessMeter();
  LoudnessMeter(const LoudnessMeter&) = delete;
  LoudnessMeter& operator=(const LoudnessMeter&) = delete;

  /// Adds interleaved frames.
  void add(const double* interleaved, int64_t frames);
  /// The figures of everything added so far.
  Loudness result() const;
  /// The integrated loudness of several programmes taken as one (gated over all their blocks),
  /// as an album measures; -infinity for silence.
  static double integratedTogether(const std::vector<const LoudnessMeter*>& meters);

  /// Also keeps one LoudnessStep per 100 ms of audio added from now on (a 10-minute file keeps
  /// 6,000). Call before the first add; not with `integratedOnly`.
  void keepTimeline();
  /// The steps so far; a last step shorter than 100 ms is included.
  std::vector<LoudnessStep> timeline();
  /// Seconds of audio between two steps.
  static constexpr double kTimelineStep = 0.1;

  /// Measures the true and sample peaks on worker threads beside the loudness, one libebur128
  /// state per channel, when the machine has more than one core: the figures are the same as
  /// measured on one thread. Call before the first add; not with `integratedOnly`. `add` then copies the
  /// frames and may wait for a worker to free a buffer; memory stays flat with length.
  void measureTruePeakOnThreads();

 private:
  LoudnessStep currentStep();
  // With the first frames, once the timeline's step is known.
  void startTruePeakWorkers();
  // Waits until the true-peak workers have measured everything added (when there are any).
  void settleTruePeak() const;
  double stepTruePeak(size_t step) const;

  struct State;
  class TruePeakWorkers;
  std::unique_ptr<State> state_;
  std::unique_ptr<TruePeakWorkers> truePeakWorkers_;
  bool truePeakOnThreads_ = false;
  int channels_;
  bool integratedOnly_;
  // The timeline: frames per step, frames into the current step and its peak so far.
  int64_t stepFrames_ = 0;
  int64_t intoStep_ = 0;
  double stepPeak_ = 0.0;
  std::vector<LoudnessStep> steps_;
  std::array<double, 30> blockEnergies_{};  // the last 3 s of 100 ms mean-square energies
  size_t blocksSeen_ = 0;
};

}  // namespace plumbrook::cli
