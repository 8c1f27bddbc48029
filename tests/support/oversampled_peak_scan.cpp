// 8x windowed-sinc peak scan.
#include "tests/support/oversampled_peak_scan.h"

#include <algorithm>
#include <cmath>
#include <cstring>  // memcpy
#include <limits>

#include "tests/support/true_peak_meter.h"

namespace plumbrook::test {

namespace {

using Double4 = double __attribute__((vector_size(32)));

// The eight phases of one point at once.
__attribute__((target_clones("avx2", "default"))) void interpolatePhases(const double* window, const double* kernel,
                                                                           int taps, double* out) {
  Double4 a0 = {};
  Double4 a1 = {};
  for (int k = 0; k < taps; ++k) {
    const double xk = window[k];
    Double4 w0;
    Double4 w1;
    std::memcpy(&w0, kernel + static_cast<size_t>(k) * 8, sizeof w0);
    std::memcpy(&w1, kernel + static_cast<size_t>(k) * 8 + 4, sizeof w1);
    a0 += w0 * xk;
    a1 += w1 * xk;
  }
  std::memcpy(out, &a0, sizeof a0);
  std::memcpy(out + 4, &a1, sizeof a1);
}

}  // namespace

OversampledPeakScan::OversampledPeakScan(int halfLength, double beta)
    : halfLength_(std::max(1, halfLength)), kernel_(kaiserSincKernel(halfLength_, beta, kPhases)) {}

std::vector<double> OversampledPeakScan::windowPeaks(const std::vector<double>& x, int window) const {
  window = std::max(1, window);
  const int n = static_cast<int>(x.size());
  const int taps = 2 * halfLength_;
  std::vector<double> padded(static_cast<size_t>(n + 2 * taps), 0.0);
  std::copy(x.begin(), x.end(), padded.begin() + taps);
  std::vector<double> peaks(static_cast<size_t>((n + window - 1) / window), 0.0);
  double prev2 = 0.0;
  double prev1 = 0.0;
  for (int s = -1; s < n; ++s) {
    double acc[kPhases];
    interpolatePhases(padded.data() + taps + s - halfLength_ + 1, kernel_.data(), taps, acc);
    for (int phase = 0; phase < kPhases; ++phase) {
      const double y = acc[phase];
      // The point before y belongs to sample s (or s - 1 for phase 0); points before sample 0
      // (the ringing ahead of the signal) count towards the first stretch.
      const int owner = std::max(0, phase == 0 ? s - 1 : s);
      double best = std::fabs(prev1);
      const double curvature = prev2 - 2.0 * prev1 + y;
      const bool extremum = (prev1 > 0.0 && prev1 >= prev2 && prev1 >= y) || (prev1 < 0.0 && prev1 <= prev2 && prev1 <= y);
      if (extremum && curvature != 0.0) {
        const double d = prev2 - y;
        best = std::max(best, std::fabs(prev1 - d * d / (8.0 * curvature)));
      }
      if (owner < n) {
        double& slot = peaks[static_cast<size_t>(owner / window)];
        slot = std::max(slot, best);
      }
      prev2 = prev1;
      prev1 = y;
    }
  }
  return peaks;
}

double OversampledPeakScan::peakDb(const std::vector<std::vector<double>>& channels) const {
  double best = 0.0;
  for (const auto& c : channels) {
    const int whole = std::max(1, static_cast<int>(c.size()));
    for (double p : windowPeaks(c, whole)) best = std::max(best, p);
  }
  return best > 0.0 ? 20.0 * std::log10(best) : -std::numeric_limits<double>::infinity();
}

int OversampledPeakScan::windowsAbove(const std::vector<std::vector<double>>& channels, double sampleRate,
                                      double levelDb) const {
  const int window = std::max(1, static_cast<int>(std::lround(0.01 * sampleRate)));
  std::vector<double> worst;
  for (const auto& c : channels) {
    const std::vector<double> peaks = windowPeaks(c, window);
    if (worst.size() < peaks.size()) worst.resize(peaks.size(), 0.0);
    for (size_t i = 0; i < peaks.size(); ++i) worst[i] = std::max(worst[i], peaks[i]);
  }
  const double level = std::pow(10.0, levelDb / 20.0);
  return static_cast<int>(std::count_if(worst.begin(), worst.end(), [level](double p) { return p > level; }));
}

}  // namespace plumbrook::test
