// Three-band crossover design (Audio EQ Cookbook low-pass, high-pass and all-pass at Q = 1/sqrt 2).
#include "dsp/crossover3.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace plumbrook::dsp {

namespace {

struct SplitDesign {
  BiquadSection lowPass, highPass, allPass;
};

SplitDesign designSplit(double sampleRate, double hz) {
  // Out-of-range frequencies fall back to the nearest usable one instead of producing NaN.
  if (!(hz > 0.0)) hz = 1.0;
  hz = std::min(hz, 0.49 * sampleRate);
  const double w = 2.0 * std::numbers::pi * hz / sampleRate;
  const double cosW = std::cos(w);
  const double alpha = std::sin(w) / std::numbers::sqrt2;
  const double a0 = 1.0 + alpha;
  const double a1 = -2.0 * cosW / a0;
  const double a2 = (1.0 - alpha) / a0;
  SplitDesign d;
  d.lowPass = {(1.0 - cosW) / 2.0 / a0, (1.0 - cosW) / a0, (1.0 - cosW) / 2.0 / a0, a1, a2};
  d.highPass = {(1.0 + cosW) / 2.0 / a0, -(1.0 + cosW) / a0, (1.0 + cosW) / 2.0 / a0, a1, a2};
  d.allPass = {a2, a1, 1.0, a1, a2};
  return d;
}

}  // namespace

void Crossover3::prepare(double sampleRate, double lowHz, double highHz) noexcept {
  if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) sampleRate = 48000.0;
  const SplitDesign low = designSplit(sampleRate, lowHz);
  const SplitDesign high = designSplit(sampleRate, highHz);
  sections_[kLp1a] = sections_[kLp1b] = low.lowPass;
  sections_[kHp1a] = sections_[kHp1b] = low.highPass;
  sections_[kLp2a] = sections_[kLp2b] = high.lowPass;
  sections_[kHp2a] = sections_[kHp2b] = high.highPass;
  sections_[kAp2] = high.allPass;
}

void Crossover3::clear() noexcept {
  for (BiquadSection& s : sections_) s.clear();
}

}  // namespace plumbrook::dsp
