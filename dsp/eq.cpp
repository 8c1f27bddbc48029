// Three-band EQ stage: voiced section design, interpolation, glide and the biquad cascade.
#include "dsp/eq.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace plumbrook::dsp {

namespace {

constexpr EqSectionParams kUnusedSection{1000.0, 0.707, 0.0};
constexpr double kOffThresholdDb = 0.001;
constexpr double kSnapDb = 0.0001;
constexpr double kGlideSeconds = 0.02;

}  // namespace

EqBiquad designEqSection(int type, const EqSectionParams& params, double sampleRate) noexcept {
  const double f = std::min(0.49 * sampleRate, params.freqHz);
  const double w = 2.0 * std::numbers::pi * f / sampleRate;
  const double a = std::pow(10.0, params.gainDb / 40.0);
  const double cw = std::cos(w);
  const double alpha = std::sin(w) / (2.0 * params.q);
  double b0, b1, b2, a0, a1, a2;
  if (type == kEqLowShelf || type == kEqHighShelf) {
    const double ra = 2.0 * std::sqrt(a) * alpha;
    const double sign = type == kEqLowShelf ? 1.0 : -1.0;  // the high shelf mirrors cos w
    b0 = a * ((a + 1.0) - sign * (a - 1.0) * cw + ra);
    b1 = sign * 2.0 * a * ((a - 1.0) - sign * (a + 1.0) * cw);
    b2 = a * ((a + 1.0) - sign * (a - 1.0) * cw - ra);
    a0 = (a + 1.0) + sign * (a - 1.0) * cw + ra;
    a1 = -sign * 2.0 * ((a - 1.0) + sign * (a + 1.0) * cw);
    a2 = (a + 1.0) + sign * (a - 1.0) * cw - ra;
  } else {
    b0 = 1.0 + alpha * a;
    b1 = -2.0 * cw;
    b2 = 1.0 - alpha * a;
    a0 = 1.0 + alpha / a;
    a1 = -2.0 * cw;
    a2 = 1.0 - alpha / a;
  }
  const double inv = 1.0 / a0;
  return {b0 * inv, b1 * inv, b2 * inv, a1 * inv, a2 * inv};
}

double biquadResponseDb(const EqBiquad& q, double freqHz, double sampleRate) noexcept {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * freqHz / sampleRate);
  const std::complex<double> num = q.b0 + z1 * (q.b1 + z1 * q.b2);
  const std::complex<double> den = 1.0 + z1 * (q.a1 + z1 * q.a2);
  return 20.0 * std::log10(std::abs(num) / std::abs(den));
}

int Eq::voicingFor(double sampleRate) noexcept {
  if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) return 1;
  int best = 0;
  double bestDistance = std::fabs(std::log(sampleRate / kEqVoicing.sampleRates[0]));
  for (int i = 1; i < kEqRateCount; ++i) {
    const double d = std::fabs(std::log(sampleRate / kEqVoicing.sampleRates[i]));
    if (d < bestDistance) {
      best = i;
      bestDistance = d;
    }
  }
  return best;
}

const EqCurve& Eq::curveFor(int band, double dB) noexcept {
  if (band == 0) return kEqVoicing.low;
  if (band == 2) return kEqVoicing.high;
  return dB >= 0.0 ? kEqVoicing.midBoost : kEqVoicing.midCut;
}

void Eq::prepare(double sampleRate, int channels) noexcept {
  if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) sampleRate = 48000.0;
  sampleRate_ = sampleRate;
  channels_ = std::clamp(channels, 1, kMaxChannels);
  smoothing_ = 1.0 - std::exp(-static_cast<double>(kTickSamples) / (kGlideSeconds * sampleRate));
  voicing_ = voicingFor(sampleRate);
  reset();
}

void Eq::reset() noexcept {
  snapAll();
  fresh_ = true;
}

void Eq::snapAll() noexcept {
  for (int b = 0; b < kBands; ++b) {
    bands_[b].current = bands_[b].target;
    clearState(bands_[b]);
    if (sampleRate_ > 0.0) design(b);
  }
  tickCounter_ = 0;
}

void Eq::clearState(Band& band) noexcept {
  for (auto& channel : band.sections) {
    for (Section& s : channel) s.s1 = s.s2 = 0.0;
  }
}

void Eq::set(int band, double dB) noexcept {
  if (band < 0 || band >= kBands || !std::isfinite(dB)) return;
  const double range = rangeDb(band);
  const double value = std::fabs(dB) < kOffThresholdDb ? 0.0 : std::clamp(dB, -range, range);
  bands_[band].target = value;
  if (fresh_ && sampleRate_ > 0.0) snapAll();
}

std::array<EqSectionParams, kEqMaxSections> Eq::interpolate(const EqCurve& curve, double m) const noexcept {
  std::array<EqSectionParams, kEqMaxSections> p{kUnusedSection, kUnusedSection, kUnusedSection};
  const int sections = std::clamp<int>(curve.sections, 0, kEqMaxSections);
  const int points = std::clamp<int>(curve.points, 1, kEqMaxBreakpoints);
  const auto& rows = curve.params[voicing_];
  if (m <= curve.breakpoints[0] || points < 2) {
    const double scale = m <= curve.breakpoints[0] ? m / curve.breakpoints[0] : 1.0;
    for (int i = 0; i < sections; ++i) p[i] = {rows[0][i].freqHz, rows[0][i].q, rows[0][i].gainDb * scale};
    return p;
  }
  int k = points - 2;
  for (int j = 0; j <= points - 3; ++j) {
    if (m <= curve.breakpoints[j + 1]) {
      k = j;
      break;
    }
  }
  const double t = std::min(1.0, (m - curve.breakpoints[k]) / (curve.breakpoints[k + 1] - curve.breakpoints[k]));
  for (int i = 0; i < sections; ++i) {
    const EqSectionParams& lo = rows[k][i];
    const EqSectionParams& hi = rows[k + 1][i];
    p[i].freqHz = std::exp((1.0 - t) * std::log(lo.freqHz) + t * std::log(hi.freqHz));
    p[i].q = std::exp((1.0 - t) * std::log(lo.q) + t * std::log(hi.q));
    p[i].gainDb = (1.0 - t) * lo.gainDb + t * hi.gainDb;
  }
  return p;
}

void Eq::design(int b) noexcept {
  if (b < 0 || b >= kBands || !(sampleRate_ > 0.0)) return;
  Band& band = bands_[b];
  const double v = band.current;
  const bool wasActive = band.active;
  band.active = v != 0.0;
  if (!band.active) {
    if (wasActive) clearState(band);
    return;
  }
  const EqCurve& curve = curveFor(b, v);
  auto p = interpolate(curve, std::fabs(v));
  // A Low or High cut mirrors the boost; the Mid band has its own cut curve.
  if (b != 1 && v < 0.0) {
    for (EqSectionParams& s : p) s.gainDb = -s.gainDb;
  }
  band.sectionCount = std::clamp<int>(curve.sections, 0, kEqMaxSections);
  for (int i = 0; i < band.sectionCount; ++i) {
    const EqBiquad q = designEqSection(curve.types[i], p[i], sampleRate_);
    for (auto& channel : band.sections) {
      Section& s = channel[i];
      s.b0 = q.b0;
      s.b1 = q.b1;
      s.b2 = q.b2;
      s.a1 = q.a1;
      s.a2 = q.a2;
    }
  }
}

void Eq::tick() noexcept {
  for (int b = 0; b < kBands; ++b) {
    Band& band = bands_[b];
    if (band.current == band.target) continue;
    band.current += (band.target - band.current) * smoothing_;
    if (std::fabs(band.target - band.current) < kSnapDb) band.current = band.target;
    design(b);
  }
}

EqBiquad Eq::coefficients(int b, int section) const noexcept {
  const Section& s = bands_[clampBand(b)].sections[0][std::clamp(section, 0, kEqMaxSections - 1)];
  return {s.b0, s.b1, s.b2, s.a1, s.a2};
}

double Eq::bandResponseDb(int b, double freqHz) const noexcept {
  if (b < 0 || b >= kBands || !(sampleRate_ > 0.0)) return 0.0;
  const Band& band = bands_[b];
  if (!band.active) return 0.0;
  double db = 0.0;
  for (int i = 0; i < band.sectionCount; ++i) db += biquadResponseDb(coefficients(b, i), freqHz, sampleRate_);
  return db;
}

double Eq::responseDb(double freqHz) const noexcept {
  double db = 0.0;
  for (int b = 0; b < kBands; ++b) db += bandResponseDb(b, freqHz);
  return db;
}

template <typename T>
void Eq::process(T* const* channels, int n) noexcept {
  if (n < 1 || channels == nullptr || !(sampleRate_ > 0.0)) return;
  for (int c = 0; c < channels_; ++c) {
    if (channels[c] == nullptr) return;
  }
  fresh_ = false;
  for (int i = 0; i < n; ++i) {
    if (tickCounter_ == 0) tick();
    tickCounter_ = (tickCounter_ + 1) % kTickSamples;
    if (!bands_[0].active && !bands_[1].active && !bands_[2].active) continue;
    for (int c = 0; c < channels_; ++c) {
      double x = static_cast<double>(channels[c][i]);
      for (Band& band : bands_) {
        if (!band.active) continue;
        for (int k = 0; k < band.sectionCount; ++k) {
          Section& s = band.sections[c][k];
          const double y = s.b0 * x + s.s1;
          s.s1 = s.b1 * x - s.a1 * y + s.s2;
          s.s2 = s.b2 * x - s.a2 * y;
          x = y;
        }
      }
      channels[c][i] = static_cast<T>(x);
    }
  }
}

template void Eq::process<double>(double* const*, int) noexcept;
template void Eq::process<float>(float* const*, int) noexcept;

}  // namespace plumbrook::dsp
