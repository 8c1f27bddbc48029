// Three-band EQ stage: voiced section design, interpolation, glide and the biquad cascade.
#include "dsp/eq.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <type_traits>

#include <emmintrin.h>  // SSE2, baseline on x86-64

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
  const double a = std::exp(params.gainDb * (std::numbers::ln10 / 40.0));  // 10^(gain/40)
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

Eq::Travel Eq::travel(int band) noexcept {
  const EqCurve& curve = curveFor(band, 1.0);
  // A curve without a middle point of its own travels linearly.
  return {curve.travelMid > 0.0 ? curve.travelMid : 0.5 * curve.range, curve.range};
}

void Eq::prepare(double sampleRate, int channels) noexcept {
  if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) sampleRate = 48000.0;
  sampleRate_ = sampleRate;
  channels_ = std::clamp(channels, 1, kMaxChannels);
  smoothing_ = 1.0 - std::exp(-static_cast<double>(kTickSamples) / (kGlideSeconds * sampleRate));
  voicing_ = voicingFor(sampleRate);
  const EqCurve* curves[kCurveCount] = {&kEqVoicing.low, &kEqVoicing.high, &kEqVoicing.midBoost, &kEqVoicing.midCut};
  for (int c = 0; c < kCurveCount; ++c) {
    for (int k = 0; k < kEqMaxBreakpoints; ++k) {
      for (int i = 0; i < kEqMaxSections; ++i) {
        const EqSectionParams& p = curves[c]->params[voicing_][k][i];
        logParams_[c][k * kEqMaxSections + i] = {std::log(p.freqHz), std::log(p.q)};
      }
    }
  }
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

const Eq::LogParams* Eq::logParamsFor(const EqCurve& curve) const noexcept {
  if (!(sampleRate_ > 0.0)) return nullptr;
  if (&curve == &kEqVoicing.low) return logParams_[0];
  if (&curve == &kEqVoicing.high) return logParams_[1];
  if (&curve == &kEqVoicing.midBoost) return logParams_[2];
  if (&curve == &kEqVoicing.midCut) return logParams_[3];
  return nullptr;
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
  const LogParams* logs = logParamsFor(curve);
  for (int i = 0; i < sections; ++i) {
    const EqSectionParams& lo = rows[k][i];
    const EqSectionParams& hi = rows[k + 1][i];
    // The table's logarithms are cached per voicing; other curves take them on the spot.
    const LogParams a = logs ? logs[k * kEqMaxSections + i] : LogParams{std::log(lo.freqHz), std::log(lo.q)};
    const LogParams b = logs ? logs[(k + 1) * kEqMaxSections + i] : LogParams{std::log(hi.freqHz), std::log(hi.q)};
    p[i].freqHz = std::exp((1.0 - t) * a.freq + t * b.freq);
    p[i].q = std::exp((1.0 - t) * a.q + t * b.q);
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

namespace {

// Both channels of one section side by side in SSE2 registers: lane 0 left, lane 1 right.
struct PairSection {
  __m128d b0, b1, b2, na1, na2;
};

template <int N, bool Stereo>
void runCascade(const PairSection* coef, __m128d* state, double* left, double* right, int n) noexcept {
  __m128d s1[N], s2[N];
#pragma GCC unroll 6
  for (int k = 0; k < N; ++k) {
    s1[k] = state[2 * k];
    s2[k] = state[2 * k + 1];
  }
  for (int i = 0; i < n; ++i) {
    __m128d x = Stereo ? _mm_set_pd(right[i], left[i]) : _mm_load_sd(left + i);
#pragma GCC unroll 6
    for (int k = 0; k < N; ++k) {
      const PairSection& c = coef[k];
      // y = b0·x + s1; s1 = b1·x − a1·y + s2; s2 = b2·x − a2·y (transposed direct form II).
      const __m128d y = _mm_add_pd(_mm_mul_pd(c.b0, x), s1[k]);
      s1[k] = _mm_add_pd(_mm_add_pd(_mm_mul_pd(c.b1, x), _mm_mul_pd(c.na1, y)), s2[k]);
      s2[k] = _mm_add_pd(_mm_mul_pd(c.b2, x), _mm_mul_pd(c.na2, y));
      x = y;
    }
    _mm_storel_pd(left + i, x);
    if constexpr (Stereo) _mm_storeh_pd(right + i, x);
  }
#pragma GCC unroll 6
  for (int k = 0; k < N; ++k) {
    state[2 * k] = s1[k];
    state[2 * k + 1] = s2[k];
  }
}

using CascadeFn = void (*)(const PairSection*, __m128d*, double*, double*, int) noexcept;
template <bool Stereo>
constexpr CascadeFn kCascades[] = {nullptr,
                                   runCascade<1, Stereo>,
                                   runCascade<2, Stereo>,
                                   runCascade<3, Stereo>,
                                   runCascade<4, Stereo>,
                                   runCascade<5, Stereo>,
                                   runCascade<6, Stereo>,
                                   runCascade<7, Stereo>,
                                   runCascade<8, Stereo>,
                                   runCascade<9, Stereo>};

}  // namespace

void Eq::filter(double* left, double* right, int n) noexcept {
  constexpr int kMaxActive = kBands * kEqMaxSections;
  PairSection coef[kMaxActive];
  __m128d state[2 * kMaxActive];
  Section* owners[kMaxChannels][kMaxActive];
  int count = 0;
  for (Band& band : bands_) {
    if (!band.active) continue;
    for (int k = 0; k < band.sectionCount; ++k) {
      const Section& l = band.sections[0][k];
      const Section& r = band.sections[1][k];
      coef[count] = {_mm_set1_pd(l.b0), _mm_set1_pd(l.b1), _mm_set1_pd(l.b2), _mm_set1_pd(-l.a1), _mm_set1_pd(-l.a2)};
      state[2 * count] = _mm_set_pd(r.s1, l.s1);
      state[2 * count + 1] = _mm_set_pd(r.s2, l.s2);
      owners[0][count] = &band.sections[0][k];
      owners[1][count] = &band.sections[1][k];
      ++count;
    }
  }
  if (count == 0) return;
  (right ? kCascades<true> : kCascades<false>)[count](coef, state, left, right, n);
  for (int k = 0; k < count; ++k) {
    _mm_storel_pd(&owners[0][k]->s1, state[2 * k]);
    _mm_storel_pd(&owners[0][k]->s2, state[2 * k + 1]);
    _mm_storeh_pd(&owners[1][k]->s1, state[2 * k]);
    _mm_storeh_pd(&owners[1][k]->s2, state[2 * k + 1]);
  }
}

template <typename T>
void Eq::process(T* const* channels, int n) noexcept {
  static_assert(std::is_same_v<T, double>, "the EQ processes double-precision audio");
  if (n < 1 || channels == nullptr || !(sampleRate_ > 0.0)) return;
  for (int c = 0; c < channels_; ++c) {
    if (channels[c] == nullptr) return;
  }
  fresh_ = false;
  // Coefficients only change at ticks, so the cascade runs over the stretches between them.
  int pos = 0;
  while (pos < n) {
    if (tickCounter_ == 0) tick();
    const int len = std::min(n - pos, kTickSamples - tickCounter_);
    tickCounter_ = (tickCounter_ + len) % kTickSamples;
    if (bands_[0].active || bands_[1].active || bands_[2].active) {
      filter(channels[0] + pos, channels_ > 1 ? channels[1] + pos : nullptr, len);
    }
    pos += len;
  }
}

template void Eq::process<double>(double* const*, int) noexcept;

}  // namespace plumbrook::dsp
