// Loudness and peak measurement of rendered audio (ITU-R BS.1770 / EBU R 128, via libebur128).
#pragma once

#include <cstdint>
#include <memory>

namespace plumbrook::cli {

/// Measured figures; -infinity where there is nothing to measure (silence, too short).
struct Loudness {
  double integratedLufs;
  double rangeLu;
  double samplePeakDb;  // dBFS
  double truePeakDb;    // dBTP
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

 private:
  struct State;
  std::unique_ptr<State> state_;
  int channels_;
  bool integratedOnly_;
};

}  // namespace plumbrook::cli
