// Glue compressor: detectors, gain computer, saturator, side lift and the output fade.
#include "dsp/glue.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace plumbrook::dsp {

namespace {

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
  if (right != nullptr)
    run<true>(channels[0], right, n);
  else
    run<false>(channels[0], channels[0], n);
  clearIfPoisoned();
}

template <bool kStereo, typename T>
void Glue::run(T* left, T* right, int n) noexcept {
  for (int i = 0; i < n; ++i) {
    if (tickCounter_ == 0) readTables();
    tickCounter_ = (tickCounter_ + 1) & 31;
    amountSmoothed_ += (amount_ - amountSmoothed_) * amountCoef_;
    if (amount_ <= 0.0 && amountSmoothed_ < 0.05) {
      outputMix_ = std::max(0.0, outputMix_ - fadeStep_);
      if (outputMix_ <= 0.0) {
        idle_ = true;
        return;
      }
    } else {
      outputMix_ = std::min(1.0, outputMix_ + fadeStep_);
    }

    double dryL = static_cast<double>(left[i]);
    double dryR = kStereo ? static_cast<double>(right[i]) : dryL;
    if (!std::isfinite(dryL)) dryL = 0.0;
    if (!std::isfinite(dryR)) dryR = 0.0;
    const Crossover3::Bands bl = crossovers_[0].process(dryL);
    const Crossover3::Bands br = kStereo ? crossovers_[1].process(dryR) : bl;
    const double splitL[kBands] = {bl.low, bl.mid, bl.high};
    const double splitR[kBands] = {br.low, br.mid, br.high};

    double sumL = 0.0, sumR = 0.0;
    for (int b = 0; b < kBands; ++b) {
      const BandSettings& s = settings_[b];
      BandState& st = bands_[b];
      st.makeup += (st.makeupTarget - st.makeup) * smoothCoef_;
      st.mix += (st.mixTarget - st.mix) * smoothCoef_;
      st.side += (st.sideTarget - st.side) * smoothCoef_;

      const double sl = splitL[b], sr = splitR[b];
      double d = (sl + sr) / 2.0;
      if (s.shelfOn) d = shelves_[b].process(d);
      double level;
      if (s.rmsOn) {
        st.env += (d * d - st.env) * s.rmsCoef;
        if (s.riseOn) {
          st.env2 += (st.env - st.env2) * (st.env > st.env2 ? s.riseCoef : s.fallCoef);
          level = std::sqrt(2.0 * st.env2);
        } else {
          level = std::sqrt(2.0 * st.env);
        }
      } else {
        level = std::fabs(d);
      }
      if (s.holdOn) {
        level = std::max(level, st.held * s.holdFactor);
        st.held = level;
      }
      const double o = 20.0 * std::log10(level + 1e-30) - st.threshold;
      const double k = st.knee;
      double over;
      if (k <= 0.0)
        over = std::max(0.0, o);
      else if (2.0 * o < -k)
        over = 0.0;
      else if (2.0 * o > k)
        over = o;
      else
        over = (o + k / 2.0) * (o + k / 2.0) / (2.0 * k);
      const double target = -st.slope * over;
      st.gainDb += (target - st.gainDb) * (st.gainDb > target ? s.attackCoef : s.releaseCoef);

      const double drive = st.makeup * std::pow(10.0, st.gainDb / 20.0);
      const GlueBandVoicing& v = voicing_.bands[b];
      const auto saturate = [&](double x0) {
        const double u = x0 * drive;
        const double x = std::clamp(u, -s.clipPoint, s.clipPoint);
        const double x2 = x * x;
        const double sat = (v.satQuintic * x2 * x2 + 1.0 - v.satCubic * x2) * x;
        return u + (sat - u) * st.mix;
      };
      const double yl = saturate(sl);
      if (kStereo) {
        const double yr = saturate(sr);
        const double m = (yl + yr) / 2.0;
        const double sd = st.side * (yl - yr) / 2.0;
        sumL += m + sd;
        sumR += m - sd;
      } else {
        sumL += yl;
      }
    }
    left[i] = static_cast<T>(dryL + (sumL - dryL) * outputMix_);
    if (kStereo) right[i] = static_cast<T>(dryR + (sumR - dryR) * outputMix_);
  }
}

template void Glue::process<double>(double* const*, int) noexcept;

}  // namespace plumbrook::dsp
