// EQ voicing table: layout, and every voicing sounding like the 48 kHz one at and between breakpoints.
#include "dsp/eq_voicing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "dsp/eq.h"

namespace {

using plumbrook::dsp::biquadResponseDb;
using plumbrook::dsp::designEqSection;
using plumbrook::dsp::Eq;
using plumbrook::dsp::EqCurve;
using plumbrook::dsp::kEqMaxBreakpoints;
using plumbrook::dsp::kEqMaxSections;
using plumbrook::dsp::kEqRateCount;
using plumbrook::dsp::kEqVoicing;

struct NamedCurve {
  const char* name;
  const EqCurve& curve;
};

const NamedCurve kCurves[] = {
    {"Low", kEqVoicing.low}, {"High", kEqVoicing.high}, {"Mid boost", kEqVoicing.midBoost}, {"Mid cut", kEqVoicing.midCut}};

std::vector<double> logGrid() {
  std::vector<double> f(481);
  for (size_t i = 0; i < f.size(); ++i) f[i] = 20.0 * std::pow(1000.0, static_cast<double>(i) / (f.size() - 1));
  return f;
}

// Response in dB of a curve at a magnitude for an Eq's voicing and rate; sign −1 mirrors the gains.
std::vector<double> curveResponse(const Eq& eq, const EqCurve& curve, double magnitude, double sign,
                                  const std::vector<double>& freqs) {
  const auto p = eq.interpolate(curve, magnitude);
  std::vector<double> db(freqs.size(), 0.0);
  for (int i = 0; i < curve.sections; ++i) {
    auto s = p[i];
    s.gainDb *= sign;
    const auto q = designEqSection(curve.types[i], s, eq.sampleRate());
    for (size_t j = 0; j < freqs.size(); ++j) db[j] += biquadResponseDb(q, freqs[j], eq.sampleRate());
  }
  return db;
}

double worstDifference(const std::vector<double>& a, const std::vector<double>& b) {
  double worst = 0.0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::fabs(a[i] - b[i]));
  return worst;
}

TEST(eq_voicing, table_layout) {
  const double rates[] = {44100, 48000, 88200, 96000, 176400, 192000};
  for (int r = 0; r < kEqRateCount; ++r) EXPECT_EQ(kEqVoicing.sampleRates[r], rates[r]);

  EXPECT_EQ(kEqVoicing.low.sections, 2);
  EXPECT_EQ(kEqVoicing.low.types[0], plumbrook::dsp::kEqLowShelf);
  EXPECT_EQ(kEqVoicing.low.types[1], plumbrook::dsp::kEqPeaking);
  EXPECT_EQ(kEqVoicing.low.points, 12);
  EXPECT_EQ(kEqVoicing.low.travelMid, 1.064297);
  EXPECT_EQ(kEqVoicing.low.range, 9.769028);
  EXPECT_EQ(kEqVoicing.high.sections, 3);
  EXPECT_EQ(kEqVoicing.high.types[0], plumbrook::dsp::kEqPeaking);
  EXPECT_EQ(kEqVoicing.high.types[1], plumbrook::dsp::kEqHighShelf);
  EXPECT_EQ(kEqVoicing.high.types[2], plumbrook::dsp::kEqPeaking);
  EXPECT_EQ(kEqVoicing.high.points, 18);
  EXPECT_EQ(kEqVoicing.high.travelMid, 1.024877);
  EXPECT_EQ(kEqVoicing.high.range, 6.0);
  EXPECT_EQ(kEqVoicing.midBoost.sections, 1);
  EXPECT_EQ(kEqVoicing.midBoost.points, 14);
  EXPECT_EQ(kEqVoicing.midCut.sections, 1);
  EXPECT_EQ(kEqVoicing.midCut.points, 10);
  EXPECT_EQ(kEqVoicing.midCut.travelMid, 0.0);

  for (const NamedCurve& c : kCurves) {
    SCOPED_TRACE(c.name);
    for (int k = 1; k < c.curve.points; ++k) EXPECT_LT(c.curve.breakpoints[k - 1], c.curve.breakpoints[k]);
    for (int r = 0; r < kEqRateCount; ++r) {
      for (int k = 0; k < kEqMaxBreakpoints; ++k) {
        for (int i = 0; i < kEqMaxSections; ++i) {
          const auto& p = c.curve.params[r][k][i];
          if (k < c.curve.points && i < c.curve.sections) {
            EXPECT_GT(p.freqHz, 10.0);
            EXPECT_LT(p.freqHz, 0.49 * kEqVoicing.sampleRates[r]);
            EXPECT_GT(p.q, 0.05);
            EXPECT_LT(std::fabs(p.gainDb), 30.0);
          } else {
            EXPECT_EQ(p.freqHz, 1000.0);
            EXPECT_EQ(p.q, 0.707);
            EXPECT_EQ(p.gainDb, 0.0);
          }
        }
      }
    }
  }
  // Spot values of the reference voicings.
  EXPECT_EQ(kEqVoicing.low.params[1][11][0].freqHz, 111.221);
  EXPECT_EQ(kEqVoicing.low.params[1][11][1].gainDb, -3.32542);
  EXPECT_EQ(kEqVoicing.high.params[0][11][1].freqHz, 15159.3);
  EXPECT_EQ(kEqVoicing.high.params[1][0][2].gainDb, -0.011507);
  EXPECT_EQ(kEqVoicing.midCut.params[0][9][0].q, 0.547986);
  EXPECT_EQ(kEqVoicing.midBoost.params[1][0][0].q, 4.53756);
}

struct FitFigures {
  double atBreakpoints = 0.0;
  double halfway = 0.0;
};

// Worst deviation of one voicing from the 48 kHz voicing at 48 kHz, 20 Hz..20 kHz, over all curves:
// at every breakpoint, halfway between neighbours and halfway below the first, boosts and mirrored cuts.
FitFigures compareWith48k(double rate) {
  const std::vector<double> freqs = logGrid();
  Eq eq, reference;
  eq.prepare(rate, 2);
  reference.prepare(48000.0, 2);
  FitFigures worst;
  for (const NamedCurve& c : kCurves) {
    const bool mirrored = &c.curve == &kEqVoicing.low || &c.curve == &kEqVoicing.high;
    for (double sign : {1.0, -1.0}) {
      if (sign < 0 && !mirrored) continue;
      for (int k = 0; k < c.curve.points; ++k) {
        const double m = c.curve.breakpoints[k];
        worst.atBreakpoints =
            std::max(worst.atBreakpoints, worstDifference(curveResponse(eq, c.curve, m, sign, freqs),
                                                          curveResponse(reference, c.curve, m, sign, freqs)));
        const double h = k == 0 ? 0.5 * m : 0.5 * (c.curve.breakpoints[k - 1] + m);
        worst.halfway = std::max(worst.halfway, worstDifference(curveResponse(eq, c.curve, h, sign, freqs),
                                                                curveResponse(reference, c.curve, h, sign, freqs)));
      }
    }
  }
  return worst;
}

class EqVoicingFit : public ::testing::TestWithParam<double> {};

TEST_P(EqVoicingFit, sounds_like_the_48k_voicing_at_and_between_breakpoints) {
  const double rate = GetParam();
  const FitFigures f = compareWith48k(rate);
  std::printf("voicing %6.0f Hz: worst %.4f dB at breakpoints, %.4f dB halfway\n", rate, f.atBreakpoints, f.halfway);
  RecordProperty("worst_at_breakpoints_db", std::to_string(f.atBreakpoints));
  RecordProperty("worst_halfway_db", std::to_string(f.halfway));
  // The 44.1 kHz voicing is a given reference; it agrees with 48 kHz a little less tightly.
  EXPECT_LT(f.atBreakpoints, 0.05);
  EXPECT_LT(f.halfway, 0.1);
}

INSTANTIATE_TEST_SUITE_P(eq, EqVoicingFit, ::testing::Values(44100.0, 88200.0, 96000.0, 176400.0, 192000.0));

TEST(eq_voicing, copying_the_48k_values_would_not_do_at_high_rates) {
  // Guards the test above against comparing a voicing with itself: the raw 48 kHz High curve at
  // 192 kHz is audibly different near the top of the band, which the fitted voicing corrects.
  const std::vector<double> freqs = logGrid();
  Eq high, reference;
  high.prepare(192000.0, 2);
  reference.prepare(48000.0, 2);
  const EqCurve& c = kEqVoicing.high;
  const auto ref = curveResponse(reference, c, c.breakpoints[c.points - 1], 1.0, freqs);
  std::vector<double> raw(freqs.size(), 0.0);
  for (int i = 0; i < c.sections; ++i) {
    const auto q = designEqSection(c.types[i], c.params[1][c.points - 1][i], 192000.0);
    for (size_t j = 0; j < freqs.size(); ++j) raw[j] += biquadResponseDb(q, freqs[j], 192000.0);
  }
  EXPECT_GT(worstDifference(raw, ref), 1.0);
  EXPECT_LT(worstDifference(curveResponse(high, c, c.breakpoints[c.points - 1], 1.0, freqs), ref), 0.05);
}

}  // namespace
