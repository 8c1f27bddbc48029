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
// -ln(10)/20: 10^(-x/20) == exp(x * kNegDbToLn).
constexpr float kNegDbToLn = -0.115129254649702f;

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

using Float8 = float __attribute__((vector_size(32)));
using Float4 = float __attribute__((vector_size(16)));

[[gnu::always_inline]] inline float horizontalSum(const Float8& v) noexcept {
  Float4 lo;
  Float4 hi;
  std::memcpy(&lo, &v, sizeof lo);
  std::memcpy(&hi, reinterpret_cast<const char*>(&v) + sizeof lo, sizeof hi);
  const Float4 s = lo + hi;
  return (s[0] + s[2]) + (s[1] + s[3]);
}

// The three 32-tap dot products of each channel's window. Lane-wise vector arithmetic gives the
// same result in every clone; only the instruction width differs.
__attribute__((target_clones("avx2", "default"))) void interpolateSegments(const float* const* windows, int channels,
                                                                             const float* taps,
                                                                             float (*values)[3]) noexcept {
  for (int c = 0; c < channels; ++c) {
    const float* x = windows[c];
    Float8 a0 = {};
    Float8 a1 = {};
    Float8 a2 = {};
    for (int k = 0; k < Limiter::kTaps; k += 8) {
      Float8 xv;
      Float8 t0;
      Float8 t1;
      Float8 t2;
      std::memcpy(&xv, x + k, sizeof xv);
      std::memcpy(&t0, taps + k, sizeof t0);
      std::memcpy(&t1, taps + Limiter::kTaps + k, sizeof t1);
      std::memcpy(&t2, taps + 2 * Limiter::kTaps + k, sizeof t2);
      a0 += xv * t0;
      a1 += xv * t1;
      a2 += xv * t2;
    }
    values[c][0] = horizontalSum(a0);
    values[c][1] = horizontalSum(a1);
    values[c][2] = horizontalSum(a2);
  }
}

}  // namespace

Limiter::Limiter() { prepare(48000.0); }

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
  designInterpolator();
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

void Limiter::clearAll() noexcept {
  for (auto& r : ring_) r.fill(0.0f);
  write_ = 0;
  for (auto& h : inputHistory_) h.clear();
  for (auto& h : outputHistory_) h.clear();
  inputLast_.fill(0.0f);
  outputLast_.fill(0.0f);
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
    // The true-peak segment lies 16 frames behind the newest input; the offset and window
    // centre the reduction ramp on the delayed sample with 16 frames to spare on each side.
    reductionOffset_ = std::max(0, delay_ - attack_ - kTaps);
    maxLength = delay_ - reductionOffset_ + 1;
    averageLength = std::max(1, delay_ - reductionOffset_ - (kTaps - 1));
  }
  windowMax_.reset(maxLength);
  average_.reset(averageLength);
}

void Limiter::sanitizedLevels(double& thresholdDb, double& ceilingDb) const noexcept {
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
  for (int k = 0; k < 3; ++k) {
    const std::array<double, kTaps> h = solveInterpolator(0.25 * (k + 1));
    double sum = 0.0;
    for (double v : h) sum += v;
    for (int j = 0; j < kTaps; ++j) {
      taps_[static_cast<size_t>(k)][static_cast<size_t>(j)] = static_cast<float>(h[static_cast<size_t>(kTaps - 1 - j)] / sum);
    }
  }
}

std::array<double, Limiter::kTaps> Limiter::solveInterpolator(double position) {
  constexpr int N = kTaps;
  const double wc = 0.875 * std::numbers::pi;
  auto kernel = [wc](double d) { return d == 0.0 ? wc : std::sin(d * wc) / d; };
  double m[N][N];
  double b[N];
  for (int i = 0; i < N; ++i) {
    for (int j = 0; j < N; ++j) m[i][j] = kernel(static_cast<double>(i - j));
    b[i] = kernel(i - 16 + position);
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
  const float* windows[kMaxChannels] = {history[0].window(), history[1].window()};
  float v[kMaxChannels][3];
  interpolateSegments(windows, channels, taps_[0].data(), v);
  float peak = 0.0f;
  for (int c = 0; c < channels; ++c) {
    const float* x = windows[c];
    const float seq[6] = {last[static_cast<size_t>(c)], x[15], v[c][0], v[c][1], v[c][2], x[16]};
    for (int k = 1; k <= 4; ++k) {
      const float l = seq[k - 1];
      const float y = seq[k];
      const float r = seq[k + 1];
      peak = std::max(peak, std::fabs(y));
      const bool extremum = (y > 0.0f && y >= l && y >= r) || (y < 0.0f && y <= l && y <= r);
      const float curvature = l - 2.0f * y + r;
      if (extremum && curvature != 0.0f) {
        const float d = l - r;
        peak = std::max(peak, std::fabs(y - d * d / (8.0f * curvature)));
      }
    }
    last[static_cast<size_t>(c)] = v[c][2];
  }
  return peak;
}

float Limiter::excessEnvelope(GainState& g, float r) const noexcept {
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
  double wantThresholdDb = 0.0;
  double wantCeilingDb = 0.0;
  sanitizedLevels(wantThresholdDb, wantCeilingDb);

  const double* in0 = in[0];
  const double* in1 = stereo ? in[1] : nullptr;
  double* out0 = out[0];
  double* out1 = stereo ? out[1] : nullptr;
  double* dry0 = dryOut != nullptr ? dryOut[0] : nullptr;
  double* dry1 = (dryOut != nullptr && stereo) ? dryOut[1] : nullptr;
  float* ring0 = ring_[0].data();
  float* ring1 = ring_[1].data();

  int write = write_;
  FadeState fade = fade_;
  GainState g = gain_;
  float reportedReduction = reportedReductionDb_;
  float reportedPeak = reportedOutputPeak_;
  int delay = delay_;
  bool truePeak = truePeakApplied_;
  const float fadeStep = fadeStep_;

  for (int i = 0; i < n; ++i) {
    if (thresholdDb_ != wantThresholdDb || ceilingDb_ != wantCeilingDb) glideLevels(wantThresholdDb, wantCeilingDb);

    if (reconfigurePending_) {
      fade.gain -= fadeStep;
      if (fade.gain <= 0.0f) {
        fade.gain = 0.0f;
        reconfigurePending_ = false;
        applySettings();
        delay = delay_;
        truePeak = truePeakApplied_;
        g = GainState{};
        reportedReduction = 0.0f;
        reportedPeak = 0.0f;
        fade.fadeInCountdown = fade.fillCountdown = delay;
      }
    } else if (fade.fadeInCountdown > 0) {
      --fade.fadeInCountdown;
    } else if (fade.gain < 1.0f) {
      fade.gain = std::min(1.0f, fade.gain + fadeStep);
    }

    const float x0 = finiteOrZero(in0[i]);
    const float x1 = stereo ? finiteOrZero(in1[i]) : 0.0f;
    ring0[write] = x0;
    ring1[write] = x1;
    inputHistory_[0].push(x0);
    inputHistory_[1].push(x1);
    const bool filling = fade.fillCountdown > 0;
    if (filling) --fade.fillCountdown;

    const int now = write;
    write = (write + 1) & kMask;
    const float s0 = ring0[(now - delay) & kMask];
    const float s1 = ring1[(now - delay) & kMask];
    const float fadeGain = fade.gain;

    if constexpr (!Active) {
      const float y0 = s0 * fadeGain;
      const float y1 = s1 * fadeGain;
      out0[i] = y0;
      if (dry0 != nullptr) dry0[i] = y0;
      if (stereo) {
        out1[i] = y1;
        if (dry1 != nullptr) dry1[i] = y1;
      }
      reportedPeak = std::max(reportedPeak, std::max(std::fabs(y0), std::fabs(y1)));
    } else {
      const float drive = drive_;
      const float target = target_;
      auto reductionFor = [drive, target](float peak) noexcept {
        const float level = peak * drive;
        // The cap keeps absurd but finite inputs from pushing infinities into the running sums.
        return level > target ? std::min(20.0f * std::log10(level / target), kMaxReductionDb) : 0.0f;
      };

      float reductionDb = 0.0f;
      if (delay == 0) {
        const float r = reductionFor(std::max(std::fabs(x0), std::fabs(x1)));
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
        float r;
        float delayedR;
        if (truePeak) {
          r = reductionFor(waveformPeak(inputHistory_, channels, inputLast_));
          reductionRing_[static_cast<size_t>(reductionWrite_)] = r;
          delayedR = reductionRing_[static_cast<size_t>((reductionWrite_ - reductionOffset_) & kMask)];
          reductionWrite_ = (reductionWrite_ + 1) & kMask;
        } else {
          r = reductionFor(std::max(std::fabs(x0), std::fabs(x1)));
          const int ahead = (now - (delay - attack_)) & kMask;
          delayedR = reductionFor(std::max(std::fabs(ring0[ahead]), std::fabs(ring1[ahead])));
        }
        const float windowMaxDb = windowMax_.push(delayedR);
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

      if (dry0 != nullptr) dry0[i] = s0 * fadeGain;
      if (dry1 != nullptr) dry1[i] = s1 * fadeGain;
      float y0;
      float y1;
      if (filling) {
        y0 = s0 * fadeGain;
        y1 = s1 * fadeGain;
      } else {
        const float gain = (reductionDb > 0.0f ? std::exp(reductionDb * kNegDbToLn) : 1.0f) * drive;
        y0 = s0 * gain * fadeGain;
        y1 = s1 * gain * fadeGain;
        const float ceiling = ceilingLin_;
        float overshootDb = 0.0f;
        if (delay == 0) {
          const float m = std::max(std::fabs(y0), std::fabs(y1));
          if (m > ceiling) overshootDb = 20.0f * std::log10(m / ceiling);
        }
        y0 = std::clamp(y0, -ceiling, ceiling);
        y1 = std::clamp(y1, -ceiling, ceiling);
        reportedReduction = std::max(reportedReduction, reductionDb + overshootDb);
        reportedPeak = std::max(reportedPeak, std::max(std::fabs(y0), std::fabs(y1)));
      }
      out0[i] = y0;
      if (stereo) out1[i] = y1;
      if (truePeak) {
        outputHistory_[0].push(y0);
        outputHistory_[1].push(y1);
        if (metering_ && !filling) {
          reportedPeak = std::max(reportedPeak, waveformPeak(outputHistory_, channels, outputLast_));
        }
      }
    }
  }

  write_ = write;
  fade_ = fade;
  gain_ = g;
  reportedReductionDb_ = reportedReduction;
  reportedOutputPeak_ = reportedPeak;
}

template void Limiter::run<true>(const double* const*, double* const*, int, int, double* const*) noexcept;
template void Limiter::run<false>(const double* const*, double* const*, int, int, double* const*) noexcept;

}  // namespace quillfen::dsp
