// Reference true-peak meter and a thin wrapper over libebur128's true-peak measurement.
#include "tests/support/true_peak_meter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstring>  // memcpy
#include <limits>
#include <numbers>

namespace plumbrook::test {

namespace {

double besselI0(double x) {
  double sum = 1.0;
  double term = 1.0;
  for (int k = 1; k < 200; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

using Double4 = double __attribute__((vector_size(32)));

// All 16 phases of one point at once: independent sums kept in vector registers.
__attribute__((target_clones("avx2", "default"))) void interpolatePhases(const double* window, const double* kernel,
                                                                           int taps, double* out) {
  Double4 a0 = {};
  Double4 a1 = {};
  Double4 a2 = {};
  Double4 a3 = {};
  for (int k = 0; k < taps; ++k) {
    const double xk = window[k];
    const double* w = kernel + static_cast<size_t>(k) * 16;
    Double4 w0;
    Double4 w1;
    Double4 w2;
    Double4 w3;
    std::memcpy(&w0, w, sizeof w0);
    std::memcpy(&w1, w + 4, sizeof w1);
    std::memcpy(&w2, w + 8, sizeof w2);
    std::memcpy(&w3, w + 12, sizeof w3);
    a0 += w0 * xk;
    a1 += w1 * xk;
    a2 += w2 * xk;
    a3 += w3 * xk;
  }
  std::memcpy(out, &a0, sizeof a0);
  std::memcpy(out + 4, &a1, sizeof a1);
  std::memcpy(out + 8, &a2, sizeof a2);
  std::memcpy(out + 12, &a3, sizeof a3);
}

double toDb(double linear) {
  return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

}  // namespace

std::vector<double> kaiserSincKernel(int halfLength, double beta, int phases) {
  const int taps = 2 * halfLength;
  std::vector<double> kernel(static_cast<size_t>(taps) * static_cast<size_t>(phases), 0.0);
  for (int phase = 0; phase < phases; ++phase) {
    const double mu = static_cast<double>(phase) / phases;
    double sum = 0.0;
    for (int k = 0; k < taps; ++k) {
      // Distance from the sample x[n - halfLength + 1 + k] to the point n + mu.
      const double t = mu - static_cast<double>(k - halfLength + 1);
      const double sinc = t == 0.0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
      const double u = t / (halfLength + 1.0);
      const double window = std::fabs(u) < 1.0 ? besselI0(beta * std::sqrt(1.0 - u * u)) / besselI0(beta) : 0.0;
      kernel[static_cast<size_t>(k * phases + phase)] = sinc * window;
      sum += sinc * window;
    }
    for (int k = 0; k < taps; ++k) kernel[static_cast<size_t>(k * phases + phase)] /= sum;
  }
  return kernel;
}

TruePeakMeter::TruePeakMeter(int halfLength, double beta)
    : halfLength_(std::max(1, halfLength)), kernel_(kaiserSincKernel(halfLength_, beta, kOversampling)) {}

double TruePeakMeter::peak(const std::vector<double>& x) const {
  const int n = static_cast<int>(x.size());
  return peak(x, -halfLength_, n + halfLength_);
}

double TruePeakMeter::peak(const std::vector<double>& x, int from, int to) const {
  const int n = static_cast<int>(x.size());
  const int taps = 2 * halfLength_;
  // Zero-padded copy so every kernel reads inside the buffer.
  std::vector<double> padded(static_cast<size_t>(n + 2 * taps), 0.0);
  std::copy(x.begin(), x.end(), padded.begin() + taps);
  double best = 0.0;
  double prev2 = 0.0;
  double prev1 = 0.0;
  int seen = 0;  // points so far; the vertex needs two real neighbours
  // By default points run from before the signal to after it, so edge ringing is seen too.
  from = std::max(from, -halfLength_);
  to = std::min(to, n + halfLength_);
  constexpr int P = kOversampling;
  for (int s = from; s < to; ++s) {
    const double* window = padded.data() + taps + s - halfLength_ + 1;
    double acc[P];
    interpolatePhases(window, kernel_.data(), taps, acc);
    for (int phase = 0; phase < P; ++phase) {
      const double y = acc[phase];
      best = std::max(best, std::fabs(y));
      // Parabolic vertex through three neighbouring points refines a local extremum.
      const double curvature = prev2 - 2.0 * prev1 + y;
      const bool extremum = (prev1 > 0.0 && prev1 >= prev2 && prev1 >= y) || (prev1 < 0.0 && prev1 <= prev2 && prev1 <= y);
      if (seen >= 2 && extremum && curvature != 0.0) {
        const double d = prev2 - y;
        best = std::max(best, std::fabs(prev1 - d * d / (8.0 * curvature)));
      }
      prev2 = prev1;
      prev1 = y;
      ++seen;
    }
  }
  return best;
}

double TruePeakMeter::peakDb(const std::vector<std::vector<double>>& channels) const {
  double best = 0.0;
  for (const auto& c : channels) best = std::max(best, peak(c));
  return toDb(best);
}

double ebur128TruePeakDb(const std::vector<std::vector<double>>& channels, double sampleRate) {
  if (channels.empty()) return -std::numeric_limits<double>::infinity();
  const auto count = static_cast<unsigned>(channels.size());
  ebur128_state* state = ebur128_init(count, static_cast<unsigned long>(sampleRate), EBUR128_MODE_TRUE_PEAK);
  if (state == nullptr) return std::numeric_limits<double>::quiet_NaN();
  const size_t frames = channels[0].size();
  std::vector<double> interleaved(frames * count);
  for (size_t i = 0; i < frames; ++i) {
    for (unsigned c = 0; c < count; ++c) interleaved[i * count + c] = channels[c][i];
  }
  double best = 0.0;
  if (ebur128_add_frames_double(state, interleaved.data(), frames) == EBUR128_SUCCESS) {
    for (unsigned c = 0; c < count; ++c) {
      double p = 0.0;
      if (ebur128_true_peak(state, c, &p) == EBUR128_SUCCESS) best = std::max(best, p);
    }
  }
  ebur128_destroy(&state);
  return toDb(best);
}

}  // namespace plumbrook::test
