// Glue compressor: detectors, gain computer, saturator, side lift and the output fade.
#include "dsp/glue.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/vector_math.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plumbrook::dsp {

namespace {

// 20 log10(x) = kDbPerNeper ln(x) and 10^(g / 20) = exp(g kNeperPerDb).
constexpr double kNeperPerDb = std::numbers::ln10 / 20.0;
constexpr double kDbPerNeper = 20.0 / std::numbers::ln10;

// One-pole smoothing coefficient for a time constant in ms; 0 ms means instant.
double onePoleCoef(double ms, double sampleRate) {
  return ms > 0.0 ? 1.0 - std::exp(-1.0 / (ms * 0.001 * sampleRate)) : 1.0;
}

// First stationary point of x - a x^3 + b x^5 on the positive axis, 1e9 when there is none.
double saturatorClipPoint(double a, double b, double limit) {
  double x = 1e9;
  if (a > 0.0) {
    if (b != 0.0) {
      const double disc = 9.0 * a * a - 20.0 * b;
      if (disc >= 0.0) x = std::sqrt((3.0 * a - std::sqrt(disc)) / (10.0 * b));
    } else {
      x = 1.0 / std::sqrt(3.0 * a);
    }
  }
  if (limit > 0.0) x = std::min(x, limit);
  return x;
}

// Audio EQ Cookbook high shelf at Q = 1/sqrt 2, normalised by a0.
BiquadSection highShelf(double sampleRate, double hz, double db) {
  const double f = std::min(0.49 * sampleRate, hz);
  const double A = std::pow(10.0, db / 40.0);
  const double w = 2.0 * std::numbers::pi * f / sampleRate;
  const double cosW = std::cos(w);
  const double alpha = std::sin(w) / std::numbers::sqrt2;
  const double twoSqrtAAlpha = 2.0 * std::sqrt(A) * alpha;
  const double a0 = (A + 1.0) - (A - 1.0) * cosW + twoSqrtAAlpha;
  BiquadSection s;
  s.b0 = A * ((A + 1.0) + (A - 1.0) * cosW + twoSqrtAAlpha) / a0;
  s.b1 = -2.0 * A * ((A - 1.0) + (A + 1.0) * cosW) / a0;
  s.b2 = A * ((A + 1.0) + (A - 1.0) * cosW - twoSqrtAAlpha) / a0;
  s.a1 = 2.0 * ((A - 1.0) - (A + 1.0) * cosW) / a0;
  s.a2 = ((A + 1.0) - (A - 1.0) * cosW - twoSqrtAAlpha) / a0;
  return s;
}

// Two doubles processed together: the left and right channel of one frame.
#if defined(__SSE2__)
struct V2 {
  __m128d v;
  static V2 both(double x) noexcept { return {_mm_set1_pd(x)}; }
  static V2 pair(double l, double r) noexcept { return {_mm_set_pd(r, l)}; }
  double lo() const noexcept { return _mm_cvtsd_f64(v); }
  double hi() const noexcept { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }
  V2 swapped() const noexcept { return {_mm_shuffle_pd(v, v, 1)}; }
};
inline V2 operator+(V2 a, V2 b) noexcept { return {_mm_add_pd(a.v, b.v)}; }
inline V2 operator-(V2 a, V2 b) noexcept { return {_mm_sub_pd(a.v, b.v)}; }
inline V2 operator*(V2 a, V2 b) noexcept { return {_mm_mul_pd(a.v, b.v)}; }
inline V2 clampSymmetric(V2 x, V2 limit) noexcept {
  const __m128d negLimit = _mm_xor_pd(limit.v, _mm_set1_pd(-0.0));
  return {_mm_min_pd(_mm_max_pd(x.v, negLimit), limit.v)};
}
// NaN and infinities become 0; everything else passes unchanged.
inline V2 finiteOrZero(V2 x) noexcept {
  const __m128d magnitude = _mm_andnot_pd(_mm_set1_pd(-0.0), x.v);
  return {_mm_and_pd(x.v, _mm_cmplt_pd(magnitude, _mm_set1_pd(HUGE_VAL)))};
}
#else
struct V2 {
  double l, r;
  static V2 both(double x) noexcept { return {x, x}; }
  static V2 pair(double a, double b) noexcept { return {a, b}; }
  double lo() const noexcept { return l; }
  double hi() const noexcept { return r; }
  V2 swapped() const noexcept { return {r, l}; }
};
inline V2 operator+(V2 a, V2 b) noexcept { return {a.l + b.l, a.r + b.r}; }
inline V2 operator-(V2 a, V2 b) noexcept { return {a.l - b.l, a.r - b.r}; }
inline V2 operator*(V2 a, V2 b) noexcept { return {a.l * b.l, a.r * b.r}; }
inline V2 clampSymmetric(V2 x, V2 limit) noexcept {
  return {std::clamp(x.l, -limit.l, limit.l), std::clamp(x.r, -limit.r, limit.r)};
}
inline V2 finiteOrZero(V2 x) noexcept {
  return {std::isfinite(x.l) ? x.l : 0.0, std::isfinite(x.r) ? x.r : 0.0};
}
#endif

// One crossover section of both channels; the coefficients are the same for both lanes' designs.
struct PackedSection {
  V2 b0, b1, b2, a1, a2, s1, s2;
  void load(const BiquadSection& l, const BiquadSection& r) noexcept {
    b0 = V2::pair(l.b0, r.b0);
    b1 = V2::pair(l.b1, r.b1);
    b2 = V2::pair(l.b2, r.b2);
    a1 = V2::pair(l.a1, r.a1);
    a2 = V2::pair(l.a2, r.a2);
    s1 = V2::pair(l.s1, r.s1);
    s2 = V2::pair(l.s2, r.s2);
  }
  void store(BiquadSection& l, BiquadSection& r) const noexcept {
    l.s1 = s1.lo();
    l.s2 = s2.lo();
    r.s1 = s1.hi();
    r.s2 = s2.hi();
  }
  // Transposed direct form II, the same operations in the same order as BiquadSection::process.
  V2 process(V2 x) noexcept {
    const V2 y = b0 * x + s1;
    s1 = b1 * x - a1 * y + s2;
    s2 = b2 * x - a2 * y;
    return y;
  }
};

}  // namespace

Glue::Glue() : voicing_(kGlueVoicing) {}

void Glue::prepare(double sampleRate, int channels) noexcept {
  if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) sampleRate = 48000.0;
  sampleRate_ = sampleRate;
  channels_ = std::clamp(channels, 1, 2);
  amountCoef_ = 1.0 - std::exp(-1.0 / (0.02 * sampleRate));
  smoothCoef_ = 1.0 - std::exp(-1.0 / (0.005 * sampleRate));
  fadeStep_ = 1.0 / (0.01 * sampleRate);
  applyVoicing();
  reset();
}

void Glue::applyVoicing() noexcept {
  const double sr = sampleRate_ > 0.0 ? sampleRate_ : 48000.0;
  for (int b = 0; b < kBands; ++b) {
    const GlueBandVoicing& v = voicing_.bands[b];
    BandSettings& s = settings_[b];
    s.rmsOn = v.rmsMs > 0.0;
    s.rmsCoef = onePoleCoef(v.rmsMs, sr);
    s.riseOn = v.riseMs > 0.0;
    s.riseCoef = onePoleCoef(v.riseMs, sr);
    s.fallCoef = onePoleCoef(v.fallMs, sr);
    s.holdOn = v.holdDecay > 0.0;
    s.holdFactor = std::pow(10.0, -v.holdDecay / 20.0 / sr);
    s.attackCoef = onePoleCoef(v.attackMs, sr);
    s.releaseCoef = onePoleCoef(v.releaseMs, sr);
    s.shelfOn = v.shelfHz > 0.0 && v.shelfDb != 0.0;
    shelves_[b] = s.shelfOn ? highShelf(sr, v.shelfHz, v.shelfDb) : BiquadSection{};
    s.clipPoint = saturatorClipPoint(v.satCubic, v.satQuintic, v.satLimit);
  }
  for (Crossover3& c : crossovers_) c.prepare(sr, voicing_.crossoverLow, voicing_.crossoverHigh);
}

void Glue::clearState() noexcept {
  for (Crossover3& c : crossovers_) c.clear();
  for (BiquadSection& s : shelves_) s.clear();
  for (BandState& b : bands_) b.env = b.env2 = b.held = b.gainDb = 0.0;
}

void Glue::reset() noexcept {
  clearState();
  amountSmoothed_ = amount_;
  tickCounter_ = 0;
  readTables();
  for (BandState& b : bands_) {
    b.makeup = b.makeupTarget;
    b.mix = b.mixTarget;
    b.side = b.sideTarget;
  }
  idle_ = amount_ <= 0.0;
  outputMix_ = idle_ ? 0.0 : 1.0;
  fresh_ = true;
}

void Glue::setAmount(double amount) noexcept {
  if (std::isnan(amount)) return;
  amount_ = std::clamp(amount, 0.0, kGlueMaxAmount);
  if (fresh_ && sampleRate_ > 0.0) reset();
}

void Glue::readTables() noexcept {
  const double x = std::clamp(amountSmoothed_, 0.0, kGlueMaxAmount) / kGlueTableStep;
  const int i = std::min(static_cast<int>(std::floor(x)), kGlueTableSize - 2);
  const double f = x - i;
  const auto lerp = [i, f](const std::array<double, kGlueTableSize>& t) {
    return t[i] + (t[i + 1] - t[i]) * f;
  };
  for (int b = 0; b < kBands; ++b) {
    BandState& s = bands_[b];
    s.slope = lerp(voicing_.slope[b]);
    s.threshold = lerp(voicing_.threshold[b]);
    s.knee = lerp(voicing_.knee[b]);
    s.makeupTarget = std::pow(10.0, lerp(voicing_.makeup[b]) / 20.0);
    s.mixTarget = lerp(voicing_.saturationMix[b]);
    s.sideTarget = widthActive ? std::pow(10.0, lerp(voicing_.sideLift[b]) / 20.0) : 1.0;
  }
}

double Glue::gainDb(int band) const noexcept {
  if (idle_ || band < 0 || band >= kBands) return 0.0;
  return bands_[band].gainDb;
}

double Glue::sideLiftDb(int band) const noexcept {
  return widthActive ? glueTableAt(voicing_.sideLift[bandIndex(band)], amount_) : 0.0;
}

void Glue::clearIfPoisoned() noexcept {
  // Finite input far beyond full scale can still overflow a filter or detector; start over then.
  double probe = 0.0;
  for (const Crossover3& c : crossovers_)
    for (int s = 0; s < Crossover3::kSectionCount; ++s) probe += c.section(s).s1 + c.section(s).s2;
  for (int b = 0; b < kBands; ++b) {
    probe += shelves_[b].s1 + shelves_[b].s2;
    probe += bands_[b].env + bands_[b].env2 + bands_[b].held + bands_[b].gainDb;
  }
  if (!std::isfinite(probe)) clearState();
}

template <typename T>
void Glue::process(T* const* channels, int n) noexcept {
  if (n < 1 || channels == nullptr || channels[0] == nullptr || !(sampleRate_ > 0.0)) return;
  fresh_ = false;
  if (idle_) {
    if (amount_ <= 0.0) return;
    clearState();
    amountSmoothed_ = 0.0;
    tickCounter_ = 0;
    outputMix_ = 0.0;
    idle_ = false;
  }
  T* right = channels_ == 2 ? channels[1] : nullptr;
  int done = 0;
  while (done < n) {
    // Chunks end where the table read falls, so targets are constant inside one.
    if (tickCounter_ == 0) readTables();
    const int len = std::min(kChunk - tickCounter_, n - done);
    tickCounter_ = (tickCounter_ + len) % kChunk;
    alignas(16) double fade[kChunk];
    int live = len;
    double smoothed = amountSmoothed_, mix = outputMix_;
    const bool fadingOut = amount_ <= 0.0;
    for (int i = 0; i < len; ++i) {
      smoothed += (amount_ - smoothed) * amountCoef_;
      if (fadingOut && smoothed < 0.05) {
        mix = std::max(0.0, mix - fadeStep_);
        if (mix <= 0.0) {
          live = i;
          break;
        }
      } else {
        mix = std::min(1.0, mix + fadeStep_);
      }
      fade[i] = mix;
    }
    amountSmoothed_ = smoothed;
    outputMix_ = mix;
    if (right != nullptr)
      runChunk<true>(channels[0] + done, right + done, live, fade);
    else
      runChunk<false>(channels[0] + done, channels[0] + done, live, fade);
    if (live < len) {
      // The frames from here on stay as they came in.
      idle_ = true;
      break;
    }
    done += len;
  }
  clearIfPoisoned();
}

template <bool kStereo, typename T>
void Glue::runChunk(T* left, T* right, int n, const double* fade) noexcept {
  if (n <= 0) return;
  alignas(16) V2 bandSamples[kBands][kChunk];
  alignas(16) V2 dry[kChunk];
  alignas(32) double work[kBands][kChunk];  // detector input, then level in dB, then gain

  // 1. Split both channels at once, one lane each; mono runs its channel in both lanes, which
  // makes the mid/side step below an exact identity.
  {
    PackedSection xo[Crossover3::kSectionCount];
    for (int k = 0; k < Crossover3::kSectionCount; ++k) xo[k].load(crossovers_[0].section(k), crossovers_[1].section(k));
    const V2 half = V2::both(0.5);
    for (int i = 0; i < n; ++i) {
      const double l = static_cast<double>(left[i]);
      const V2 x = finiteOrZero(kStereo ? V2::pair(l, static_cast<double>(right[i])) : V2::both(l));
      dry[i] = x;
      const V2 h = xo[Crossover3::kHp1b].process(xo[Crossover3::kHp1a].process(x));
      const V2 low = xo[Crossover3::kAp2].process(xo[Crossover3::kLp1b].process(xo[Crossover3::kLp1a].process(x)));
      const V2 mid = xo[Crossover3::kLp2b].process(xo[Crossover3::kLp2a].process(h));
      const V2 high = xo[Crossover3::kHp2b].process(xo[Crossover3::kHp2a].process(h));
      bandSamples[0][i] = low;
      bandSamples[1][i] = mid;
      bandSamples[2][i] = high;
      work[0][i] = ((low + low.swapped()) * half).lo();
      work[1][i] = ((mid + mid.swapped()) * half).lo();
      work[2][i] = ((high + high.swapped()) * half).lo();
    }
    for (int k = 0; k < Crossover3::kSectionCount; ++k) xo[k].store(crossovers_[0].section(k), crossovers_[1].section(k));
  }

  // 2. Detector level per band, then its logarithm for all bands at once.
  for (int b = 0; b < kBands; ++b) {
    const BandSettings& s = settings_[b];
    BandState& st = bands_[b];
    BiquadSection shelf = shelves_[b];
    double env = st.env, env2 = st.env2, held = st.held;
    double* w = work[b];
    for (int i = 0; i < n; ++i) {
      double d = w[i];
      if (s.shelfOn) d = shelf.process(d);
      double level;
      if (s.rmsOn) {
        env += (d * d - env) * s.rmsCoef;
        if (s.riseOn) {
          env2 += (env - env2) * (env > env2 ? s.riseCoef : s.fallCoef);
          level = std::sqrt(2.0 * env2);
        } else {
          level = std::sqrt(2.0 * env);
        }
      } else {
        level = std::fabs(d);
      }
      if (s.holdOn) {
        level = std::max(level, held * s.holdFactor);
        held = level;
      }
      w[i] = level + 1e-30;
    }
    shelves_[b] = shelf;
    st.env = env;
    st.env2 = env2;
    st.held = held;
  }
  for (double* row : work) logInPlace(row, n);

  // 3. Gain computer and gain smoothing in dB, then the linear gains for all bands at once.
  for (int b = 0; b < kBands; ++b) {
    const BandSettings& s = settings_[b];
    BandState& st = bands_[b];
    const double threshold = st.threshold, k = st.knee, slope = st.slope;
    double gainDb = st.gainDb;
    double* w = work[b];
    for (int i = 0; i < n; ++i) {
      const double o = kDbPerNeper * w[i] - threshold;
      double over;
      if (k <= 0.0)
        over = std::max(0.0, o);
      else if (2.0 * o < -k)
        over = 0.0;
      else if (2.0 * o > k)
        over = o;
      else
        over = (o + k / 2.0) * (o + k / 2.0) / (2.0 * k);
      const double target = -slope * over;
      gainDb += (target - gainDb) * (gainDb > target ? s.attackCoef : s.releaseCoef);
      w[i] = gainDb * kNeperPerDb;
    }
    st.gainDb = gainDb;
  }
  for (double* row : work) expInPlace(row, n);

  // 4. Make-up, saturation, side lift, band sum and the output fade.
  double makeup[kBands], mixShare[kBands], side[kBands];
  double makeupTarget[kBands], mixTarget[kBands], sideTarget[kBands];
  V2 clip[kBands], cubic[kBands], quintic[kBands];
  for (int b = 0; b < kBands; ++b) {
    makeup[b] = bands_[b].makeup;
    mixShare[b] = bands_[b].mix;
    side[b] = bands_[b].side;
    makeupTarget[b] = bands_[b].makeupTarget;
    mixTarget[b] = bands_[b].mixTarget;
    sideTarget[b] = bands_[b].sideTarget;
    clip[b] = V2::both(settings_[b].clipPoint);
    cubic[b] = V2::both(voicing_.bands[b].satCubic);
    quintic[b] = V2::both(voicing_.bands[b].satQuintic);
  }
  const double smooth = smoothCoef_;
  const V2 one = V2::both(1.0), half = V2::both(0.5);
  for (int i = 0; i < n; ++i) {
    V2 sum = V2::both(0.0);
    for (int b = 0; b < kBands; ++b) {
      makeup[b] += (makeupTarget[b] - makeup[b]) * smooth;
      mixShare[b] += (mixTarget[b] - mixShare[b]) * smooth;
      side[b] += (sideTarget[b] - side[b]) * smooth;
      const V2 u = bandSamples[b][i] * V2::both(makeup[b] * work[b][i]);
      const V2 x = clampSymmetric(u, clip[b]);
      const V2 x2 = x * x;
      const V2 sat = (quintic[b] * x2 * x2 + one - cubic[b] * x2) * x;
      const V2 y = u + (sat - u) * V2::both(mixShare[b]);
      // Mid/side: (yL + yR) / 2 in both lanes plus +-side * (yL - yR) / 2.
      const V2 ySwapped = y.swapped();
      const V2 m = (y + ySwapped) * half;
      const V2 sd = V2::both(side[b]) * ((y - ySwapped) * half);
      sum = sum + (m + sd);
    }
    const V2 out = dry[i] + (sum - dry[i]) * V2::both(fade[i]);
    left[i] = static_cast<T>(out.lo());
    if (kStereo) right[i] = static_cast<T>(out.hi());
  }
  for (int b = 0; b < kBands; ++b) {
    bands_[b].makeup = makeup[b];
    bands_[b].mix = mixShare[b];
    bands_[b].side = side[b];
  }
}

template void Glue::process<double>(double* const*, int) noexcept;

}  // namespace plumbrook::dsp
