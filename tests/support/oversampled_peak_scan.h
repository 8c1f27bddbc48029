// An 8x oversampling peak scan through a Kaiser-windowed sinc, as delivery QC meters measure.
#pragma once

#include <vector>

namespace plumbrook::test {

/// Peak of the waveform between samples at eight points per sample (plus the vertex of a
/// parabola through each local extremum). Meant for tests and measurements, not the audio thread.
class OversampledPeakScan {
 public:
  static constexpr int kPhases = 8;

  /// halfLength: samples on each side of an interpolated point; beta: Kaiser window shape.
  explicit OversampledPeakScan(int halfLength = 64, double beta = 9.0);

  /// Largest magnitude of one channel's reconstructed waveform, per stretch of `window` samples
  /// (the last stretch may be shorter); samples outside x count as 0.
  std::vector<double> windowPeaks(const std::vector<double>& x, int window) const;

  /// Largest magnitude over every channel, in dBFS (-inf for silence).
  double peakDb(const std::vector<std::vector<double>>& channels) const;

  /// How many 10 ms stretches of the channels reach above levelDb.
  int windowsAbove(const std::vector<std::vector<double>>& channels, double sampleRate, double levelDb) const;

 private:
  int halfLength_;
  // kernel_[k * kPhases + phase]: weight of x[n - halfLength + 1 + k] for the point n + phase / 8.
  std::vector<double> kernel_;
};

}  // namespace plumbrook::test
