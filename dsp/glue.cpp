// Glue compressor: detectors, gain computer, saturator, side lift and the output fade.
#include "dsp/glue.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <type_traits>

#include "dsp/double_pair.h"
#include "dsp/vector_math.h"

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

// One biquad section for two lanes at once, each lane with its own coefficients.
struct PackedSection {
  DoublePair b0, b1, b2, a1, a2, s1, s2;
  void load(const BiquadSection& first, const BiquadSection& second) noexcept {
    b0 = DoublePair::of(first.b0, second.b0);
    b1 = DoublePair::of(first.b1, second.b1);
    b2 = DoublePair::of(first.b2, second.b2);
    a1 = DoublePair::of(first.a1, second.a1);
    a2 = DoublePair::of(first.a2, second.a2);
    s1 = DoublePair::of(first.s1, second.s1);
    s2 = DoublePair::of(first.s2, second.s2);
  }
  void store(BiquadSection& first, BiquadSection& second) const noexcept {
    first.s1 = s1.first();
    first.s2 = s2.first();
    second.s1 = s1.second();
    second.s2 = s2.second();
  }
  // Transposed direct form II, the same operations in the same order as BiquadSection::process.
  DoublePair process(DoublePair x) noexcept {
    const DoublePair y = b0 * x + s1;
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
    s.makeupTarget = std::exp(lerp(voicing_.makeup[b]) * kNeperPerDb);
    s.mixTarget = lerp(voicing_.saturationMix[b]);
    s.sideTarget = widthActive ? std::exp(lerp(voicing_.sideLift[b]) * kNeperPerDb) : 1.0;
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
  static_assert(std::is_same_v<T, double>, "the glue stage processes double samples");
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
    runChunk(channels[0] + done, right != nullptr ? right + done : nullptr, live, fade);
    if (live < len) {
      // The frames from here on stay as they came in.
      idle_ = true;
      break;
    }
    done += len;
  }
  clearIfPoisoned();
}

// The detector and gain computer run the three bands as two lane pairs: bands 0 and 1 together,
// band 2 in both lanes of the second pair. Stages a band does not use run with neutral settings
// and their result is not selected.
struct Glue::BandLanes {
  PairMask rmsOn, riseOn, hardKnee;
  DoublePair rmsCoef, riseCoef, fallCoef, holdFactor, attackCoef, releaseCoef;
  PackedSection shelf;
  DoublePair env, env2, held, gainDb;
  DoublePair threshold, knee, halfKnee, inverseTwoKnee, negSlope;
};

void Glue::loadLanes(BandLanes& lanes, int first, int second) const noexcept {
  const BandSettings& p = settings_[first];
  const BandSettings& q = settings_[second];
  const BandState& x = bands_[first];
  const BandState& y = bands_[second];
  lanes.rmsOn = PairMask::of(p.rmsOn, q.rmsOn);
  lanes.riseOn = PairMask::of(p.riseOn, q.riseOn);
  lanes.hardKnee = PairMask::of(x.knee <= 0.0, y.knee <= 0.0);
  lanes.rmsCoef = DoublePair::of(p.rmsCoef, q.rmsCoef);
  lanes.riseCoef = DoublePair::of(p.riseCoef, q.riseCoef);
  lanes.fallCoef = DoublePair::of(p.fallCoef, q.fallCoef);
  // The level is never negative, so a zero factor turns the hold into a no-op.
  lanes.holdFactor = DoublePair::of(p.holdOn ? p.holdFactor : 0.0, q.holdOn ? q.holdFactor : 0.0);
  lanes.attackCoef = DoublePair::of(p.attackCoef, q.attackCoef);
  lanes.releaseCoef = DoublePair::of(p.releaseCoef, q.releaseCoef);
  lanes.shelf.load(shelves_[first], shelves_[second]);
  lanes.env = DoublePair::of(x.env, y.env);
  lanes.env2 = DoublePair::of(x.env2, y.env2);
  lanes.held = DoublePair::of(x.held, y.held);
  lanes.gainDb = DoublePair::of(x.gainDb, y.gainDb);
  lanes.threshold = DoublePair::of(x.threshold, y.threshold);
  lanes.knee = DoublePair::of(x.knee, y.knee);
  lanes.halfKnee = DoublePair::of(x.knee / 2.0, y.knee / 2.0);
  // A hard knee never reads the soft-knee curve.
  lanes.inverseTwoKnee = DoublePair::of(x.knee > 0.0 ? 1.0 / (2.0 * x.knee) : 0.0, y.knee > 0.0 ? 1.0 / (2.0 * y.knee) : 0.0);
  lanes.negSlope = DoublePair::of(-x.slope, -y.slope);
}

void Glue::storeLanes(const BandLanes& lanes, int first, int second) noexcept {
  BiquadSection unused;
  lanes.shelf.store(shelves_[first], second != first ? shelves_[second] : unused);
  BandState& x = bands_[first];
  x.env = lanes.env.first();
  x.env2 = lanes.env2.first();
  x.held = lanes.held.first();
  x.gainDb = lanes.gainDb.first();
  if (second == first) return;
  BandState& y = bands_[second];
  y.env = lanes.env.second();
  y.env2 = lanes.env2.second();
  y.held = lanes.held.second();
  y.gainDb = lanes.gainDb.second();
}

namespace {

// Detector level of one frame: optional high shelf, mean square with an optional rise/fall
// second stage, or the peak, then the decaying hold.
inline DoublePair detectorLevel(Glue::BandLanes& l, DoublePair d) noexcept {
  d = l.shelf.process(d);  // an identity section where a band has no shelf
  l.env = l.env + (d * d - l.env) * l.rmsCoef;
  l.env2 = l.env2 + (l.env - l.env2) * select(l.env > l.env2, l.riseCoef, l.fallCoef);
  const DoublePair two = DoublePair::both(2.0);
  const DoublePair meanSquareLevel = sqrt(two * select(l.riseOn, l.env2, l.env));
  DoublePair level = select(l.rmsOn, meanSquareLevel, abs(d));
  level = max(level, l.held * l.holdFactor);
  l.held = level;
  return level;
}

// Gain computer and gain smoothing of one frame, from the level in nepers; returns the gain in dB.
inline DoublePair smoothedGainDb(Glue::BandLanes& l, DoublePair levelNepers) noexcept {
  const DoublePair o = DoublePair::both(kDbPerNeper) * levelNepers - l.threshold;
  const DoublePair twoO = DoublePair::both(2.0) * o;
  const DoublePair t = o + l.halfKnee;
  const DoublePair curve = t * t * l.inverseTwoKnee;
  const DoublePair soft = zeroWhere(twoO < -l.knee, select(twoO > l.knee, o, curve));
  const DoublePair over = select(l.hardKnee, max(o, DoublePair::both(0.0)), soft);
  const DoublePair target = l.negSlope * over;
  l.gainDb = l.gainDb + (target - l.gainDb) * select(l.gainDb > target, l.attackCoef, l.releaseCoef);
  return l.gainDb;
}

}  // namespace

// Built twice, for AVX2 and for the baseline, with the choice made once when the library loads;
// both builds run the same operations in the same order, so their results agree exactly.
#if defined(__x86_64__) && defined(__GLIBC__)
__attribute__((target_clones("avx2", "default")))
#endif
void Glue::runChunk(double* left, double* right, int n, const double* fade) noexcept {
  if (right != nullptr)
    chunkBody<true>(left, right, n, fade);
  else
    chunkBody<false>(left, left, n, fade);
}

template <bool kStereo>
[[gnu::always_inline]] inline void Glue::chunkBody(double* left, double* right, int n, const double* fade) noexcept {
  if (n <= 0) return;
  DoublePair bandSamples[kBands][kChunk];
  DoublePair dry[kChunk];
  // Bands 0 and 1 interleaved, and band 2: detector input, then level, then gain.
  alignas(16) double pairA[2 * kChunk];
  alignas(16) double singleB[kChunk];
  const DoublePair half = DoublePair::both(0.5);

  // 1. Split both channels at once, one lane each. Mono runs its channel in both lanes: the
  // detector input (L + L) / 2 is then L and the mid/side step below is an exact identity.
  {
    PackedSection xo[Crossover3::kSectionCount];
    for (int k = 0; k < Crossover3::kSectionCount; ++k)
      xo[k].load(crossovers_[0].section(k), crossovers_[1].section(k));
    for (int i = 0; i < n; ++i) {
      const DoublePair x = finiteOrZero(kStereo ? DoublePair::of(left[i], right[i]) : DoublePair::both(left[i]));
      dry[i] = x;
      const DoublePair h = xo[Crossover3::kHp1b].process(xo[Crossover3::kHp1a].process(x));
      const DoublePair low =
          xo[Crossover3::kAp2].process(xo[Crossover3::kLp1b].process(xo[Crossover3::kLp1a].process(x)));
      const DoublePair mid = xo[Crossover3::kLp2b].process(xo[Crossover3::kLp2a].process(h));
      const DoublePair high = xo[Crossover3::kHp2b].process(xo[Crossover3::kHp2a].process(h));
      bandSamples[0][i] = low;
      bandSamples[1][i] = mid;
      bandSamples[2][i] = high;
      ((DoublePair::firsts(low, mid) + DoublePair::seconds(low, mid)) * half).store(pairA + 2 * i);
      singleB[i] = ((high + high.swapped()) * half).first();
    }
    for (int k = 0; k < Crossover3::kSectionCount; ++k)
      xo[k].store(crossovers_[0].section(k), crossovers_[1].section(k));
  }

  // 2. Detector levels, their logarithms, the gain computer, and the linear gains.
  {
    BandLanes a, b;
    loadLanes(a, 0, 1);
    loadLanes(b, 2, 2);
    const DoublePair floor = DoublePair::both(1e-30);
    for (int i = 0; i < n; ++i) {
      (detectorLevel(a, DoublePair::load(pairA + 2 * i)) + floor).store(pairA + 2 * i);
      singleB[i] = (detectorLevel(b, DoublePair::both(singleB[i])) + floor).first();
    }
      logInPlace(pairA, 2 * n);
    logInPlace(singleB, n);
      const DoublePair toNepers = DoublePair::both(kNeperPerDb);
    for (int i = 0; i < n; ++i) {
      (smoothedGainDb(a, DoublePair::load(pairA + 2 * i)) * toNepers).store(pairA + 2 * i);
      singleB[i] = (smoothedGainDb(b, DoublePair::both(singleB[i])) * toNepers).first();
    }
      expInPlace(pairA, 2 * n);
    expInPlace(singleB, n);
    storeLanes(a, 0, 1);
    storeLanes(b, 2, 2);
  }

  // 3. Make-up, saturation, side lift, band sum and the output fade.
  double makeup[kBands], mixShare[kBands], side[kBands];
  double makeupTarget[kBands], mixTarget[kBands], sideTarget[kBands];
  DoublePair clip[kBands], cubic[kBands], quintic[kBands];
  for (int b = 0; b < kBands; ++b) {
    makeup[b] = bands_[b].makeup;
    mixShare[b] = bands_[b].mix;
    side[b] = bands_[b].side;
    makeupTarget[b] = bands_[b].makeupTarget;
    mixTarget[b] = bands_[b].mixTarget;
    sideTarget[b] = bands_[b].sideTarget;
    clip[b] = DoublePair::both(settings_[b].clipPoint);
    cubic[b] = DoublePair::both(voicing_.bands[b].satCubic);
    quintic[b] = DoublePair::both(voicing_.bands[b].satQuintic);
  }
  const double smooth = smoothCoef_;
  const DoublePair one = DoublePair::both(1.0);
  for (int i = 0; i < n; ++i) {
    const double gain[kBands] = {pairA[2 * i], pairA[2 * i + 1], singleB[i]};
    DoublePair sum = DoublePair::both(0.0);
#pragma GCC unroll 3
    for (int b = 0; b < kBands; ++b) {
      makeup[b] += (makeupTarget[b] - makeup[b]) * smooth;
      mixShare[b] += (mixTarget[b] - mixShare[b]) * smooth;
      side[b] += (sideTarget[b] - side[b]) * smooth;
      const DoublePair u = bandSamples[b][i] * DoublePair::both(makeup[b] * gain[b]);
      const DoublePair x = clampSymmetric(u, clip[b]);
      const DoublePair x2 = x * x;
      const DoublePair sat = (quintic[b] * x2 * x2 + one - cubic[b] * x2) * x;
      const DoublePair y = u + (sat - u) * DoublePair::both(mixShare[b]);
      // Mid/side: (yL + yR) / 2 in both lanes, plus and minus side * (yL - yR) / 2.
      const DoublePair ySwapped = y.swapped();
      const DoublePair m = (y + ySwapped) * half;
      const DoublePair sd = DoublePair::both(side[b]) * ((y - ySwapped) * half);
      sum = sum + (m + sd);
    }
    const DoublePair out = dry[i] + (sum - dry[i]) * DoublePair::both(fade[i]);
    left[i] = out.first();
    if (kStereo) right[i] = out.second();
  }
  for (int b = 0; b < kBands; ++b) {
    bands_[b].makeup = makeup[b];
    bands_[b].mix = mixShare[b];
    bands_[b].side = side[b];
  }
}

template void Glue::process<double>(double* const*, int) noexcept;

}  // namespace plumbrook::dsp
