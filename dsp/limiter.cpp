// Limiter: derived values, interpolator design, detection paths and the per-frame loop.
#include "dsp/limiter.h"

#include <algorithm>
#include <cmath>
#include <cstring>  // memcpy
#include <numbers>

namespace quillfen::dsp {

namespace {

// Fixed tuning, seconds unless stated.
constexpr double kExcessHoldS = 0.003;
constexpr double kExcessAttackS = 0.007;
constexpr float kExcessThresholdDb = 2.0f;
constexpr double kReleaseRateDbPerS = 16.0;
constexpr float kReleaseKneeDb = 2.0f;
constexpr double kWindowReleaseS = 0.0003;
constexpr double kWindowHoldS = 0.0;
constexpr double kAttackWindowS = 0.00025;
constexpr double kPeakHoldS = 0.002;
constexpr double kPeakReleaseS = 0.01;
constexpr double kLevelSmoothingS = 0.02;
constexpr double kFadeS = 0.0025;
constexpr double kLatencyS = 0.0015;
constexpr float kTargetFactor = 0.99994242f;
constexpr float kFloor = 1e-5f;
constexpr float kMaxReductionDb = 1000.0f;
constexpr int kMask = Limiter::kRingSize - 1;
// True-peak windows longer than this (above about 100 kHz) take the monotonic queue.
constexpr int kLongWindow = 96;
// -ln(10)/20: 10^(-x/20) == exp(x * kNegDbToLn); 20 log10(x) == kDbPerLog2 * log2(x).
constexpr float kNegDbToLn = -0.115129254649702f;
constexpr float kDbPerLog2 = 6.02059991327962f;

double effectiveRate(double sampleRate) {
  return (sampleRate > 0.0 && std::isfinite(sampleRate)) ? sampleRate : 48000.0;
}

// [x]: nearest integer, halves away from zero, kept in a safe range for counters.
int roundSamples(double x) { return static_cast<int>(std::clamp(std::round(x), 0.0, 16777216.0)); }

double timeConstant(double seconds) { return std::max(seconds, 1e-6); }

float finiteOrZero(double x) noexcept {
  const float f = static_cast<float>(x);
  return std::isfinite(f) ? f : 0.0f;
}

// Vectors of consecutive frames: eight lanes with AVX2, four with the baseline instruction set.
// Every lane performs the same float operations in the same order at either width, so both paths
// give the same bits; no fused multiply-add is enabled on either.
using Float8 = float __attribute__((vector_size(32)));
using Float4 = float __attribute__((vector_size(16)));
constexpr int kLane = 8;  // widest vector; buffers leave room for one group of this many
template <class V>
constexpr int kWidth = static_cast<int>(sizeof(V) / sizeof(float));

// The vector helpers below are always inlined, so no vector ever crosses a call boundary.
#pragma GCC diagnostic ignored "-Wpsabi"

template <class V>
[[gnu::always_inline]] inline V loadV(const float* p) noexcept {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class V>
[[gnu::always_inline]] inline void storeV(float* p, const V& v) noexcept {
  std::memcpy(p, &v, sizeof v);
}

template <class V>
[[gnu::always_inline]] inline V maxV(const V& a, const V& b) noexcept {
  return a > b ? a : b;
}

// The three interpolated values of consecutive frames; lane f filters the kTaps samples from
// window + f. The filters are folded about their centre: with s_j = x_j + x_(63-j) and
// d_j = x_j - x_(63-j), the 1/4 value is even . s + odd . d, the 3/4 value even . s - odd . d and
// the 1/2 value half . s. Each lane adds its products in one fixed order (two interleaved partial
// sums per filter) whatever the vector width, so the single-frame `waveformPeak`, the batched
// block loop and both instruction-set paths produce the same bits.
template <class V>
[[gnu::always_inline]] inline void interpolate(const float* window, const float* tapLanes, V* v) noexcept {
  constexpr int kHalf = Limiter::kTaps / 2;
  const float* even = tapLanes;
  const float* odd = tapLanes + kHalf * kLane;
  const float* half = tapLanes + 2 * kHalf * kLane;
  // Named accumulators and a fully unrolled loop keep every sum in a register.
  V e0 = {}, e1 = {}, o0 = {}, o1 = {}, h0 = {}, h1 = {};
#pragma GCC unroll 16
  for (int j = 0; j < kHalf; j += 2) {
    const V a0 = loadV<V>(window + j);
    const V b0 = loadV<V>(window + Limiter::kTaps - 1 - j);
    const V a1 = loadV<V>(window + j + 1);
    const V b1 = loadV<V>(window + Limiter::kTaps - 2 - j);
    const V sum0 = a0 + b0;
    const V sum1 = a1 + b1;
    e0 += sum0 * loadV<V>(even + j * kLane);
    e1 += sum1 * loadV<V>(even + (j + 1) * kLane);
    o0 += (a0 - b0) * loadV<V>(odd + j * kLane);
    o1 += (a1 - b1) * loadV<V>(odd + (j + 1) * kLane);
    h0 += sum0 * loadV<V>(half + j * kLane);
    h1 += sum1 * loadV<V>(half + (j + 1) * kLane);
  }
  const V evenSum = e0 + e1;
  const V oddSum = o0 + o1;
  v[0] = evenSum + oddSum;
  v[1] = h0 + h1;
  v[2] = evenSum - oddSum;
}

template <class V>
[[gnu::always_inline]] inline V minV(const V& a, const V& b) noexcept {
  return a < b ? a : b;
}

// Peak of point y between l and r: |y|, and where y is a local extremum away from zero with
// non-zero curvature, also the crest of a curve through the three points. A parabola's vertex
// falls short of a sine's crest: of the rise 1 - cos(delta) it finds only cos^2(h/2) for points
// h radians apart (0.05 dB low at 0.9 of the Nyquist frequency with four points per sample).
// With cos(h) = (l + r) / 2y, read off the points, the rise is scaled back by 2 / (1 + cos h),
// taking cos h as 0 where the neighbours pull the other way.
template <class V>
[[gnu::always_inline]] inline V pointPeak(const V& y, const V& l, const V& r) noexcept {
  const V zero = {};
  const V magnitude = y > zero ? y : -y;
  const V curvature = l - 2.0f * y + r;
  const V d = l - r;
  const auto extremum = ((y > zero) & (y >= l) & (y >= r)) | ((y < zero) & (y <= l) & (y <= r));
  const auto use = extremum & (curvature != zero);
  const V twice = 2.0f * y;
  const V sum = twice + l + r;
  const V spread = y > zero ? maxV(sum, twice) : minV(sum, twice);
  // Lanes without a vertex divide by a dummy 1 so that no infinity is formed.
  const V one = zero + 1.0f;
  const V vertex = y - d * d * y / (2.0f * (use ? curvature * spread : one));
  const V vertexMagnitude = vertex > zero ? vertex : -vertex;
  return use ? maxV(vertexMagnitude, magnitude) : magnitude;
}

// True-peak estimates of `count` consecutive frames (1..kChunk) over 1 or 2 channels. The
// kTaps-sample window of frame f of channel c starts at lines[c] + f + 1. last[c][0] holds the
// 3/4-position value before the first frame; last[c][f + 1] receives that of frame f. peaks
// receives one value per frame, rounded up to whole vectors.
template <class V>
[[gnu::always_inline]] inline void segmentPeaks(const float* const* lines, int channels, int count,
                                                const float* tapLanes, float* const* last, float* peaks) noexcept {
  constexpr int W = kWidth<V>;
  constexpr int kRoom = Limiter::kChunk + kLane;
  alignas(32) float quarter[Limiter::kMaxChannels][kRoom];
  alignas(32) float half[Limiter::kMaxChannels][kRoom];
  // First every interpolated value, so that the point rules below read the previous frame's
  // 3/4-position value from memory written well before.
  for (int c = 0; c < channels; ++c) {
    for (int f = 0; f < count; f += W) {
      V v[3];
      interpolate(lines[c] + f + 1, tapLanes, v);
      storeV(quarter[c] + f, v[0]);
      storeV(half[c] + f, v[1]);
      storeV(last[c] + f + 1, v[2]);
    }
  }
  for (int f = 0; f < count; f += W) {
    V best = {};
    for (int c = 0; c < channels; ++c) {
      // The segment's two samples, in the middle of the window.
      const V x16 = loadV<V>(lines[c] + f + Limiter::kTaps / 2);
      const V x17 = loadV<V>(lines[c] + f + Limiter::kTaps / 2 + 1);
      const V q = loadV<V>(quarter[c] + f);
      const V h = loadV<V>(half[c] + f);
      const V t = loadV<V>(last[c] + f + 1);
      const V before = loadV<V>(last[c] + f);
      const V p = maxV(maxV(pointPeak(x16, before, q), pointPeak(q, x16, h)),
                       maxV(pointPeak(h, q, t), pointPeak(t, h, x17)));
      best = c == 0 ? p : maxV(best, p);
    }
    storeV(peaks + f, best);
  }
}

__attribute__((target("avx2"))) void segmentPeaksAvx2(const float* const* lines, int channels, int count,
                                                      const float* tapLanes, float* const* last, float* peaks) noexcept {
  segmentPeaks<Float8>(lines, channels, count, tapLanes, last, peaks);
}

void segmentPeaksBaseline(const float* const* lines, int channels, int count, const float* tapLanes,
                          float* const* last, float* peaks) noexcept {
  segmentPeaks<Float4>(lines, channels, count, tapLanes, last, peaks);
}

bool cpuHasAvx2() noexcept {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

// r for a (true) peak: the dB by which peak × drive exceeds the target, 0 below it.
[[gnu::always_inline]] inline float reductionFor(float peak, float drive, float target) noexcept {
  const float level = peak * drive;
  // The cap keeps absurd but finite inputs from pushing infinities into the running sums.
  return level > target ? std::min(kDbPerLog2 * std::log2(level / target), kMaxReductionDb) : 0.0f;
}

}  // namespace

Limiter::Limiter() : avx2_(cpuHasAvx2()) {
  designInterpolator();
  prepare(48000.0);
}

int Limiter::latencyForRate(double sampleRate) {
  return static_cast<int>(std::clamp(std::round(kLatencyS * effectiveRate(sampleRate)), 40.0, 960.0));
}

void Limiter::prepare(double sampleRate) {
  const double sr = effectiveRate(sampleRate);
  sampleRate_ = sr;
  latency_ = latencyForRate(sr);
  attack_ = std::clamp(roundSamples(kAttackWindowS * sr), 1, latency_);
  excessHoldSamples_ = roundSamples(kExcessHoldS * sr);
  excessAttackCoeff_ = static_cast<float>(1.0 - std::exp(-1.0 / (timeConstant(kExcessAttackS) * sr)));
  releaseStep_ = static_cast<float>(kReleaseRateDbPerS / sr);
  windowReleaseCoeff_ = static_cast<float>(std::exp(-1.0 / (timeConstant(kWindowReleaseS) * sr)));
  windowHoldSamples_ = roundSamples(kWindowHoldS * sr);
  peakHoldSamples_ = roundSamples(kPeakHoldS * sr);
  peakReleaseCoeff_ = static_cast<float>(std::exp(-1.0 / (timeConstant(kPeakReleaseS) * sr)));
  smoothingCoeff_ = 1.0 - std::exp(-1.0 / (timeConstant(kLevelSmoothingS) * sr));
  fadeStep_ = static_cast<float>(1.0 / (timeConstant(kFadeS) * sr));
  reset();
}

void Limiter::reset() noexcept {
  clearAll();
  snapLevels();
  applySettings();
  fade_.gain = 1.0f;
  fade_.fadeInCountdown = 0;
  fade_.fillCountdown = delay_;
  reconfigurePending_ = false;
  reportedReductionDb_ = 0.0f;
  reportedOutputPeak_ = 0.0f;
}

void Limiter::restart() noexcept {
  clearGainComputer();
  reportedReductionDb_ = 0.0f;
  reportedOutputPeak_ = 0.0f;
  fade_.fillCountdown = delay_;
}

void Limiter::clearDelay() noexcept {
  for (auto& r : ring_) r.fill(0.0f);
  write_ = 0;
  for (auto& line : inputLine_) line.fill(0.0f);
  for (auto& line : outputLine_) line.fill(0.0f);
  outputPushed_ = 0;
  inputLast_.fill(0.0f);
  outputLast_.fill(0.0f);
}

void Limiter::clearAll() noexcept {
  clearDelay();
  clearGainComputer();
}

void Limiter::clearGainComputer() noexcept {
  updateWindows();
  reductionRing_.fill(0.0f);
  reductionWrite_ = 0;
  gain_ = GainState{};
}

void Limiter::applySettings() noexcept {
  delay_ = (settings.lookahead || settings.truePeak) ? latency_ : 0;
  truePeakApplied_ = settings.truePeak && delay_ > 0;
  clearGainComputer();
}

void Limiter::updateWindows() noexcept {
  int maxLength = 1;
  int averageLength = 1;
  reductionOffset_ = 0;
  if (delay_ > 0 && !truePeakApplied_) {
    maxLength = averageLength = attack_ + 1;
  } else if (delay_ > 0) {
    // The true-peak segment lies kLag frames behind the newest input. The offset and windows give
    // each delayed sample the full reduction of every segment from 15 frames before it to 17
    // after it (the reach of the output's own interpolation), ramped in over the attack length.
    // Below about 32 kHz the look-ahead is too short for all of it: the reach ahead shrinks.
    reductionOffset_ = std::max(0, delay_ - attack_ - kLag - 17);
    maxLength = std::max(1, delay_ - kLag + 15 - reductionOffset_ + 1);
    averageLength = std::min(attack_ + 1, maxLength);
  }
  windowMax_.reset(maxLength);
  average_.reset(averageLength);
}

// Always inlined: the AVX2 chunk loop calls it once per chunk, and a call costs more than its work.
[[gnu::always_inline]] inline void Limiter::sanitizedLevels(double& thresholdDb, double& ceilingDb) const noexcept {
  const float t = settings.thresholdDb;
  const float c = settings.ceilingDb;
  thresholdDb = std::isfinite(t) ? std::clamp(static_cast<double>(t), -30.0, 0.0) : 0.0;
  ceilingDb = std::isfinite(c) ? std::clamp(static_cast<double>(c), -30.0, 0.0) : -0.3;
}

void Limiter::snapLevels() noexcept {
  sanitizedLevels(thresholdDb_, ceilingDb_);
  computeLevels();
}

void Limiter::computeLevels() noexcept {
  drive_ = static_cast<float>(std::pow(10.0, (ceilingDb_ - thresholdDb_) / 20.0));
  ceilingLin_ = static_cast<float>(std::pow(10.0, ceilingDb_ / 20.0));
  target_ = ceilingLin_ * kTargetFactor;
}

void Limiter::glideLevels(double thresholdDb, double ceilingDb) noexcept {
  thresholdDb_ += (thresholdDb - thresholdDb_) * smoothingCoeff_;
  if (std::fabs(thresholdDb - thresholdDb_) <= 0.001) thresholdDb_ = thresholdDb;
  ceilingDb_ += (ceilingDb - ceilingDb_) * smoothingCoeff_;
  if (std::fabs(ceilingDb - ceilingDb_) <= 0.001) ceilingDb_ = ceilingDb;
  computeLevels();
}

void Limiter::designInterpolator() {
  // The design does not depend on the sample rate: it is solved once per process, on the first
  // construction, and copied from there.
  static const std::array<Taps, 3> designed = [] {
    std::array<Taps, 3> taps{};
    for (int k = 0; k < 2; ++k) {
      const std::array<double, kTaps> h = solveInterpolator(0.25 * (k + 1));
      double sum = 0.0;
      for (double v : h) sum += v;
      for (int j = 0; j < kTaps; ++j)
        taps[static_cast<size_t>(k)][static_cast<size_t>(j)] = static_cast<float>(h[static_cast<size_t>(kTaps - 1 - j)] / sum);
    }
    // The folded evaluation relies on exact symmetry: the 1/2 filter is made symmetric, the 3/4
    // filter is the mirror of the 1/4 one (both only differ from the solution by rounding).
    for (size_t j = 0; j < kTaps / 2; ++j) {
      const float mean = 0.5f * (taps[1][j] + taps[1][kTaps - 1 - j]);
      taps[1][j] = taps[1][kTaps - 1 - j] = mean;
    }
    for (size_t j = 0; j < kTaps; ++j) taps[2][j] = taps[0][kTaps - 1 - j];
    return taps;
  }();
  taps_ = designed;
  for (size_t j = 0; j < kTaps / 2; ++j) {
    const float first = designed[0][j];
    const float mirrored = designed[0][kTaps - 1 - j];
    tapLanes_[0][j].fill(0.5f * (first + mirrored));
    tapLanes_[1][j].fill(0.5f * (first - mirrored));
    tapLanes_[2][j].fill(designed[1][j]);
  }
}

std::array<double, Limiter::kTaps> Limiter::solveInterpolator(double position) {
  constexpr int N = kTaps;
  const double wc = kInterpolatorBandwidth * std::numbers::pi;
  auto kernel = [wc](double d) { return d == 0.0 ? wc : std::sin(d * wc) / d; };
  double m[N][N];
  double b[N];
  for (int i = 0; i < N; ++i) {
    for (int j = 0; j < N; ++j) m[i][j] = kernel(static_cast<double>(i - j));
    b[i] = kernel(i - N / 2 + position);
  }
  // Gaussian elimination with partial pivoting; the first row wins a tie.
  for (int k = 0; k < N; ++k) {
    int pivot = k;
    for (int r = k + 1; r < N; ++r) {
      if (std::fabs(m[r][k]) > std::fabs(m[pivot][k])) pivot = r;
    }
    if (pivot != k) {
      for (int j = 0; j < N; ++j) std::swap(m[k][j], m[pivot][j]);
      std::swap(b[k], b[pivot]);
    }
    for (int r = k + 1; r < N; ++r) {
      const double f = m[r][k] / m[k][k];
      if (f == 0.0) continue;
      for (int j = k; j < N; ++j) m[r][j] -= f * m[k][j];
      b[r] -= f * b[k];
    }
  }
  std::array<double, N> h{};
  for (int i = N - 1; i >= 0; --i) {
    double s = b[i];
    for (int j = i + 1; j < N; ++j) s -= m[i][j] * h[static_cast<size_t>(j)];
    h[static_cast<size_t>(i)] = s / m[i][i];
  }
  return h;
}

float Limiter::waveformPeak(const std::array<Recent, 2>& history, int channels,
                            std::array<float, 2>& last) const noexcept {
  channels = std::clamp(channels, 0, kMaxChannels);
  if (channels == 0) return 0.0f;
  // The batched kernel on a one-frame line: one slot before the window, room for a full group after.
  alignas(32) float lines[kMaxChannels][1 + kTaps + 2 * kLane] = {};
  alignas(32) float lastValues[kMaxChannels][kLane + 1] = {};
  alignas(32) float peaks[kLane];
  for (int c = 0; c < channels; ++c) {
    std::memcpy(lines[c] + 1, history[static_cast<size_t>(c)].window(), kTaps * sizeof(float));
    lastValues[c][0] = last[static_cast<size_t>(c)];
  }
  const float* linePointers[kMaxChannels] = {lines[0], lines[1]};
  float* lastPointers[kMaxChannels] = {lastValues[0], lastValues[1]};
  (avx2_ ? segmentPeaksAvx2 : segmentPeaksBaseline)(linePointers, channels, 1, tapLanes_[0][0].data(), lastPointers, peaks);
  for (int c = 0; c < channels; ++c) last[static_cast<size_t>(c)] = lastValues[c][1];
  return peaks[0];
}

[[gnu::always_inline]] inline float Limiter::excessEnvelope(GainState& g, float r) const noexcept {
  if (r >= g.excessHeld) {
    g.excessHeld = r;
    g.excessHoldCountdown = excessHoldSamples_;
  } else if (g.excessHoldCountdown > 0) {
    --g.excessHoldCountdown;
  } else {
    g.excessHeld = r;
  }
  const float e = std::max(0.0f, g.excessHeld - kExcessThresholdDb);
  if (e > g.excess2) {
    g.excess1 += (e - g.excess1) * excessAttackCoeff_;
    if (g.excess1 > g.excess2) g.excess2 += (g.excess1 - g.excess2) * excessAttackCoeff_;
  } else if (g.excess2 > 0.0f) {
    float next = g.excess2 - releaseStep_ * g.excess2 / (kReleaseKneeDb + g.excess2);
    if (next < std::max(kFloor, e)) next = e;
    g.excess2 = next;
    g.excess1 = std::min(g.excess1, g.excess2);
  }
  return g.excess2;
}

template <bool Active>
void Limiter::run(const double* const* in, double* const* out, int channels, int n, double* const* dryOut) noexcept {
  if (in == nullptr || out == nullptr || n <= 0 || channels <= 0) return;
  channels = std::min(channels, kMaxChannels);
  for (int c = 0; c < channels; ++c) {
    if (in[c] == nullptr || out[c] == nullptr) return;
  }
  const bool stereo = channels == 2;
  if (stereo && !lastStereo_) {
    // Mono left the second channel's delay and histories as they were; stereo starts it silent.
    ring_[1].fill(0.0f);
    inputLine_[1].fill(0.0f);
    outputLine_[1].fill(0.0f);
    inputLast_[1] = outputLast_[1] = 0.0f;
  }
  lastStereo_ = stereo;
  const Block block{in[0],
                    stereo ? in[1] : nullptr,
                    out[0],
                    stereo ? out[1] : nullptr,
                    dryOut != nullptr ? dryOut[0] : nullptr,
                    (dryOut != nullptr && stereo) ? dryOut[1] : nullptr,
                    channels,
                    n};
  if constexpr (Active) {
    if (avx2_) {
      limitAvx2(block);
    } else {
      limitBaseline(block);
    }
  } else {
    delayOnly(block);
  }
}

template <bool kStereo>
[[gnu::always_inline]] inline void Limiter::loadChunk(const Block& block, int start, int n) noexcept {
  float* line0 = inputLine_[0].data() + kTaps;
  float* line1 = inputLine_[1].data() + kTaps;
  const double* in0 = block.in0 + start;
  for (int i = 0; i < n; ++i) line0[i] = finiteOrZero(in0[i]);
  if constexpr (kStereo) {
    const double* in1 = block.in1 + start;
    for (int i = 0; i < n; ++i) line1[i] = finiteOrZero(in1[i]);
  }
  // The chunk never wraps onto the sample D frames back: D + kChunk stays below the ring size.
  static_assert(960 + kChunk <= kRingSize);
  const int first = std::min(n, kRingSize - write_);
  // Mono leaves the second channel alone; it is silenced when stereo comes back (see run).
  for (int c = 0; c < (kStereo ? 2 : 1); ++c) {
    const float* line = inputLine_[static_cast<size_t>(c)].data() + kTaps;
    float* ring = ring_[static_cast<size_t>(c)].data();
    std::memcpy(ring + write_, line, static_cast<size_t>(first) * sizeof(float));
    std::memcpy(ring, line + first, static_cast<size_t>(n - first) * sizeof(float));
  }
  outputPushed_ = 0;
}

namespace {
// Moves the 32 samples at from + n to from. A fixed-size copy through a local buffer compiles to a
// few vector moves, where a library memmove costs a call on every short block.
[[gnu::always_inline]] inline void keepLatest(float* line, int n) noexcept {
  float latest[Limiter::kTaps];
  std::memcpy(latest, line + n, sizeof latest);
  std::memcpy(line, latest, sizeof latest);
}
}  // namespace

template <bool kStereo>
[[gnu::always_inline]] inline void Limiter::finishChunk(int n) noexcept {
  write_ = (write_ + n) & kMask;
  for (int c = 0; c < (kStereo ? 2 : 1); ++c) keepLatest(inputLine_[static_cast<size_t>(c)].data(), n);
  if (outputPushed_ > 0) {
    for (int c = 0; c < (kStereo ? 2 : 1); ++c) keepLatest(outputLine_[static_cast<size_t>(c)].data(), outputPushed_);
  }
  outputPushed_ = 0;
}

void Limiter::applySwitch() noexcept {
  reconfigurePending_ = false;
  applySettings();
  reportedReductionDb_ = 0.0f;
  reportedOutputPeak_ = 0.0f;
  fade_.fadeInCountdown = fade_.fillCountdown = delay_;
}

void Limiter::delayOnly(const Block& block) noexcept {
  const bool stereo = block.channels == 2;
  double wantThresholdDb = 0.0;
  double wantCeilingDb = 0.0;
  sanitizedLevels(wantThresholdDb, wantCeilingDb);
  const float fadeStep = fadeStep_;
  for (int start = 0; start < block.frames; start += kChunk) {
    const int n = std::min(kChunk, block.frames - start);
    if (stereo) loadChunk<true>(block, start, n);
    else loadChunk<false>(block, start, n);
    const float* ring0 = ring_[0].data();
    const float* ring1 = ring_[1].data();
    double* out0 = block.out0 + start;
    double* out1 = stereo ? block.out1 + start : nullptr;
    double* dry0 = block.dry0 != nullptr ? block.dry0 + start : nullptr;
    double* dry1 = block.dry1 != nullptr ? block.dry1 + start : nullptr;
    float reportedPeak = reportedOutputPeak_;
    for (int i = 0; i < n; ++i) {
      if (thresholdDb_ != wantThresholdDb || ceilingDb_ != wantCeilingDb) glideLevels(wantThresholdDb, wantCeilingDb);
      if (reconfigurePending_) {
        fade_.gain -= fadeStep;
        if (fade_.gain <= 0.0f) {
          fade_.gain = 0.0f;
          applySwitch();
          reportedPeak = 0.0f;
        }
      } else if (fade_.fadeInCountdown > 0) {
        --fade_.fadeInCountdown;
      } else if (fade_.gain < 1.0f) {
        fade_.gain = std::min(1.0f, fade_.gain + fadeStep);
      }
      if (fade_.fillCountdown > 0) --fade_.fillCountdown;
      const int now = (write_ + i) & kMask;
      const float y0 = ring0[(now - delay_) & kMask] * fade_.gain;
      out0[i] = y0;
      if (dry0 != nullptr) dry0[i] = y0;
      float magnitude = std::fabs(y0);
      if (stereo) {
        const float y1 = ring1[(now - delay_) & kMask] * fade_.gain;
        out1[i] = y1;
        if (dry1 != nullptr) dry1[i] = y1;
        magnitude = std::max(magnitude, std::fabs(y1));
      }
      reportedPeak = std::max(reportedPeak, magnitude);
    }
    reportedOutputPeak_ = reportedPeak;
    if (stereo) finishChunk<true>(n);
    else finishChunk<false>(n);
  }
}

template <class V, bool kStereo>
[[gnu::always_inline]] inline void Limiter::limitChunk(const Block& block, int start, int n) noexcept {
  loadChunk<kStereo>(block, start, n);
  // Threshold and ceiling glide independently of the signal: their path for the whole chunk first.
  double wantThresholdDb = 0.0;
  double wantCeilingDb = 0.0;
  sanitizedLevels(wantThresholdDb, wantCeilingDb);
  const bool gliding = thresholdDb_ != wantThresholdDb || ceilingDb_ != wantCeilingDb;
  if (gliding) {
    ChunkScratch& sc = scratch_;
    for (int i = 0; i < n; ++i) {
      if (thresholdDb_ != wantThresholdDb || ceilingDb_ != wantCeilingDb) glideLevels(wantThresholdDb, wantCeilingDb);
      sc.drive[static_cast<size_t>(i)] = drive_;
      sc.target[static_cast<size_t>(i)] = target_;
      sc.ceiling[static_cast<size_t>(i)] = ceilingLin_;
    }
  }
  int from = 0;
  bool resumed = false;
  while (from < n) {
    const int stop = limitRange<V, kStereo>(block, start, from, n, resumed, gliding);
    // A reconfiguration switched at frame `stop`: its fade step is done, the rest of the frame
    // runs with the new delay and detection.
    if (stop < n) applySwitch();
    resumed = true;
    from = stop;
  }
  finishChunk<kStereo>(n);
}

// Frames [from, to) of the chunk at `start`, all with the applied delay and detection; stops early
// at the frame where a pending reconfiguration switches and returns that frame (else `to`).
// Stages: the detector input of every frame at once (true-peak estimates, their reductions and,
// with true peak, the window maximum), the gain computer frame by frame, the output samples, then
// the output's true peak for the whole range at once.
template <class V, bool kStereo>
[[gnu::always_inline]] inline int Limiter::limitRange(const Block& block, int start, int from, int to,
                                                      bool resumed, bool gliding) noexcept {
  ChunkScratch& sc = scratch_;
  constexpr int channels = kStereo ? 2 : 1;
  const int delay = delay_;
  const bool truePeak = truePeakApplied_;
  const float* x0 = inputLine_[0].data() + kTaps;
  const float* x1 = inputLine_[1].data() + kTaps;
  const float* ring0 = ring_[0].data();
  const float* ring1 = ring_[1].data();
  const int write = write_;
  const int count = to - from;
  const float steadyDrive = drive_;
  const float steadyTarget = target_;
  const float steadyCeiling = ceilingLin_;
  auto driveAt = [&](int i) noexcept { return gliding ? sc.drive[static_cast<size_t>(i)] : steadyDrive; };
  auto targetAt = [&](int i) noexcept { return gliding ? sc.target[static_cast<size_t>(i)] : steadyTarget; };
  auto ceilingAt = [&](int i) noexcept { return gliding ? sc.ceiling[static_cast<size_t>(i)] : steadyCeiling; };

  // Detector inputs for the whole range.
  const int reductionWrite = reductionWrite_;
  if (truePeak) {
    const float* lines[kMaxChannels] = {inputLine_[0].data() + from, inputLine_[1].data() + from};
    float* lastValues[kMaxChannels] = {sc.lastInput[0].data(), sc.lastInput[1].data()};
    sc.lastInput[0][0] = inputLast_[0];
    sc.lastInput[1][0] = inputLast_[1];
    segmentPeaks<V>(lines, channels, count, tapLanes_[0][0].data(), lastValues, sc.peak.data() + from);
    // r goes into the reduction delay; the window maximum of each frame spans the entries from
    // D back to O frames before it (Wmax of them), so the window takes r delayed by O frames.
    float* reductionRing = reductionRing_.data();
    const int offset = reductionOffset_;
    for (int i = from; i < to; ++i) {
      const float r = reductionFor(sc.peak[static_cast<size_t>(i)], driveAt(i), targetAt(i));
      sc.reduction[static_cast<size_t>(i)] = r;
      const int at = reductionWrite + i - from;
      reductionRing[at & kMask] = r;
      sc.delayed[static_cast<size_t>(i)] = reductionRing[(at - offset) & kMask];
    }
    // The window maximum of every frame of the range. A long window takes a monotonic queue
    // (amortized constant work per frame), run here rather than in the gain computer's loop so that
    // its branches stay out of that loop's chain. A short one (45 entries at 48 kHz) takes
    // doubling passes, eight frames at a time, which beat the queue's mispredicted pops. Both give
    // the same maxima: entries from before the last clear are 0, which no reduction is below, so
    // the queue may start empty; should the range stop early for a switch, the switch empties it.
    const int span = windowMax_.length();
    if (span > kLongWindow) {
      windowMax_.pushAll(sc.delayed.data() + from, sc.windowMax.data() + from, count);
    } else {
      const int first = (reductionWrite - offset - span + 1) & kMask;  // oldest entry of the first frame's window
      const int length = count + span - 1;
      const int head = std::min(length, kRingSize - first);
      float* line = sc.window.data();
      std::memcpy(line, reductionRing + first, static_cast<size_t>(head) * sizeof(float));
      std::memcpy(line + head, reductionRing, static_cast<size_t>(length - head) * sizeof(float));
      // After the pass for `reach`, line[i] is the maximum of the 2 * reach entries from i. The
      // passes run forwards in place: a group reads only entries that no earlier group rewrote.
      // Two overlapping spans of the last reach then cover a window; the reductions are never
      // negative zero or NaN, so the maximum does not depend on the order it is taken in.
      int reach = 1;
      for (; 2 * reach <= span; reach *= 2) {
        const int valid = length - 2 * reach + 1;  // entries whose 2 * reach are all in the line
        for (int f = 0; f < valid; f += kWidth<V>) storeV(line + f, maxV(loadV<V>(line + f), loadV<V>(line + f + reach)));
      }
      for (int f = 0; f < count; f += kWidth<V>)
        storeV(sc.windowMax.data() + from + f, maxV(loadV<V>(line + f), loadV<V>(line + f + span - reach)));
    }
  } else if (delay > 0) {
    const int back = delay - attack_;
    for (int i = from; i < to; ++i) {
      const float drive = driveAt(i);
      const float target = targetAt(i);
      const float now = kStereo ? std::max(std::fabs(x0[i]), std::fabs(x1[i])) : std::fabs(x0[i]);
      sc.reduction[static_cast<size_t>(i)] = reductionFor(now, drive, target);
      const int ahead = (write + i - back) & kMask;
      const float then = kStereo ? std::max(std::fabs(ring0[ahead]), std::fabs(ring1[ahead])) : std::fabs(ring0[ahead]);
      sc.delayed[static_cast<size_t>(i)] = reductionFor(then, drive, target);
    }
  } else {
    for (int i = from; i < to; ++i) {
      const float now = kStereo ? std::max(std::fabs(x0[i]), std::fabs(x1[i])) : std::fabs(x0[i]);
      sc.reduction[static_cast<size_t>(i)] = reductionFor(now, driveAt(i), targetAt(i));
    }
  }

  // The gain computer, frame by frame.
  FadeState fade = fade_;
  GainState g = gain_;
  const float fadeStep = fadeStep_;
  int stop = to;
  int fillingFrames = 0;
  for (int i = from; i < to; ++i) {
    if (!resumed || i != from) {
      if (reconfigurePending_) {
        fade.gain -= fadeStep;
        if (fade.gain <= 0.0f) {
          fade.gain = 0.0f;
          stop = i;
          break;
        }
      } else if (fade.fadeInCountdown > 0) {
        --fade.fadeInCountdown;
      } else if (fade.gain < 1.0f) {
        fade.gain = std::min(1.0f, fade.gain + fadeStep);
      }
    }
    sc.fadeGain[static_cast<size_t>(i)] = fade.gain;
    if (fade.fillCountdown > 0) {
      --fade.fillCountdown;
      ++fillingFrames;
    }

    const float r = sc.reduction[static_cast<size_t>(i)];
    float reductionDb;
    if (delay == 0) {
      excessEnvelope(g, r);
      if (r >= g.peakStage) {
        g.peakStage = r;
        g.peakHoldCountdown = peakHoldSamples_;
      } else if (g.peakHoldCountdown > 0) {
        --g.peakHoldCountdown;
      } else {
        g.peakStage = r + (g.peakStage - r) * peakReleaseCoeff_;
        if (g.peakStage < kFloor) g.peakStage = 0.0f;
      }
      reductionDb = std::max(g.peakStage, g.excess2);
    } else {
      const float windowMaxDb =
          truePeak ? sc.windowMax[static_cast<size_t>(i)] : windowMax_.push(sc.delayed[static_cast<size_t>(i)]);
      if (windowMaxDb >= g.windowHeld) {
        g.windowHeld = windowMaxDb;
        g.windowHoldCountdown = windowHoldSamples_;
      } else if (g.windowHoldCountdown > 0) {
        --g.windowHoldCountdown;
      } else {
        g.windowHeld = windowMaxDb + (g.windowHeld - windowMaxDb) * windowReleaseCoeff_;
        if (g.windowHeld < kFloor) g.windowHeld = 0.0f;
      }
      const float averageDb = average_.push(g.windowHeld);
      excessEnvelope(g, r);
      reductionDb = std::max(averageDb, g.excess2);
    }
    g.reductionDb = reductionDb;
    sc.reduction[static_cast<size_t>(i)] = reductionDb;
  }
  fade_ = fade;
  gain_ = g;
  if (truePeak) {
    reductionWrite_ = (reductionWrite + (stop - from)) & kMask;
    for (int c = 0; c < channels; ++c) inputLast_[static_cast<size_t>(c)] = sc.lastInput[static_cast<size_t>(c)][static_cast<size_t>(stop - from)];
  }

  // Output samples. Frames still filling the delay come first in the range.
  float reportedReduction = reportedReductionDb_;
  float reportedPeak = reportedOutputPeak_;
  const int pushed = outputPushed_;
  double* out0 = block.out0 + start;
  double* out1 = kStereo ? block.out1 + start : nullptr;
  double* dry0 = block.dry0 != nullptr ? block.dry0 + start : nullptr;
  double* dry1 = block.dry1 != nullptr ? block.dry1 + start : nullptr;
  float* history0 = outputLine_[0].data() + kTaps + pushed;
  float* history1 = outputLine_[1].data() + kTaps + pushed;
  const int filledFrom = from + fillingFrames;
  float cachedReductionDb = 0.0f;
  float cachedReductionGain = 1.0f;
  for (int i = from; i < stop; ++i) {
    const int now = (write + i) & kMask;
    const float s0 = ring0[(now - delay) & kMask];
    const float s1 = kStereo ? ring1[(now - delay) & kMask] : 0.0f;
    const float fadeGain = sc.fadeGain[static_cast<size_t>(i)];
    if (dry0 != nullptr) dry0[i] = s0 * fadeGain;
    if (kStereo && dry1 != nullptr) dry1[i] = s1 * fadeGain;
    float y0;
    float y1 = 0.0f;
    if (i < filledFrom) {
      y0 = s0 * fadeGain;
      if constexpr (kStereo) y1 = s1 * fadeGain;
    } else {
      const float reductionDb = sc.reduction[static_cast<size_t>(i)];
      // The reduction often stays put for many frames (holds, plateaus): reuse its gain.
      if (reductionDb != cachedReductionDb) {
        cachedReductionDb = reductionDb;
        cachedReductionGain = reductionDb > 0.0f ? std::exp(reductionDb * kNegDbToLn) : 1.0f;
      }
      const float ceiling = ceilingAt(i);
      const float gain = cachedReductionGain * driveAt(i);
      y0 = std::clamp(s0 * gain * fadeGain, -ceiling, ceiling);
      float magnitude = std::fabs(s0 * gain * fadeGain);
      if constexpr (kStereo) {
        y1 = std::clamp(s1 * gain * fadeGain, -ceiling, ceiling);
        magnitude = std::max(magnitude, std::fabs(s1 * gain * fadeGain));
      }
      float overshootDb = 0.0f;
      if (delay == 0 && magnitude > ceiling) overshootDb = kDbPerLog2 * std::log2(magnitude / ceiling);
      reportedReduction = std::max(reportedReduction, reductionDb + overshootDb);
      const float clipped = kStereo ? std::max(std::fabs(y0), std::fabs(y1)) : std::fabs(y0);
      reportedPeak = std::max(reportedPeak, clipped);
    }
    out0[i] = y0;
    if constexpr (kStereo) out1[i] = y1;
    if (truePeak) {
      history0[i - from] = y0;
      if constexpr (kStereo) history1[i - from] = y1;
    }
  }

  // The output's true peak over the frames past the refill, all at once.
  if (truePeak) {
    outputPushed_ = pushed + (stop - from);
    if (metering_ && stop > filledFrom) {
      const float* lines[kMaxChannels] = {outputLine_[0].data() + pushed + (filledFrom - from),
                                          outputLine_[1].data() + pushed + (filledFrom - from)};
      float* lastValues[kMaxChannels] = {sc.lastOutput[0].data(), sc.lastOutput[1].data()};
      sc.lastOutput[0][0] = outputLast_[0];
      sc.lastOutput[1][0] = outputLast_[1];
      const int metered = stop - filledFrom;
      segmentPeaks<V>(lines, channels, metered, tapLanes_[0][0].data(), lastValues, sc.meter.data());
      for (int c = 0; c < channels; ++c) outputLast_[static_cast<size_t>(c)] = sc.lastOutput[static_cast<size_t>(c)][static_cast<size_t>(metered)];
      for (int i = 0; i < metered; ++i) reportedPeak = std::max(reportedPeak, sc.meter[static_cast<size_t>(i)]);
    }
  }
  reportedReductionDb_ = reportedReduction;
  reportedOutputPeak_ = reportedPeak;
  return stop;
}

__attribute__((target("avx2"))) void Limiter::limitAvx2(const Block& block) noexcept {
  for (int start = 0; start < block.frames; start += kChunk) {
    if (block.channels == 2) limitChunk<Float8, true>(block, start, std::min(kChunk, block.frames - start));
    else limitChunk<Float8, false>(block, start, std::min(kChunk, block.frames - start));
  }
}

void Limiter::limitBaseline(const Block& block) noexcept {
  for (int start = 0; start < block.frames; start += kChunk) {
    if (block.channels == 2) limitChunk<Float4, true>(block, start, std::min(kChunk, block.frames - start));
    else limitChunk<Float4, false>(block, start, std::min(kChunk, block.frames - start));
  }
}

template void Limiter::run<true>(const double* const*, double* const*, int, int, double* const*) noexcept;
template void Limiter::run<false>(const double* const*, double* const*, int, int, double* const*) noexcept;

}  // namespace quillfen::dsp
