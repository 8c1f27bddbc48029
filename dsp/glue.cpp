// Glue compressor: detectors, gain computer, saturator, side lift and the output fade.
#include "dsp/glue.h"

#include "dsp/eq.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <type_traits>

#include "dsp/double_pair.h"
#include "dsp/double_quad.h"
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

// The detector's high shelf: the EQ's cookbook design at Q = 1/sqrt 2.
BiquadSection highShelf(double sampleRate, double hz, double db) {
  const EqBiquad q = designEqSection(kEqHighShelf, {hz, 1.0 / std::numbers::sqrt2, db}, sampleRate);
  BiquadSection s;
  s.b0 = q.b0;
  s.b1 = q.b1;
  s.b2 = q.b2;
  s.a1 = q.a1;
  s.a2 = q.a2;
  return s;
}

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
  packDesigns();
  packTables();
}

namespace {
constexpr int kLaneBand[4] = {0, 1, 2, 2};
}  // namespace

void Glue::packDesigns() noexcept {
  using X = Crossover3;
  const auto put = [](double* field, const BiquadSection& s, int f) {
    const double values[] = {s.b0, s.b1, s.b2, s.a1, s.a2};
    *field = values[f];
  };
  const int lowSide[4] = {X::kLp1a, X::kLp1b, X::kLp2a, X::kLp2b};
  const int highSide[4] = {X::kHp1a, X::kHp1b, X::kHp2a, X::kHp2b};
  for (int f = kB0; f <= kA2; ++f) {
    for (int k = 0; k < 4; ++k) {
      put(&lanes_.split[k][f][0], crossovers_[0].section(lowSide[k]), f);
      put(&lanes_.split[k][f][1], crossovers_[1].section(lowSide[k]), f);
      put(&lanes_.split[k][f][2], crossovers_[0].section(highSide[k]), f);
      put(&lanes_.split[k][f][3], crossovers_[1].section(highSide[k]), f);
    }
    put(&lanes_.allPass[f][0], crossovers_[0].section(X::kAp2), f);
    put(&lanes_.allPass[f][1], crossovers_[1].section(X::kAp2), f);
  }
  for (int k = 0; k < 4; ++k) {
    const int b = kLaneBand[k];
    const BandSettings& st = settings_[b];
    const BiquadSection& sh = shelves_[b];
    double(&v)[kLaneFields][4] = lanes_.band;
    lanes_.rmsOn[k] = st.rmsOn;
    lanes_.riseOn[k] = st.riseOn;
    v[kRmsCoef][k] = st.rmsCoef;
    v[kRiseCoef][k] = st.riseCoef;
    v[kFallCoef][k] = st.fallCoef;
    // The level is never negative, so a zero factor turns the hold into a no-op.
    v[kHoldFactor][k] = st.holdOn ? st.holdFactor : 0.0;
    v[kAttack][k] = st.attackCoef;
    v[kRelease][k] = st.releaseCoef;
    v[kShelfB0][k] = sh.b0;
    v[kShelfB1][k] = sh.b1;
    v[kShelfB2][k] = sh.b2;
    v[kShelfA1][k] = sh.a1;
    v[kShelfA2][k] = sh.a2;
  }
}

void Glue::packTables() noexcept {
  for (int k = 0; k < 4; ++k) {
    const BandState& t = bands_[kLaneBand[k]];
    double(&v)[kLaneFields][4] = lanes_.band;
    lanes_.hardKnee[k] = t.knee <= 0.0;
    v[kThreshold][k] = t.threshold;
    v[kKnee][k] = t.knee;
    v[kHalfKnee][k] = t.knee / 2.0;
    // A hard knee never reads the soft-knee curve.
    v[kInverseTwoKnee][k] = t.knee > 0.0 ? 1.0 / (2.0 * t.knee) : 0.0;
    v[kNegSlope][k] = -t.slope;
  }
}

void Glue::clearState() noexcept {
  for (auto& section : lanes_.split) {
    for (double& v : section[kS1]) v = 0.0;
    for (double& v : section[kS2]) v = 0.0;
  }
  for (const int f : {kS1, kS2}) lanes_.allPass[f][0] = lanes_.allPass[f][1] = 0.0;
  for (const int f : {kShelfS1, kShelfS2, kEnv, kEnv2, kHeld, kGainDb})
    for (double& v : lanes_.band[f]) v = 0.0;
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
  // The tables are a pure function of the smoothed amount and the width switch; once the amount
  // has settled they give the same values every time.
  if (tablesRead_ && amountSmoothed_ == tablesAmount_ && widthActive == tablesWidth_) return;
  tablesRead_ = true;
  tablesAmount_ = amountSmoothed_;
  tablesWidth_ = widthActive;
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
  packTables();
}

double Glue::sideLiftDb(int band) const noexcept {
  return widthActive ? glueTableAt(voicing_.sideLift[bandIndex(band)], amount_) : 0.0;
}

void Glue::clearIfPoisoned() noexcept {
  // Finite input far beyond full scale can still overflow a filter or detector; start over then.
  double probe = 0.0;
  for (const auto& section : lanes_.split)
    for (int k = 0; k < 4; ++k) probe += section[kS1][k] + section[kS2][k];
  for (int c = 0; c < 2; ++c) probe += lanes_.allPass[kS1][c] + lanes_.allPass[kS2][c];
  for (const int f : {kShelfS1, kShelfS2, kEnv, kEnv2, kHeld, kGainDb})
    for (int b = 0; b < kBands; ++b) probe += lanes_.band[f][b];
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
    // Settled: the smoothed amount no longer moves and the output is fully processed, so every
    // frame of the chunk would repeat the same values.
    const bool settled = !fadingOut && mix >= 1.0 && smoothed + (amount_ - smoothed) * amountCoef_ == smoothed;
    if (settled) {
      std::fill(fade, fade + len, 1.0);
      mix = 1.0;
    }
    for (int i = 0; i < (settled ? 0 : len); ++i) {
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

namespace {

// One biquad section for several lanes at once, each lane with its own coefficients.
template <class V>
struct LaneSection {
  V b0, b1, b2, a1, a2, s1, s2;
  // Transposed direct form II, the same operations in the same order as BiquadSection::process.
  [[gnu::always_inline]] V process(V x) noexcept {
    const V y = b0 * x + s1;
    s1 = b1 * x - a1 * y + s2;
    s2 = b2 * x - a2 * y;
    return y;
  }
};

// Detector and gain-computer state of the bands side by side: lanes 0, 1, 2 hold bands 0, 1, 2
// and lane 3 repeats band 2. Stages a band does not use run with neutral settings and their
// result is not selected.
template <class Q>
struct BandLanes {
  typename Q::Mask rmsOn, riseOn, hardKnee;
  Q rmsCoef, riseCoef, fallCoef, holdFactor, attackCoef, releaseCoef;
  LaneSection<Q> shelf;
  Q env, env2, held, gainDb;
  Q threshold, knee, halfKnee, inverseTwoKnee, negSlope;
};

// Detector level of one frame: optional high shelf, mean square with an optional rise/fall
// second stage, or the peak, then the decaying hold.
template <class Q>
[[gnu::always_inline]] inline Q detectorLevel(BandLanes<Q>& l, Q d) noexcept {
  d = l.shelf.process(d);  // an identity section where a band has no shelf
  l.env = l.env + (d * d - l.env) * l.rmsCoef;
  l.env2 = l.env2 + (l.env - l.env2) * select(l.env > l.env2, l.riseCoef, l.fallCoef);
  const Q meanSquareLevel = sqrt(Q::both(2.0) * select(l.riseOn, l.env2, l.env));
  Q level = select(l.rmsOn, meanSquareLevel, abs(d));
  level = max(level, l.held * l.holdFactor);
  l.held = level;
  return level;
}

// Gain computer and gain smoothing of one frame, from the level in nepers; returns the gain in dB.
template <class Q>
[[gnu::always_inline]] inline Q smoothedGainDb(BandLanes<Q>& l, Q levelNepers) noexcept {
  const Q o = Q::both(kDbPerNeper) * levelNepers - l.threshold;
  const Q twoO = Q::both(2.0) * o;
  const Q t = o + l.halfKnee;
  const Q curve = t * t * l.inverseTwoKnee;
  const Q soft = zeroWhere(twoO < -l.knee, select(twoO > l.knee, o, curve));
  const Q over = select(l.hardKnee, max(o, Q::both(0.0)), soft);
  const Q target = l.negSlope * over;
  l.gainDb = l.gainDb + (target - l.gainDb) * select(l.gainDb > target, l.attackCoef, l.releaseCoef);
  return l.gainDb;
}

// Make-up and compression gain (drive), the saturator with its clipped input, and the side gain
// of one band's left/right pair (or of two bands' pairs side by side).
template <class V>
[[gnu::always_inline]] inline V saturate(V samples, V drive, V clip, V cubic, V quintic, V mix) noexcept {
  const V u = samples * drive;
  const V x = clampSymmetric(u, clip);
  const V x2 = x * x;
  const V sat = (quintic * x2 * x2 + V::both(1.0) - cubic * x2) * x;
  return u + (sat - u) * mix;
}

template <class V>
[[gnu::always_inline]] inline V saturateAndWiden(V samples, V drive, V clip, V cubic, V quintic, V mix,
                                                 V side) noexcept {
  const V y = saturate(samples, drive, clip, cubic, quintic, mix);
  // Mid/side: (yL + yR) / 2 in both lanes, plus and minus side * (yL - yR) / 2.
  const V ySwapped = y.swapped();
  const V half = V::both(0.5);
  const V m = (y + ySwapped) * half;
  const V sd = side * ((y - ySwapped) * half);
  return m + sd;
}

}  // namespace

// The chunk kernel is built for AVX2 and for the baseline and chosen once when the library
// loads; both run the same operations in the same order, so their results agree exactly.
#ifdef PLUMBROOK_HAVE_AVX2_QUAD
namespace {
bool cpuHasAvx2() noexcept {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}
const bool kUseAvx2 = cpuHasAvx2();
}  // namespace

void Glue::runChunkAvx2(double* left, double* right, int n, const double* fade) noexcept {
  if (right != nullptr)
    chunkBody<true, QuadAvx>(left, right, n, fade);
  else
    chunkBody<false, QuadAvx>(left, left, n, fade);
}
#endif

void Glue::runChunk(double* left, double* right, int n, const double* fade) noexcept {
#ifdef PLUMBROOK_HAVE_AVX2_QUAD
  if (kUseAvx2) {
    runChunkAvx2(left, right, n, fade);
    return;
  }
#endif
  if (right != nullptr)
    chunkBody<true, QuadPairs>(left, right, n, fade);
  else
    chunkBody<false, QuadPairs>(left, left, n, fade);
}

template <bool kStereo, class Quad>
inline void Glue::chunkBody(double* left, double* right, int n, const double* fade) noexcept {
  if (n <= 0) return;
  DoublePair lowSamples[kChunk];
  Quad midHighSamples[kChunk];  // mid and high band, left and right
  DoublePair dry[kChunk];
  // Four lanes per frame (bands 0, 1, 2, 2): detector input, then level, then linear gain.
  alignas(32) double lanes[4 * kChunk];
  const DoublePair half = DoublePair::both(0.5);

  // 1. Split both channels at once, one lane each. Mono runs its channel in both lanes: the
  // detector input (L + L) / 2 is then L and the mid/side step below is an exact identity.
  // The low- and high-pass sections of each split run side by side in one four-lane section.
  {
    KernelLanes& kl = lanes_;
    LaneSection<Quad> split[4];
    for (int k = 0; k < 4; ++k) {
      const auto& f = kl.split[k];
      split[k] = {Quad::load(f[kB0]), Quad::load(f[kB1]), Quad::load(f[kB2]), Quad::load(f[kA1]),
                  Quad::load(f[kA2]), Quad::load(f[kS1]), Quad::load(f[kS2])};
    }
    LaneSection<DoublePair> allPass{DoublePair::load(kl.allPass[kB0]), DoublePair::load(kl.allPass[kB1]),
                                    DoublePair::load(kl.allPass[kB2]), DoublePair::load(kl.allPass[kA1]),
                                    DoublePair::load(kl.allPass[kA2]), DoublePair::load(kl.allPass[kS1]),
                                    DoublePair::load(kl.allPass[kS2])};
    for (int i = 0; i < n; ++i) {
      const DoublePair x = finiteOrZero(kStereo ? DoublePair::of(left[i], right[i]) : DoublePair::both(left[i]));
      dry[i] = x;
      // (low-pass, high-pass) at the low split, twice: the low band before its all-pass, and h.
      const Quad first = split[1].process(split[0].process(Quad::fromPairs(x, x)));
      const DoublePair low = allPass.process(first.lowPair());
      const DoublePair h = first.highPair();
      // (low-pass, high-pass) at the high split, twice, on h: the mid and the high band.
      const Quad midHigh = split[3].process(split[2].process(Quad::fromPairs(h, h)));
      lowSamples[i] = low;
      midHighSamples[i] = midHigh;
      const DoublePair mid = midHigh.lowPair(), high = midHigh.highPair();
      ((DoublePair::firsts(low, mid) + DoublePair::seconds(low, mid)) * half).store(lanes + 4 * i);
      ((high + high.swapped()) * half).store(lanes + 4 * i + 2);
    }
    for (int k = 0; k < 4; ++k) {
      split[k].s1.store(kl.split[k][kS1]);
      split[k].s2.store(kl.split[k][kS2]);
    }
    allPass.s1.store(kl.allPass[kS1]);
    allPass.s2.store(kl.allPass[kS2]);
  }

  // 2. Detector levels, their logarithms, the gain computer, and the linear gains.
  {
    double(&v)[kLaneFields][4] = lanes_.band;
    const bool* rmsOn = lanes_.rmsOn;
    const bool* riseOn = lanes_.riseOn;
    const bool* hardKnee = lanes_.hardKnee;
    BandLanes<Quad> l;
    l.rmsOn = Quad::maskOf(rmsOn[0], rmsOn[1], rmsOn[2], rmsOn[3]);
    l.riseOn = Quad::maskOf(riseOn[0], riseOn[1], riseOn[2], riseOn[3]);
    l.hardKnee = Quad::maskOf(hardKnee[0], hardKnee[1], hardKnee[2], hardKnee[3]);
    l.rmsCoef = Quad::load(v[kRmsCoef]);
    l.riseCoef = Quad::load(v[kRiseCoef]);
    l.fallCoef = Quad::load(v[kFallCoef]);
    l.holdFactor = Quad::load(v[kHoldFactor]);
    l.attackCoef = Quad::load(v[kAttack]);
    l.releaseCoef = Quad::load(v[kRelease]);
    l.shelf = {Quad::load(v[kShelfB0]), Quad::load(v[kShelfB1]), Quad::load(v[kShelfB2]), Quad::load(v[kShelfA1]),
               Quad::load(v[kShelfA2]), Quad::load(v[kShelfS1]), Quad::load(v[kShelfS2])};
    l.env = Quad::load(v[kEnv]);
    l.env2 = Quad::load(v[kEnv2]);
    l.held = Quad::load(v[kHeld]);
    l.gainDb = Quad::load(v[kGainDb]);
    l.threshold = Quad::load(v[kThreshold]);
    l.knee = Quad::load(v[kKnee]);
    l.halfKnee = Quad::load(v[kHalfKnee]);
    l.inverseTwoKnee = Quad::load(v[kInverseTwoKnee]);
    l.negSlope = Quad::load(v[kNegSlope]);

    const Quad floor = Quad::both(1e-30);
    for (int i = 0; i < n; ++i) (detectorLevel(l, Quad::load(lanes + 4 * i)) + floor).store(lanes + 4 * i);
    logInPlace(lanes, 4 * n);
    const Quad toNepers = Quad::both(kNeperPerDb);
    for (int i = 0; i < n; ++i) (smoothedGainDb(l, Quad::load(lanes + 4 * i)) * toNepers).store(lanes + 4 * i);
    expInPlace(lanes, 4 * n);

    l.shelf.s1.store(v[kShelfS1]);
    l.shelf.s2.store(v[kShelfS2]);
    l.env.store(v[kEnv]);
    l.env2.store(v[kEnv2]);
    l.held.store(v[kHeld]);
    l.gainDb.store(v[kGainDb]);
  }

  // 3. Make-up, saturation, side lift, band sum and the output fade.
  if constexpr (kStereo) {
    finishStereo<DoublePair, Quad>(left, right, n, fade, lowSamples, midHighSamples, dry, lanes);
  } else {
    finishMono<DoublePair, Quad>(left, n, fade, lowSamples, midHighSamples, dry, lanes);
  }
}

// Stereo: the low band as a pair, the mid and high bands together as four lanes (lane values per
// band repeated for both channels).
template <class DoublePair, class Quad>
[[gnu::always_inline]] inline void Glue::finishStereo(double* left, double* right, int n, const double* fade,
                                                      const DoublePair* lowSamples, const Quad* midHighSamples,
                                                      const DoublePair* dry, const double* lanes) noexcept {
  const BandState& b0 = bands_[0];
  const BandState& b1 = bands_[1];
  const BandState& b2 = bands_[2];
  double lowMakeup = b0.makeup, lowMix = b0.mix, lowSide = b0.side;
  const double smooth = smoothCoef_;
  const DoublePair lowClip = DoublePair::both(settings_[0].clipPoint);
  const DoublePair lowCubic = DoublePair::both(voicing_.bands[0].satCubic);
  const DoublePair lowQuintic = DoublePair::both(voicing_.bands[0].satQuintic);
  Quad makeup = Quad::of(b1.makeup, b1.makeup, b2.makeup, b2.makeup);
  Quad mix = Quad::of(b1.mix, b1.mix, b2.mix, b2.mix);
  Quad side = Quad::of(b1.side, b1.side, b2.side, b2.side);
  const Quad makeupTarget = Quad::of(b1.makeupTarget, b1.makeupTarget, b2.makeupTarget, b2.makeupTarget);
  const Quad mixTarget = Quad::of(b1.mixTarget, b1.mixTarget, b2.mixTarget, b2.mixTarget);
  const Quad sideTarget = Quad::of(b1.sideTarget, b1.sideTarget, b2.sideTarget, b2.sideTarget);
  const double c1 = settings_[1].clipPoint, c2 = settings_[2].clipPoint;
  const Quad clip = Quad::of(c1, c1, c2, c2);
  const double a1 = voicing_.bands[1].satCubic, a2 = voicing_.bands[2].satCubic;
  const Quad cubic = Quad::of(a1, a1, a2, a2);
  const double q1 = voicing_.bands[1].satQuintic, q2 = voicing_.bands[2].satQuintic;
  const Quad quintic = Quad::of(q1, q1, q2, q2);
  const Quad smoothQuad = Quad::both(smooth);
  for (int i = 0; i < n; ++i) {
    lowMakeup += (b0.makeupTarget - lowMakeup) * smooth;
    lowMix += (b0.mixTarget - lowMix) * smooth;
    lowSide += (b0.sideTarget - lowSide) * smooth;
    makeup = makeup + (makeupTarget - makeup) * smoothQuad;
    mix = mix + (mixTarget - mix) * smoothQuad;
    side = side + (sideTarget - side) * smoothQuad;
    const DoublePair lowContribution =
        saturateAndWiden(lowSamples[i], DoublePair::both(lowMakeup * lanes[4 * i]), lowClip, lowCubic, lowQuintic,
                         DoublePair::both(lowMix), DoublePair::both(lowSide));
    const Quad midHighContribution = saturateAndWiden(
        midHighSamples[i], makeup * Quad::load(lanes + 4 * i).duplicateMiddle(), clip, cubic, quintic, mix, side);
    const DoublePair sum = (lowContribution + midHighContribution.lowPair()) + midHighContribution.highPair();
    const DoublePair out = dry[i] + (sum - dry[i]) * DoublePair::both(fade[i]);
    left[i] = out.first();
    right[i] = out.second();
  }
  alignas(32) double m[4], x[4], s[4];
  makeup.store(m);
  mix.store(x);
  side.store(s);
  bands_[0].makeup = lowMakeup;
  bands_[0].mix = lowMix;
  bands_[0].side = lowSide;
  for (int b = 1; b < kBands; ++b) {
    bands_[b].makeup = m[2 * b - 2];
    bands_[b].mix = x[2 * b - 2];
    bands_[b].side = s[2 * b - 2];
  }
}

// Mono: one lane per band (low, mid, high, and high again), where stereo spends two. The mid/side
// step is an identity for equal channels except that it turns -0 into +0, hence the + 0.
template <class DoublePair, class Quad>
[[gnu::always_inline]] inline void Glue::finishMono(double* left, int n, const double* fade,
                                                    const DoublePair* lowSamples, const Quad* midHighSamples,
                                                    const DoublePair* dry, const double* lanes) noexcept {
  const BandState& b0 = bands_[0];
  const BandState& b1 = bands_[1];
  const BandState& b2 = bands_[2];
  Quad makeup = Quad::of(b0.makeup, b1.makeup, b2.makeup, b2.makeup);
  Quad mix = Quad::of(b0.mix, b1.mix, b2.mix, b2.mix);
  Quad side = Quad::of(b0.side, b1.side, b2.side, b2.side);
  const Quad makeupTarget = Quad::of(b0.makeupTarget, b1.makeupTarget, b2.makeupTarget, b2.makeupTarget);
  const Quad mixTarget = Quad::of(b0.mixTarget, b1.mixTarget, b2.mixTarget, b2.mixTarget);
  const Quad sideTarget = Quad::of(b0.sideTarget, b1.sideTarget, b2.sideTarget, b2.sideTarget);
  const double c0 = settings_[0].clipPoint, c1 = settings_[1].clipPoint, c2 = settings_[2].clipPoint;
  const Quad clip = Quad::of(c0, c1, c2, c2);
  const double a0 = voicing_.bands[0].satCubic, a1 = voicing_.bands[1].satCubic, a2 = voicing_.bands[2].satCubic;
  const Quad cubic = Quad::of(a0, a1, a2, a2);
  const double q0 = voicing_.bands[0].satQuintic, q1 = voicing_.bands[1].satQuintic,
               q2 = voicing_.bands[2].satQuintic;
  const Quad quintic = Quad::of(q0, q1, q2, q2);
  const Quad smoothQuad = Quad::both(smoothCoef_);
  const Quad zero = Quad::both(0.0);
  for (int i = 0; i < n; ++i) {
    makeup = makeup + (makeupTarget - makeup) * smoothQuad;
    mix = mix + (mixTarget - mix) * smoothQuad;
    side = side + (sideTarget - side) * smoothQuad;
    const Quad samples = Quad::fromPairs(DoublePair::firsts(lowSamples[i], midHighSamples[i].lowPair()),
                                         midHighSamples[i].highPair());
    const Quad c = saturate(samples, makeup * Quad::load(lanes + 4 * i), clip, cubic, quintic, mix) + zero;
    // (low + mid) + high, in the first lane.
    const DoublePair lm = c.lowPair(), hh = c.highPair();
    const DoublePair sum = (DoublePair::firsts(lm, hh) + DoublePair::seconds(lm, hh)) + hh;
    const DoublePair out = dry[i] + (sum - dry[i]) * DoublePair::both(fade[i]);
    left[i] = out.first();
  }
  alignas(32) double m[4], x[4], s[4];
  makeup.store(m);
  mix.store(x);
  side.store(s);
  for (int b = 0; b < kBands; ++b) {
    bands_[b].makeup = m[b];
    bands_[b].mix = x[b];
    bands_[b].side = s[b];
  }
}

template void Glue::process<double>(double* const*, int) noexcept;

}  // namespace plumbrook::dsp
