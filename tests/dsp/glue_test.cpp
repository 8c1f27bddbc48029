// Glue compressor: voicing tables, detectors and gain, fades and idle, width, mono, robustness,
// and agreement with a plain scalar model of the same algorithm.
#include "dsp/glue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/crossover3.h"
#include "tests/support/realtime_tripwire.h"
#include "tests/support/signals.h"

namespace {

using plumbrook::dsp::BiquadSection;
using plumbrook::dsp::Crossover3;
using plumbrook::dsp::Glue;
using plumbrook::dsp::glueTableAt;
using plumbrook::dsp::kGlueVoicing;

constexpr double kRate = 48000.0;

double dbToGain(double db) { return std::pow(10.0, db / 20.0); }

// ---------------------------------------------------------------------------------------------
// Plain scalar model: every step written out the obvious way (pow, log10, one band at a time),
// to hold the optimised stage to the same results.
class ReferenceGlue {
 public:
  bool widthActive = true;

  void prepare(double sr, int ch) {
    sr_ = sr;
    ch_ = std::clamp(ch, 1, 2);
    amountCoef_ = 1.0 - std::exp(-1.0 / (0.02 * sr));
    smoothCoef_ = 1.0 - std::exp(-1.0 / (0.005 * sr));
    fadeStep_ = 1.0 / (0.01 * sr);
    const auto coef = [sr](double ms) { return ms > 0 ? 1.0 - std::exp(-1.0 / (ms * 0.001 * sr)) : 1.0; };
    for (int b = 0; b < 3; ++b) {
      const auto& v = kGlueVoicing.bands[b];
      Band& d = band_[b];
      d.rmsCoef = coef(v.rmsMs);
      d.riseCoef = coef(v.riseMs);
      d.fallCoef = coef(v.fallMs);
      d.attackCoef = coef(v.attackMs);
      d.releaseCoef = coef(v.releaseMs);
      d.holdFactor = std::pow(10.0, -v.holdDecay / 20.0 / sr);
      d.shelf = BiquadSection{};
      if (v.shelfHz > 0 && v.shelfDb != 0) {
        const double A = std::pow(10.0, v.shelfDb / 40.0);
        const double w = 2 * std::numbers::pi * std::min(0.49 * sr, v.shelfHz) / sr;
        const double al = std::sin(w) / std::sqrt(2.0), c = std::cos(w), q = 2 * std::sqrt(A) * al;
        const double a0 = (A + 1) - (A - 1) * c + q;
        d.shelf = {A * ((A + 1) + (A - 1) * c + q) / a0, -2 * A * ((A - 1) + (A + 1) * c) / a0,
                   A * ((A + 1) + (A - 1) * c - q) / a0, 2 * ((A - 1) - (A + 1) * c) / a0,
                   ((A + 1) - (A - 1) * c - q) / a0};
      }
      const double a = v.satCubic, bq = v.satQuintic;
      d.clip = std::sqrt((3 * a - std::sqrt(9 * a * a - 20 * bq)) / (10 * bq));
      if (v.satLimit > 0) d.clip = std::min(d.clip, v.satLimit);
    }
    for (auto& x : xo_) x.prepare(sr, kGlueVoicing.crossoverLow, kGlueVoicing.crossoverHigh);
    reset();
  }

  void setAmount(double a) {
    amount_ = std::clamp(a, 0.0, 200.0);
    if (fresh_) reset();
  }

  void process(double* const* io, int n) {
    fresh_ = false;
    if (idle_) {
      if (amount_ <= 0) return;
      clear();
      smoothed_ = 0;
      tick_ = 0;
      mix_ = 0;
      idle_ = false;
    }
    for (int i = 0; i < n; ++i) {
      if (tick_ == 0) tables();
      tick_ = (tick_ + 1) % 32;
      smoothed_ += (amount_ - smoothed_) * amountCoef_;
      if (amount_ <= 0 && smoothed_ < 0.05) {
        mix_ = std::max(0.0, mix_ - fadeStep_);
        if (mix_ == 0) {
          idle_ = true;
          return;
        }
      } else {
        mix_ = std::min(1.0, mix_ + fadeStep_);
      }
      double split[2][3] = {};
      for (int c = 0; c < ch_; ++c) {
        const auto s = xo_[c].process(io[c][i]);
        split[c][0] = s.low;
        split[c][1] = s.mid;
        split[c][2] = s.high;
      }
      if (ch_ == 1)
        for (int b = 0; b < 3; ++b) split[1][b] = split[0][b];
      double sum[2] = {0, 0};
      for (int b = 0; b < 3; ++b) {
        Band& d = band_[b];
        const auto& v = kGlueVoicing.bands[b];
        d.makeup += (d.makeupT - d.makeup) * smoothCoef_;
        d.mix += (d.mixT - d.mix) * smoothCoef_;
        d.side += (d.sideT - d.side) * smoothCoef_;
        double det = (split[0][b] + split[1][b]) / 2;
        det = d.shelf.process(det);
        double level;
        if (v.rmsMs > 0) {
          d.env += (det * det - d.env) * d.rmsCoef;
          if (v.riseMs > 0) {
            d.env2 += (d.env - d.env2) * (d.env > d.env2 ? d.riseCoef : d.fallCoef);
            level = std::sqrt(2 * d.env2);
          } else {
            level = std::sqrt(2 * d.env);
          }
        } else {
          level = std::abs(det);
        }
        if (v.holdDecay > 0) {
          level = std::max(level, d.held * d.holdFactor);
          d.held = level;
        }
        const double o = 20 * std::log10(level + 1e-30) - d.threshold;
        const double k = d.knee;
        const double over = k <= 0 ? std::max(0.0, o)
                            : 2 * o < -k ? 0.0
                            : 2 * o > k  ? o
                                         : (o + k / 2) * (o + k / 2) / (2 * k);
        const double target = -d.slope * over;
        d.gainDb += (target - d.gainDb) * (d.gainDb > target ? d.attackCoef : d.releaseCoef);
        const double drive = d.makeup * std::pow(10.0, d.gainDb / 20);
        double y[2];
        for (int c = 0; c < 2; ++c) {
          const double u = split[c][b] * drive;
          const double x = std::clamp(u, -d.clip, d.clip);
          const double sat = (v.satQuintic * std::pow(x, 4) + 1 - v.satCubic * x * x) * x;
          y[c] = u + (sat - u) * d.mix;
        }
        if (ch_ == 2) {
          const double m = (y[0] + y[1]) / 2, sd = d.side * (y[0] - y[1]) / 2;
          sum[0] += m + sd;
          sum[1] += m - sd;
        } else {
          sum[0] += y[0];
        }
      }
      for (int c = 0; c < ch_; ++c) io[c][i] = io[c][i] + (sum[c] - io[c][i]) * mix_;
    }
  }

  double gainDb(int b) const { return band_[b].gainDb; }
  bool idle() const { return idle_; }

 private:
  struct Band {
    double rmsCoef, riseCoef, fallCoef, attackCoef, releaseCoef, holdFactor, clip;
    BiquadSection shelf;
    double env = 0, env2 = 0, held = 0, gainDb = 0, slope = 0, threshold = 0, knee = 0;
    double makeup = 1, makeupT = 1, mix = 0, mixT = 0, side = 1, sideT = 1;
  };

  void clear() {
    for (auto& x : xo_) x.clear();
    for (Band& d : band_) {
      d.shelf.clear();
      d.env = d.env2 = d.held = d.gainDb = 0;
    }
  }
  void tables() {
    for (int b = 0; b < 3; ++b) {
      Band& d = band_[b];
      d.slope = glueTableAt(kGlueVoicing.slope[b], smoothed_);
      d.threshold = glueTableAt(kGlueVoicing.threshold[b], smoothed_);
      d.knee = glueTableAt(kGlueVoicing.knee[b], smoothed_);
      d.makeupT = dbToGain(glueTableAt(kGlueVoicing.makeup[b], smoothed_));
      d.mixT = glueTableAt(kGlueVoicing.saturationMix[b], smoothed_);
      d.sideT = widthActive ? dbToGain(glueTableAt(kGlueVoicing.sideLift[b], smoothed_)) : 1.0;
    }
  }
  void reset() {
    clear();
    smoothed_ = amount_;
    tick_ = 0;
    tables();
    for (Band& d : band_) {
      d.makeup = d.makeupT;
      d.mix = d.mixT;
      d.side = d.sideT;
    }
    idle_ = amount_ <= 0;
    mix_ = idle_ ? 0 : 1;
    fresh_ = true;
  }

  double sr_ = 0, amountCoef_ = 0, smoothCoef_ = 0, fadeStep_ = 0;
  int ch_ = 2, tick_ = 0;
  double amount_ = 100, smoothed_ = 100, mix_ = 1;
  bool idle_ = false, fresh_ = true;
  Band band_[3];
  Crossover3 xo_[2];
};

// ---------------------------------------------------------------------------------------------
// Helpers.

struct Stereo {
  std::vector<double> left, right;
};

// Loud, partly correlated pink noise with a level swing: it drives every band into compression.
Stereo programme(uint32_t seed, int frames, double peak = 0.9) {
  std::vector<double> common = plumbrook::test::pinkNoise(seed, frames, 1.0);
  std::vector<double> l = plumbrook::test::pinkNoise(seed + 1, frames, 1.0);
  std::vector<double> r = plumbrook::test::pinkNoise(seed + 2, frames, 1.0);
  Stereo s{std::vector<double>(frames), std::vector<double>(frames)};
  for (int i = 0; i < frames; ++i) {
    const double swing = 0.55 + 0.45 * std::sin(2 * std::numbers::pi * 2.3 * i / kRate);
    s.left[i] = peak * swing * (0.7 * common[i] + 0.3 * l[i]);
    s.right[i] = peak * swing * (0.7 * common[i] + 0.3 * r[i]);
  }
  return s;
}

// Runs a stage over a whole signal in blocks of the given size, setting the amount per block.
template <typename Stage>
void runBlocks(Stage& g, Stereo& s, int block, double amount, int channels = 2) {
  const int frames = static_cast<int>(s.left.size());
  for (int pos = 0; pos < frames; pos += block) {
    double* io[2] = {s.left.data() + pos, s.right.data() + pos};
    g.setAmount(amount);
    g.process(io, std::min(block, frames - pos));
    (void)channels;
  }
}

Glue& preparedGlue(Glue& g, double amount, int channels = 2, bool width = true) {
  g.widthActive = width;
  g.prepare(kRate, channels);
  g.setAmount(amount);
  return g;
}

// ---------------------------------------------------------------------------------------------
// Voicing tables.

TEST(glue_tables, amount_100_reads_entry_8) {
  Glue g;
  preparedGlue(g, 100.0);
  EXPECT_EQ(g.threshold(1), -27.0);
  EXPECT_EQ(g.knee(1), 28.0);
  EXPECT_EQ(g.slope(1), 0.207174);
  EXPECT_DOUBLE_EQ(g.makeupTarget(1), dbToGain(3.576147));
  for (int b = 0; b < 3; ++b) EXPECT_EQ(g.mixTarget(b), 1.0) << b;
  EXPECT_DOUBLE_EQ(g.sideTarget(1), dbToGain(0.02096));
  EXPECT_DOUBLE_EQ(g.sideTarget(2), dbToGain(3.022861));
  EXPECT_DOUBLE_EQ(g.sideLiftDb(2), 3.022861);
  EXPECT_EQ(g.threshold(0), -7.5);
  EXPECT_EQ(g.knee(0), 40.0);
  EXPECT_EQ(g.threshold(2), -17.0);
  EXPECT_EQ(g.knee(2), 0.0);
  // Applied at once after preparing: the glided values already sit on their targets.
  EXPECT_EQ(g.makeup(1), g.makeupTarget(1));
  EXPECT_EQ(g.side(2), g.sideTarget(2));
  EXPECT_EQ(g.amountSmoothed(), 100.0);
}

TEST(glue_tables, amount_0_and_200_read_the_end_entries_exactly) {
  Glue g;
  preparedGlue(g, 0.0);
  for (int b = 0; b < 3; ++b) {
    EXPECT_EQ(g.slope(b), 0.0);
    EXPECT_EQ(g.makeupTarget(b), 1.0);
    EXPECT_EQ(g.mixTarget(b), 0.0);
    EXPECT_EQ(g.sideTarget(b), 1.0);
  }
  Glue h;
  preparedGlue(h, 200.0);
  EXPECT_EQ(h.threshold(1), -22.0);
  EXPECT_EQ(h.knee(1), 36.0);
  EXPECT_EQ(h.slope(0), 0.326405);
  EXPECT_EQ(h.slope(1), 0.440542);
  EXPECT_EQ(h.slope(2), 0.674336);
  EXPECT_EQ(h.mixTarget(0), 0.995655);
  EXPECT_EQ(h.mixTarget(1), 1.002035);
  EXPECT_EQ(h.mixTarget(2), 0.970914);
  EXPECT_DOUBLE_EQ(h.makeupTarget(2), dbToGain(2.997981));
  EXPECT_DOUBLE_EQ(h.sideTarget(1), dbToGain(5.229869));
  EXPECT_EQ(glueTableAt(kGlueVoicing.sideLift[2], 200.0), 7.806272);
}

TEST(glue_tables, amounts_are_clamped_interpolated_and_nan_is_ignored) {
  Glue g;
  preparedGlue(g, 250.0);
  EXPECT_EQ(g.amount(), 200.0);
  g.setAmount(-3.0);
  EXPECT_EQ(g.amount(), 0.0);
  g.setAmount(6.25);  // halfway between entries 0 and 1
  EXPECT_DOUBLE_EQ(g.slope(1), 0.026607 / 2);
  EXPECT_DOUBLE_EQ(g.threshold(1), -31.0);
  g.setAmount(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(g.amount(), 6.25);
  EXPECT_DOUBLE_EQ(glueTableAt(kGlueVoicing.knee[1], 131.25), 29.0);  // between 28 and 30
  EXPECT_EQ(glueTableAt(kGlueVoicing.knee[1], -1.0), 19.0);
  EXPECT_EQ(glueTableAt(kGlueVoicing.knee[1], std::numeric_limits<double>::quiet_NaN()), 19.0);
}

TEST(glue_tables, width_off_means_unit_side_gain_at_every_amount) {
  for (double amount : {0.0, 50.0, 100.0, 175.0, 200.0}) {
    Glue g;
    preparedGlue(g, amount, 2, false);
    for (int b = 0; b < 3; ++b) {
      EXPECT_EQ(g.sideTarget(b), 1.0);
      EXPECT_EQ(g.side(b), 1.0);
      EXPECT_EQ(g.sideLiftDb(b), 0.0);
    }
  }
}

TEST(glue_tables, clip_points_sit_on_the_saturators_first_flat_spot) {
  Glue g;
  g.prepare(kRate, 2);
  EXPECT_EQ(g.clipPoint(0), 0.90251);  // the limit is below the stationary point
  EXPECT_NEAR(g.clipPoint(1), 1.038877, 1e-6);
  EXPECT_NEAR(g.clipPoint(2), 1.006517, 1e-6);
  for (int b = 1; b < 3; ++b) {
    const double a = kGlueVoicing.bands[b].satCubic, q = kGlueVoicing.bands[b].satQuintic;
    const double x = g.clipPoint(b);
    EXPECT_NEAR(1 - 3 * a * x * x + 5 * q * std::pow(x, 4), 0.0, 1e-12) << b;
    // And it is the first one: the slope is positive just below.
    const double y = 0.99 * x;
    EXPECT_GT(1 - 3 * a * y * y + 5 * q * std::pow(y, 4), 0.0) << b;
  }
}

// ---------------------------------------------------------------------------------------------
// Behaviour against the scalar model.

struct ModelCase {
  int channels;
  bool width;
  int block;
};

void PrintTo(const ModelCase& c, std::ostream* os) {
  *os << c.channels << " ch, width " << (c.width ? "on" : "off") << ", blocks of " << c.block;
}

class GlueAgainstModel : public ::testing::TestWithParam<ModelCase> {};

TEST_P(GlueAgainstModel, matches_the_scalar_model_through_amount_changes_and_idle) {
  const ModelCase c = GetParam();
  const uint32_t seed = 20261208u + static_cast<uint32_t>(c.channels * 10 + c.block);
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  const int frames = static_cast<int>(kRate * 1.5);
  Stereo a = programme(seed, frames);
  if (c.channels == 1) a.right = a.left;
  Stereo b = a;
  Glue g;
  ReferenceGlue ref;
  g.widthActive = ref.widthActive = c.width;
  g.prepare(kRate, c.channels);
  ref.prepare(kRate, c.channels);
  // Amount path: jump in, glide up, drop to 0 (fade to idle), come back.
  std::mt19937 rng(seed);
  for (int pos = 0, blockNo = 0; pos < frames; pos += c.block, ++blockNo) {
    const double t = static_cast<double>(pos) / frames;
    const double amount = t < 0.3 ? 60.0 + 460.0 * t : t < 0.55 ? 0.0 : t < 0.6 ? 200.0 : 130.0;
    const int n = std::min(c.block, frames - pos);
    double* ga[2] = {a.left.data() + pos, a.right.data() + pos};
    double* rb[2] = {b.left.data() + pos, b.right.data() + pos};
    if (blockNo % 37 == 36) g.widthActive = ref.widthActive = !g.widthActive;
    g.setAmount(amount);
    ref.setAmount(amount);
    g.process(ga, n);
    ref.process(rb, n);
    ASSERT_EQ(g.idle(), ref.idle()) << "frame " << pos;
    for (int band = 0; band < 3; ++band)
      if (!g.idle()) {
        ASSERT_NEAR(g.gainDb(band), ref.gainDb(band), 1e-9 * (1 + std::abs(ref.gainDb(band))));
      }
  }
  for (int i = 0; i < frames; ++i) {
    ASSERT_NEAR(a.left[i], b.left[i], 1e-9 * (1 + std::abs(b.left[i]))) << "frame " << i;
    if (c.channels == 2) {
      ASSERT_NEAR(a.right[i], b.right[i], 1e-9 * (1 + std::abs(b.right[i]))) << "frame " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(glue, GlueAgainstModel,
                         ::testing::Values(ModelCase{2, true, 256}, ModelCase{2, false, 64}, ModelCase{1, true, 256},
                                           ModelCase{2, true, 1}, ModelCase{2, true, 333}, ModelCase{1, false, 7}));

// ---------------------------------------------------------------------------------------------
// Compression.

// Steady-state level a band's detector settles to for a sine, taken from the crossover itself.
double bandPeak(double hz, double amplitude, int band) {
  Crossover3 x;
  x.prepare(kRate, 157.0, 2700.0);
  const std::vector<double> s = plumbrook::test::sine(hz, kRate, 96000, amplitude);
  double p = 0.0;
  for (int i = 0; i < 96000; ++i) {
    const auto b = x.process(s[i]);
    const double v = band == 0 ? b.low : band == 1 ? b.mid : b.high;
    if (i > 48000) p = std::max(p, std::abs(v));
  }
  return p;
}

TEST(glue_compression, loud_mid_band_is_reduced_as_its_curve_predicts_and_quiet_bands_are_not) {
  Glue g;
  preparedGlue(g, 100.0);
  Stereo s;
  s.left = plumbrook::test::sine(1000.0, kRate, 96000, 0.5);
  s.right = s.left;
  runBlocks(g, s, 256, 100.0);
  // The mean-square detector of a sine settles on its amplitude; above the knee the reduction is
  // slope x (level - threshold).
  const double levelDb = 20 * std::log10(bandPeak(1000.0, 0.5, 1));
  const double over = levelDb - (-27.0);
  ASSERT_GT(2 * over, 28.0);
  EXPECT_NEAR(g.gainDb(1), -0.207174 * over, 0.05);
  EXPECT_LT(g.gainDb(1), -3.0);
  EXPECT_EQ(g.gainDb(0), 0.0);  // 1 kHz leaks into the low band far below its knee
  EXPECT_EQ(g.gainDb(2), 0.0);  // and into the high band below its hard threshold
}

TEST(glue_compression, low_band_peak_detector_reduces_inside_its_soft_knee) {
  Glue g;
  preparedGlue(g, 100.0);
  Stereo s;
  s.left = plumbrook::test::sine(60.0, kRate, 96000, 0.5);
  s.right = s.left;
  runBlocks(g, s, 256, 100.0);
  const double o = 20 * std::log10(bandPeak(60.0, 0.5, 0)) + 7.5;
  ASSERT_LT(std::abs(2 * o), 40.0);  // inside the knee
  const double expected = -0.200953 * (o + 20) * (o + 20) / 80;
  EXPECT_NEAR(g.gainDb(0), expected, 0.02);
  EXPECT_LT(g.gainDb(0), -0.5);
}

TEST(glue_compression, high_band_detector_hears_through_its_shelf) {
  // A 15 kHz sine: the 6 kHz, +12 dB detector shelf lifts its level before the hard knee.
  const double hz = 15000.0, amplitude = 0.05;
  Glue g;
  preparedGlue(g, 100.0);
  Stereo s;
  s.left = plumbrook::test::sine(hz, kRate, 48000, amplitude);
  s.right = s.left;
  runBlocks(g, s, 256, 100.0);
  // Predicted level: the high band's share of the sine times the shelf's gain at 15 kHz.
  // Audio EQ Cookbook high shelf at 6 kHz, Q = 1/sqrt 2, evaluated at the sine's frequency.
  const double w0 = 2 * std::numbers::pi * 6000.0 / kRate;
  const double A = std::pow(10.0, 12.0 / 40.0), c = std::cos(w0), q = 2 * std::sqrt(A) * std::sin(w0) / std::sqrt(2.0);
  const std::complex<double> z = std::polar(1.0, -2 * std::numbers::pi * hz / kRate);
  const std::complex<double> num = A * ((A + 1) + (A - 1) * c + q) - 2 * A * ((A - 1) + (A + 1) * c) * z +
                                   A * ((A + 1) + (A - 1) * c - q) * z * z;
  const std::complex<double> den = ((A + 1) - (A - 1) * c + q) + 2 * ((A - 1) - (A + 1) * c) * z +
                                   ((A + 1) - (A - 1) * c - q) * z * z;
  const double shelfDb = 20 * std::log10(std::abs(num / den));
  ASSERT_GT(shelfDb, 10.0);
  const double levelDb = 20 * std::log10(bandPeak(hz, amplitude, 2)) + shelfDb;
  ASSERT_GT(levelDb, -17.0);  // over the threshold only thanks to the shelf
  ASSERT_LT(levelDb - shelfDb, -17.0);
  EXPECT_NEAR(g.gainDb(2), -0.390843 * (levelDb + 17.0), 0.1);
}

TEST(glue_compression, loud_programme_compresses_every_band_more_at_higher_amounts) {
  double previous[3] = {0, 0, 0};
  for (double amount : {50.0, 120.0, 200.0}) {
    Glue g;
    preparedGlue(g, amount);
    Stereo s = programme(99, 48000);
    double deepest[3] = {0, 0, 0};
    for (int pos = 0; pos + 256 <= 48000; pos += 256) {
      double* io[2] = {s.left.data() + pos, s.right.data() + pos};
      g.process(io, 256);
      for (int b = 0; b < 3; ++b) deepest[b] = std::min(deepest[b], g.gainDb(b));
    }
    for (int b = 0; b < 3; ++b) {
      EXPECT_LT(deepest[b], previous[b] - 0.1) << "band " << b << " amount " << amount;
      previous[b] = deepest[b];
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Output fade and idle.

TEST(glue_idle, amount_zero_fades_out_in_10_ms_then_passes_input_bit_exact) {
  Glue g;
  preparedGlue(g, 100.0);
  Stereo warm = programme(5, 24000);
  runBlocks(g, warm, 256, 100.0);
  ASSERT_LT(g.gainDb(1), 0.0);
  // One-frame blocks to watch the fade frame by frame.
  Stereo s = programme(6, 24000);
  const Stereo in = s;
  int fadeStart = -1, idleAt = -1;
  for (int i = 0; i < 24000 && idleAt < 0; ++i) {
    double* io[2] = {&s.left[i], &s.right[i]};
    g.setAmount(0.0);
    g.process(io, 1);
    if (fadeStart < 0 && g.outputMix() < 1.0) fadeStart = i;
    if (g.idle()) idleAt = i;
  }
  ASSERT_GE(fadeStart, 0);
  ASSERT_GE(idleAt, 0);
  // The smoothed amount takes 20 ms x ln(100 / 0.05) to fall below 0.05, then 480 frames of fade.
  EXPECT_NEAR(fadeStart, 0.02 * kRate * std::log(2000.0), 2.0);
  EXPECT_NEAR(idleAt - fadeStart, 480, 1);
  EXPECT_NE(s.left[idleAt - 3], in.left[idleAt - 3]);
  for (int b = 0; b < 3; ++b) EXPECT_EQ(g.gainDb(b), 0.0);
  // From the idle frame on the input passes exactly, in later blocks too.
  for (int i = idleAt; i < 24000; ++i) {
    if (i > idleAt) {
      double* io[2] = {&s.left[i], &s.right[i]};
      g.setAmount(0.0);
      g.process(io, 1);
    }
    ASSERT_EQ(s.left[i], in.left[i]) << i;
    ASSERT_EQ(s.right[i], in.right[i]) << i;
  }
  EXPECT_TRUE(g.idle());
}

TEST(glue_idle, block_in_which_the_stage_turns_idle_leaves_its_remaining_frames_untouched) {
  // Find the frame where the stage turns idle, then run the same signal as one long block.
  const Stereo in = programme(8, 16000);
  int idleAt = -1;
  {
    Glue g;
    preparedGlue(g, 100.0);
    Stereo s = in;
    for (int i = 0; i < 16000 && idleAt < 0; ++i) {
      double* io[2] = {&s.left[i], &s.right[i]};
      g.process(io, 1);
      g.setAmount(0.0);  // after the first frame, so it is a change and not the starting amount
      if (g.idle()) idleAt = i;
    }
  }
  ASSERT_GT(idleAt, 0);
  Glue g;
  preparedGlue(g, 100.0);
  Stereo s = in;
  double* io[2] = {s.left.data(), s.right.data()};
  // Leave idle's first frame in the middle of one block: start 1000 frames before it.
  const int before = idleAt - 1000;
  g.process(io, 1);
  g.setAmount(0.0);
  double* next[2] = {s.left.data() + 1, s.right.data() + 1};
  g.process(next, before - 1);
  ASSERT_FALSE(g.idle());
  double* rest[2] = {s.left.data() + before, s.right.data() + before};
  g.process(rest, 16000 - before);
  EXPECT_TRUE(g.idle());
  EXPECT_NE(s.left[idleAt - 2], in.left[idleAt - 2]);
  for (int i = idleAt; i < 16000; ++i) {
    ASSERT_EQ(s.left[i], in.left[i]) << i;
    ASSERT_EQ(s.right[i], in.right[i]) << i;
  }
}

TEST(glue_idle, leaving_idle_starts_from_cleared_state_and_fades_in) {
  // Stage A has been compressing loud material before going idle; stage B was idle from the start.
  Glue a, b;
  preparedGlue(a, 150.0);
  Stereo loud = programme(9, 24000, 1.0);
  runBlocks(a, loud, 256, 150.0);
  ASSERT_LT(a.gainDb(0), -0.3);
  Stereo quiet = programme(10, 24000, 0.001);
  runBlocks(a, quiet, 256, 0.0);
  ASSERT_TRUE(a.idle());
  preparedGlue(b, 0.0);
  ASSERT_TRUE(b.idle());
  Stereo q2 = programme(10, 256, 0.001);
  runBlocks(b, q2, 256, 0.0);

  // Both come back on the same material; one-frame blocks to watch the fade-in.
  Stereo sa = programme(11, 9600, 0.5), sb = sa;
  for (int i = 0; i < 9600; ++i) {
    double* ia[2] = {&sa.left[i], &sa.right[i]};
    double* ib[2] = {&sb.left[i], &sb.right[i]};
    a.setAmount(150.0);
    b.setAmount(150.0);
    a.process(ia, 1);
    b.process(ib, 1);
    if (i < 480) {
      ASSERT_NEAR(a.outputMix(), (i + 1) / 480.0, 1e-12) << i;
    }
    if (i == 0) {
      EXPECT_LT(a.amountSmoothed(), 150.0 * 0.01);  // glides up from 0
    }
    // The detectors saw identical input from identical cleared state.
    for (int band = 0; band < 3; ++band) ASSERT_EQ(a.gainDb(band), b.gainDb(band)) << i;
  }
  EXPECT_EQ(a.outputMix(), 1.0);
  EXPECT_NEAR(a.amountSmoothed(), 150.0, 1.0);
  for (int i = 0; i < 9600; ++i) ASSERT_NEAR(sa.left[i], sb.left[i], 1e-3) << i;
}

TEST(glue_idle, prepared_at_amount_zero_is_idle_and_a_stale_block_resets_like_preparation) {
  Glue g;
  preparedGlue(g, 0.0);
  EXPECT_TRUE(g.idle());
  EXPECT_EQ(g.outputMix(), 0.0);
  Stereo s = programme(12, 512), in = s;
  runBlocks(g, s, 256, 0.0);
  EXPECT_EQ(s.left, in.left);
  EXPECT_EQ(s.right, in.right);
  // reset() with a non-zero amount comes back at once, without glide or fade.
  g.setAmount(80.0);  // not fresh any more: this only sets the target
  EXPECT_TRUE(g.idle());
  g.reset();
  EXPECT_FALSE(g.idle());
  EXPECT_EQ(g.outputMix(), 1.0);
  EXPECT_EQ(g.amountSmoothed(), 80.0);
}

// ---------------------------------------------------------------------------------------------
// Channels and width.

TEST(glue_channels, mono_equals_the_left_channel_of_a_stereo_run_with_identical_channels) {
  // With L = R the detector input (L + R) / 2 is L and the side signal is 0, so the mid/side
  // step and the side lift change nothing: the runs agree bit for bit.
  Stereo stereo = programme(13, 24000);
  stereo.right = stereo.left;
  Stereo mono = stereo;
  Glue s, m;
  preparedGlue(s, 170.0, 2, true);
  preparedGlue(m, 170.0, 1, true);
  EXPECT_EQ(m.channels(), 1);
  runBlocks(s, stereo, 256, 170.0);
  runBlocks(m, mono, 256, 170.0);
  EXPECT_EQ(mono.left, stereo.left);
  EXPECT_EQ(stereo.left, stereo.right);
  EXPECT_EQ(mono.right, programme(13, 24000).left);  // the second buffer is not touched in mono
  for (int b = 0; b < 3; ++b) EXPECT_EQ(m.gainDb(b), s.gainDb(b));
}

TEST(glue_channels, side_lift_raises_a_pure_side_signal_only_when_width_is_on) {
  // L = -R: the detector sees silence, so only make-up and side gain shape the level.
  const auto sideLevelDb = [](bool width) {
    Glue g;
    preparedGlue(g, 100.0, 2, width);
    Stereo s;
    s.left = plumbrook::test::sine(12000.0, kRate, 24000, 0.01);
    s.right = s.left;
    for (double& v : s.right) v = -v;
    const double inRms = plumbrook::test::rms(s.left);
    runBlocks(g, s, 256, 100.0);
    EXPECT_EQ(g.gainDb(2), 0.0);
    const std::vector<double> tail(s.left.begin() + 12000, s.left.end());
    return 20 * std::log10(plumbrook::test::rms(tail) / inRms);
  };
  const double off = sideLevelDb(false), on = sideLevelDb(true);
  EXPECT_NEAR(off, 1.023082, 0.1);              // band 2 make-up only
  EXPECT_NEAR(on - off, 3.022861, 0.1);         // plus band 2 side lift
}

TEST(glue_channels, prepare_clamps_channels_and_rate_and_unprepared_stage_passes_audio) {
  Glue g;
  Stereo s = programme(14, 256), in = s;
  double* io[2] = {s.left.data(), s.right.data()};
  g.process(io, 256);
  EXPECT_EQ(s.left, in.left);
  g.prepare(-1.0, 7);
  EXPECT_EQ(g.sampleRate(), 48000.0);
  EXPECT_EQ(g.channels(), 2);
  g.prepare(std::numeric_limits<double>::infinity(), 0);
  EXPECT_EQ(g.sampleRate(), 48000.0);
  EXPECT_EQ(g.channels(), 1);
  g.process(io, 0);
  g.process(io, -5);
  g.process(static_cast<double* const*>(nullptr), 256);
  EXPECT_EQ(s.left, in.left);
  EXPECT_EQ(g.gainDb(-1), 0.0);
  EXPECT_EQ(g.gainDb(3), 0.0);
}

// ---------------------------------------------------------------------------------------------
// Robustness and real-time safety.

TEST(glue_robustness, non_finite_input_samples_count_as_silence_and_do_not_poison_the_state) {
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    Stereo poisoned = programme(15, 9600);
    Stereo clean = poisoned;
    poisoned.left[1000] = bad;
    poisoned.right[2000] = -bad;
    clean.left[1000] = 0.0;
    clean.right[2000] = 0.0;
    Glue a, b;
    preparedGlue(a, 120.0);
    preparedGlue(b, 120.0);
    runBlocks(a, poisoned, 256, 120.0);
    runBlocks(b, clean, 256, 120.0);
    EXPECT_EQ(poisoned.left, clean.left);
    EXPECT_EQ(poisoned.right, clean.right);
    for (int band = 0; band < 3; ++band) EXPECT_TRUE(std::isfinite(a.gainDb(band)));
  }
}

TEST(glue_robustness, absurdly_large_input_does_not_leave_the_stage_broken) {
  Glue g;
  preparedGlue(g, 120.0);
  Stereo s = programme(16, 4800);
  s.left[300] = 1e200;  // squares overflow inside the detector
  runBlocks(g, s, 256, 120.0);
  Stereo after = programme(17, 9600), ref = after;
  runBlocks(g, after, 256, 120.0);
  for (double v : after.left) ASSERT_TRUE(std::isfinite(v));
  for (int band = 0; band < 3; ++band) EXPECT_TRUE(std::isfinite(g.gainDb(band)));
  // It recovers into ordinary compression of the new material.
  EXPECT_LT(plumbrook::test::peak(after.left), 4.0 * plumbrook::test::peak(ref.left));
}

TEST(glue_realtime, process_allocates_locks_and_throws_nothing) {
  PLUMBROOK_REQUIRE_TRIPWIRE();
  Glue stereo, mono;
  preparedGlue(stereo, 100.0, 2);
  preparedGlue(mono, 100.0, 1);
  Stereo s = programme(18, 48000);
  plumbrook::test::RealtimeGuard guard;
  for (int pos = 0; pos + 256 <= 48000; pos += 256) {
    const double amount = pos < 16000 ? 200.0 : pos < 32000 ? 0.0 : 90.0;  // through idle and back
    double* io[2] = {s.left.data() + pos, s.right.data() + pos};
    stereo.setAmount(amount);
    stereo.widthActive = pos % 1024 == 0;
    stereo.process(io, 256);
    mono.setAmount(amount);
    mono.process(io, 256);
  }
  stereo.reset();
  const auto seen = guard.disarm();
  EXPECT_FALSE(seen.any()) << seen.allocations << " allocations, " << seen.locks << " locks, " << seen.throws
                           << " throws";
}

}  // namespace
