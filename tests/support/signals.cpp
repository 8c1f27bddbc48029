// Deterministic test signals.
#include "tests/support/signals.h"
#include "tests/support/pink_filter.h"

#include <cmath>
#include <numbers>
#include <random>

namespace plumbrook::test {

std::vector<double> sine(double frequencyHz, double sampleRate, int frames, double amplitude,
                         double phase) {
  std::vector<double> out(static_cast<size_t>(frames));
  const double w = 2.0 * std::numbers::pi * frequencyHz / sampleRate;
  for (int i = 0; i < frames; ++i) out[static_cast<size_t>(i)] = amplitude * std::sin(w * i + phase);
  return out;
}

std::vector<double> whiteNoise(uint32_t seed, int frames, double amplitude) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> dist(-amplitude, amplitude);
  std::vector<double> out(static_cast<size_t>(frames));
  for (double& x : out) x = dist(rng);
  return out;
}

std::vector<double> pinkNoise(uint32_t seed, int frames, double peakLevel) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> out(static_cast<size_t>(frames));
  PinkFilter pink;
  for (double& x : out) x = pink.next(dist(rng));
  const double p = peak(out);
  if (p > 0) for (double& x : out) x *= peakLevel / p;
  return out;
}

double peak(const std::vector<double>& x) {
  double p = 0.0;
  for (double v : x) p = std::max(p, std::fabs(v));
  return p;
}

double rms(const std::vector<double>& x) {
  if (x.empty()) return 0.0;
  double sum = 0.0;
  for (double v : x) sum += v * v;
  return std::sqrt(sum / static_cast<double>(x.size()));
}

}  // namespace plumbrook::test
