// Reference true-peak meter: 16x oversampling through a long Kaiser-windowed sinc.
#pragma once

#include <vector>

namespace plumbrook::test {

/// Measures the peak of the band-limited waveform behind a sampled signal. Slow but accurate up to
/// about 0.99 of the Nyquist frequency; meant for tests, not for the audio thread.
class TruePeakMeter {
 public:
  static constexpr int kOversampling = 16;

  /// halfLength: taps on each side of an interpolated point; beta: Kaiser window shape. The
  /// default reads within about 0.01 dB of ideal (FFT) reconstruction even on full-band noise.
  explicit TruePeakMeter(int halfLength = 512, double beta = 10.0);

  /// Largest magnitude of the reconstructed waveform (linear), samples outside x taken as 0.
  double peak(const std::vector<double>& x) const;

  /// Largest magnitude of the reconstructed waveform between samples `from` and `to` only; the
  /// samples around the range still shape it (a cut signal rings at its edges).
  double peak(const std::vector<double>& x, int from, int to) const;

  /// Largest of peak() over the channels, in dBFS (-inf for silence).
  double peakDb(const std::vector<std::vector<double>>& channels) const;

 private:
  int halfLength_;
  // kernel_[k * 16 + phase]: weight of x[n - halfLength + 1 + k] for the point n + phase / 16.
  std::vector<double> kernel_;
};

/// Kaiser-windowed sinc interpolation weights, each phase scaled to unity gain:
/// kernel[k * phases + phase] weighs x[n - halfLength + 1 + k] for the point n + phase / phases.
std::vector<double> kaiserSincKernel(int halfLength, double beta, int phases);

/// True peak in dBFS of the channels measured by libebur128's true-peak mode.
double ebur128TruePeakDb(const std::vector<std::vector<double>>& channels, double sampleRate);

}  // namespace plumbrook::test
