// Three-band EQ: voiced designs, measured responses, glides, snapping, voicing choice, real-time safety.
#include "dsp/eq.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "tests/support/realtime_tripwire.h"
#include "tests/support/signals.h"

namespace {

using plumbrook::dsp::designEqSection;
using plumbrook::dsp::Eq;
using plumbrook::dsp::EqBiquad;
using plumbrook::dsp::EqSectionParams;
using plumbrook::dsp::kEqHighShelf;
using plumbrook::dsp::kEqLowShelf;
using plumbrook::dsp::kEqPeaking;
using plumbrook::dsp::kEqVoicing;

void expectSameBiquad(const EqBiquad& a, const EqBiquad& b, double tol = 1e-12) {
  EXPECT_NEAR(a.b0, b.b0, tol);
  EXPECT_NEAR(a.b1, b.b1, tol);
  EXPECT_NEAR(a.b2, b.b2, tol);
  EXPECT_NEAR(a.a1, b.a1, tol);
  EXPECT_NEAR(a.a2, b.a2, tol);
}

void expectParams(const EqSectionParams& p, double freqHz, double q, double gainDb) {
  EXPECT_NEAR(p.freqHz, freqHz, freqHz * 1e-9);
  EXPECT_NEAR(p.q, q, 1e-9);
  EXPECT_NEAR(p.gainDb, gainDb, 1e-9);
}

// Amplitude of the component at freqHz, by correlation over a window holding whole periods.
double amplitudeAt(const std::vector<double>& x, int from, int count, double freqHz, double rate) {
  double s = 0.0, c = 0.0;
  const double w = 2.0 * std::numbers::pi * freqHz / rate;
  for (int i = from; i < from + count; ++i) {
    s += x[static_cast<size_t>(i)] * std::sin(w * i);
    c += x[static_cast<size_t>(i)] * std::cos(w * i);
  }
  return 2.0 * std::hypot(s, c) / count;
}

void processStereo(Eq& eq, std::vector<double>& l, std::vector<double>& r, int block) {
  const int n = static_cast<int>(l.size());
  for (int pos = 0; pos < n; pos += block) {
    double* ch[2] = {l.data() + pos, r.data() + pos};
    eq.process(ch, std::min(block, n - pos));
  }
}

TEST(eq_design, low_band_top_of_range_at_48k_uses_the_last_breakpoint) {
  Eq eq;
  eq.prepare(48000.0, 2);
  eq.set(0, 9.769028);
  ASSERT_EQ(eq.voicing(), 1);
  ASSERT_TRUE(eq.active(0));
  ASSERT_EQ(eq.sectionCount(0), 2);
  const auto p = eq.interpolate(kEqVoicing.low, 9.769028);
  expectParams(p[0], 111.221, 0.484325, 10.1988);
  expectParams(p[1], 362.834, 0.538909, -3.32542);
  expectParams(p[2], 1000.0, 0.707, 0.0);
  expectSameBiquad(eq.coefficients(0, 0), designEqSection(kEqLowShelf, {111.221, 0.484325, 10.1988}, 48000.0));
  expectSameBiquad(eq.coefficients(0, 1), designEqSection(kEqPeaking, {362.834, 0.538909, -3.32542}, 48000.0));
  // Both channels carry the same coefficients.
  const Eq::Section& s0 = eq.band(0).sections[0][1];
  const Eq::Section& s1 = eq.band(0).sections[1][1];
  EXPECT_EQ(s0.b0, s1.b0);
  EXPECT_EQ(s0.a2, s1.a2);
}

TEST(eq_design, low_cut_mirrors_the_boost_gains) {
  Eq eq;
  eq.prepare(48000.0, 2);
  eq.set(0, -1.064297);
  expectSameBiquad(eq.coefficients(0, 0), designEqSection(kEqLowShelf, {707.374, 0.500713, -1.06561}, 48000.0));
  expectSameBiquad(eq.coefficients(0, 1), designEqSection(kEqPeaking, {1542.18, 0.476982, 0.481573}, 48000.0));
  // The mirrored cut is the exact inverse in dB of the boost.
  Eq boost;
  boost.prepare(48000.0, 2);
  boost.set(0, 1.064297);
  for (double f : {30.0, 300.0, 1500.0, 6000.0, 19000.0}) {
    EXPECT_NEAR(eq.responseDb(f), -boost.responseDb(f), 1e-9) << f;
  }
}

TEST(eq_design, mid_uses_its_boost_and_cut_curves_between_breakpoints) {
  Eq eq;
  eq.prepare(48000.0, 2);
  const auto geo = [](double a, double b, double t) { return std::exp((1 - t) * std::log(a) + t * std::log(b)); };

  eq.set(1, 3.0);
  double t = (3.0 - 2.824014) / (3.272947 - 2.824014);
  EqSectionParams expected{geo(504.474, 504.284, t), geo(1.09474, 0.989383, t), (1 - t) * 2.83287 + t * 3.27841};
  ASSERT_EQ(eq.sectionCount(1), 1);
  expectParams(eq.interpolate(kEqVoicing.midBoost, 3.0)[0], expected.freqHz, expected.q, expected.gainDb);
  expectSameBiquad(eq.coefficients(1, 0), designEqSection(kEqPeaking, expected, 48000.0));

  eq.reset();
  eq.set(1, -3.0);
  t = (3.0 - 2.887543) / (3.830488 - 2.887543);
  expected = {geo(514.181, 513.292, t), geo(0.452508, 0.462283, t), (1 - t) * -2.87952 + t * -3.82142};
  expectParams(eq.interpolate(kEqVoicing.midCut, 3.0)[0], expected.freqHz, expected.q, expected.gainDb);
  expectSameBiquad(eq.coefficients(1, 0), designEqSection(kEqPeaking, expected, 48000.0));
  // Roughly the requested cut at the centre.
  EXPECT_NEAR(eq.responseDb(513.5), -3.0, 0.15);
}

TEST(eq_design, below_the_first_breakpoint_only_the_gains_scale) {
  Eq eq;
  eq.prepare(48000.0, 2);
  const double s = 0.05 / 0.109906;
  const auto p = eq.interpolate(kEqVoicing.high, 0.05);
  expectParams(p[0], 11886.8, 1.00645, 0.115227 * s);
  expectParams(p[1], 16656, 0.506426, 0.000956 * s);
  expectParams(p[2], 7467.56, 0.556148, -0.011507 * s);
  eq.set(2, -0.05);
  ASSERT_EQ(eq.sectionCount(2), 3);
  expectSameBiquad(eq.coefficients(2, 1), designEqSection(kEqHighShelf, {16656, 0.506426, -0.000956 * s}, 48000.0));
}

TEST(eq_design, magnitudes_beyond_the_last_breakpoint_hold_it) {
  Eq eq;
  eq.prepare(44100.0, 2);
  const auto p = eq.interpolate(kEqVoicing.high, 9.0);
  expectParams(p[0], 10590.2, 0.417586, 9.45473);
  expectParams(p[1], 17444.7, 0.557798, 2.89086);
  expectParams(p[2], 5097.9, 0.292654, -4.04859);
}

TEST(eq_design, cookbook_sections_have_their_stated_gains) {
  const double rate = 48000.0;
  const EqBiquad peak = designEqSection(kEqPeaking, {1000.0, 0.9, 4.5}, rate);
  EXPECT_NEAR(plumbrook::dsp::biquadResponseDb(peak, 1000.0, rate), 4.5, 1e-9);
  EXPECT_NEAR(plumbrook::dsp::biquadResponseDb(peak, 20.0, rate), 0.0, 0.01);
  const EqBiquad low = designEqSection(kEqLowShelf, {200.0, 0.7, -6.0}, rate);
  EXPECT_NEAR(plumbrook::dsp::biquadResponseDb(low, 1.0, rate), -6.0, 1e-3);
  EXPECT_NEAR(plumbrook::dsp::biquadResponseDb(low, 200.0, rate), -3.0, 1e-9);  // half the gain at the corner
  EXPECT_NEAR(plumbrook::dsp::biquadResponseDb(low, rate / 2, rate), 0.0, 1e-9);
  const EqBiquad high = designEqSection(kEqHighShelf, {5000.0, 0.7, 3.0}, rate);
  EXPECT_NEAR(plumbrook::dsp::biquadResponseDb(high, rate / 2, rate), 3.0, 1e-9);
  EXPECT_NEAR(plumbrook::dsp::biquadResponseDb(high, 5000.0, rate), 1.5, 1e-9);
  EXPECT_NEAR(plumbrook::dsp::biquadResponseDb(high, 10.0, rate), 0.0, 1e-4);
  // Frequencies above 0.49 of the rate are limited there.
  expectSameBiquad(designEqSection(kEqPeaking, {30000.0, 1.0, 2.0}, rate),
                   designEqSection(kEqPeaking, {0.49 * rate, 1.0, 2.0}, rate), 0.0);
}

struct ResponseCase {
  double rate;
  double low, mid, high;
};

class EqMeasuredResponse : public ::testing::TestWithParam<ResponseCase> {};

TEST_P(EqMeasuredResponse, sines_through_process_match_the_designed_response) {
  const ResponseCase c = GetParam();
  Eq eq;
  eq.prepare(c.rate, 2);
  eq.set(0, c.low);
  eq.set(1, c.mid);
  eq.set(2, c.high);
  const int n = static_cast<int>(c.rate);  // one second: whole periods of whole-hertz sines
  const int settle = n / 2;
  for (double f : {40.0, 110.0, 360.0, 513.0, 1500.0, 5000.0, 11000.0, 17000.0}) {
    std::vector<double> l = plumbrook::test::sine(f, c.rate, settle + n, 0.5);
    std::vector<double> r = plumbrook::test::sine(f, c.rate, settle + n, 0.25, 1.0);
    eq.reset();
    processStereo(eq, l, r, 256);
    const double expectedDb = eq.responseDb(f);
    const double inL = amplitudeAt(plumbrook::test::sine(f, c.rate, settle + n, 0.5), settle, n, f, c.rate);
    EXPECT_NEAR(20 * std::log10(amplitudeAt(l, settle, n, f, c.rate) / inL), expectedDb, 0.005) << f << " Hz";
    EXPECT_NEAR(20 * std::log10(amplitudeAt(r, settle, n, f, c.rate) / 0.25), expectedDb, 0.005) << f << " Hz";
  }
  // The bands do what their names say.
  if (c.low > 0) {
    EXPECT_GT(eq.bandResponseDb(0, 25.0), c.low * 0.8);
  }
  if (c.high > 0) {
    EXPECT_GT(eq.bandResponseDb(2, 12000.0), c.high * 0.8);
  }
  if (c.mid < 0) {
    EXPECT_LT(eq.bandResponseDb(1, 513.0), c.mid * 0.8);
  }
}

INSTANTIATE_TEST_SUITE_P(eq, EqMeasuredResponse,
                         ::testing::Values(ResponseCase{48000.0, 6.0, -3.0, 4.0}, ResponseCase{44100.0, 9.0, 5.5, -5.0},
                                           ResponseCase{96000.0, -4.0, 2.0, 6.0},
                                           ResponseCase{192000.0, 2.5, -6.0, 1.0}));

// A plain scalar cascade over the Eq's own coefficients, the reference for the optimised process.
TEST(eq_process, matches_a_plain_cascade_and_does_not_depend_on_block_size) {
  const uint32_t seed = 20240611;
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  const int n = 4096;
  const std::vector<double> inL = plumbrook::test::pinkNoise(seed, n, 0.9);
  const std::vector<double> inR = plumbrook::test::whiteNoise(seed + 1, n, 0.5);

  Eq eq;
  eq.prepare(48000.0, 2);
  eq.set(0, 3.3);
  eq.set(1, -2.2);
  eq.set(2, 5.1);
  Eq::Section ref[2][3][3];
  for (int c = 0; c < 2; ++c)
    for (int b = 0; b < 3; ++b)
      for (int k = 0; k < 3; ++k) ref[c][b][k] = eq.band(b).sections[c][k];
  std::vector<double> refL = inL, refR = inR;
  for (int i = 0; i < n; ++i) {
    for (int c = 0; c < 2; ++c) {
      double x = c == 0 ? refL[i] : refR[i];
      for (int b = 0; b < 3; ++b) {
        for (int k = 0; k < eq.sectionCount(b); ++k) {
          Eq::Section& s = ref[c][b][k];
          const double y = s.b0 * x + s.s1;
          s.s1 = s.b1 * x - s.a1 * y + s.s2;
          s.s2 = s.b2 * x - s.a2 * y;
          x = y;
        }
      }
      (c == 0 ? refL : refR)[i] = x;
    }
  }
  std::vector<double> l = inL, r = inR;
  processStereo(eq, l, r, 256);
  EXPECT_EQ(l, refL);
  EXPECT_EQ(r, refR);

  // While gliding, any block split gives the same samples as one frame at a time.
  std::vector<std::vector<double>> outputs;
  for (int block : {1, 7, 32, 33, 256, n}) {
    Eq g;
    g.prepare(48000.0, 2);
    g.set(0, -4.0);
    g.set(2, 2.0);
    std::vector<double> gl = inL, gr = inR;
    double* ch[2] = {gl.data(), gr.data()};
    g.process(ch, 1);
    g.set(0, 7.0);
    g.set(1, -5.0);
    g.set(2, 0.0);
    for (int pos = 1; pos < n; pos += block) {
      double* chp[2] = {gl.data() + pos, gr.data() + pos};
      g.process(chp, std::min(block, n - pos));
    }
    gl.insert(gl.end(), gr.begin(), gr.end());
    outputs.push_back(gl);
  }
  for (size_t i = 1; i < outputs.size(); ++i) EXPECT_EQ(outputs[i], outputs[0]) << "split " << i;
}

TEST(eq_process, mono_filters_its_one_channel_like_the_left_of_stereo) {
  const std::vector<double> in = plumbrook::test::pinkNoise(7, 2000, 0.8);
  Eq mono, stereo;
  mono.prepare(48000.0, 1);
  stereo.prepare(48000.0, 2);
  for (Eq* e : {&mono, &stereo}) {
    e->set(0, 2.0);
    e->set(2, -3.0);
  }
  std::vector<double> m = in, l = in, r(in.size(), 0.0);
  double* mc[1] = {m.data()};
  mono.process(mc, static_cast<int>(m.size()));
  processStereo(stereo, l, r, 100);
  EXPECT_EQ(mono.channels(), 1);
  EXPECT_EQ(m, l);
  EXPECT_NE(m, in);
}

TEST(eq_process, bands_at_zero_leave_the_signal_bit_exact) {
  const std::vector<double> in = plumbrook::test::whiteNoise(11, 3000, 1.0);
  Eq eq;
  eq.prepare(48000.0, 2);
  std::vector<double> l = in, r = in;
  processStereo(eq, l, r, 64);
  EXPECT_EQ(l, in);
  EXPECT_EQ(r, in);

  // After gliding back to 0 every band switches off, its state is cleared, and the signal is exact again.
  eq.set(0, 4.0);
  eq.set(1, 0.0005);  // below 0.001 dB: off
  eq.set(2, -2.0);
  processStereo(eq, l, r, 64);
  EXPECT_TRUE(eq.active(0));
  EXPECT_FALSE(eq.active(1));
  eq.set(0, 0.0);
  eq.set(2, 0.0);
  std::vector<double> tail(48000, 0.0);
  std::vector<double> tailR = tail;
  processStereo(eq, tail, tailR, 256);
  for (int b = 0; b < 3; ++b) {
    EXPECT_FALSE(eq.active(b)) << b;
    EXPECT_EQ(eq.band(b).sections[0][0].s1, 0.0) << b;
    EXPECT_EQ(eq.band(b).sections[1][1].s2, 0.0) << b;
  }
  l = in;
  r = in;
  processStereo(eq, l, r, 64);
  EXPECT_EQ(l, in);
  EXPECT_EQ(r, in);
}

TEST(eq_glide, values_set_after_prepare_or_reset_apply_at_once_later_ones_glide) {
  Eq eq;
  eq.prepare(48000.0, 2);
  EXPECT_TRUE(eq.fresh());
  eq.set(1, 4.0);
  eq.set(2, -1.5);
  EXPECT_EQ(eq.current(1), 4.0);
  EXPECT_EQ(eq.current(2), -1.5);
  std::vector<double> l(64, 0.1), r(64, 0.1);
  processStereo(eq, l, r, 64);
  EXPECT_FALSE(eq.fresh());
  eq.set(1, -4.0);
  EXPECT_EQ(eq.target(1), -4.0);
  EXPECT_EQ(eq.current(1), 4.0);
  eq.reset();
  EXPECT_TRUE(eq.fresh());
  EXPECT_EQ(eq.current(1), -4.0);
  EXPECT_EQ(eq.tickCounter(), 0);
  EXPECT_EQ(eq.band(1).sections[0][0].s1, 0.0);
  eq.set(0, 2.0);  // still fresh: at once
  EXPECT_EQ(eq.current(0), 2.0);
  // A new preparation keeps the targets and snaps to them.
  processStereo(eq, l, r, 64);
  eq.set(0, 5.0);
  eq.prepare(96000.0, 2);
  EXPECT_EQ(eq.current(0), 5.0);
  EXPECT_EQ(eq.voicing(), 3);
}

TEST(eq_glide, moves_every_32_samples_with_a_20_ms_time_constant_and_snaps) {
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    SCOPED_TRACE(rate);
    Eq eq;
    eq.prepare(rate, 2);
    double x[2] = {0.0, 0.0};
    double* ch[2] = {&x[0], &x[1]};
    eq.process(ch, 1);  // the first frame ticks with nothing to do
    eq.set(0, 6.0);
    EXPECT_EQ(eq.current(0), 0.0);
    const double perTick = 1.0 - std::exp(-32.0 / (0.02 * rate));
    EXPECT_DOUBLE_EQ(eq.smoothing(), perTick);
    std::vector<double> trajectory;
    int frames = 1;
    double last = eq.current(0);
    int snappedAt = -1;
    while (frames < static_cast<int>(rate)) {
      eq.process(ch, 1);
      ++frames;
      if (eq.current(0) != last) {
        EXPECT_EQ((frames - 1) % 32, 0) << "value moved between ticks at frame " << frames;
        trajectory.push_back(eq.current(0));
        if (eq.current(0) == 6.0 && snappedAt < 0) snappedAt = frames;
        last = eq.current(0);
      }
    }
    ASSERT_GT(trajectory.size(), 10u);
    // After 20 ms worth of ticks the distance left is about 1/e.
    const int ticks20ms = static_cast<int>(std::lround(0.02 * rate / 32.0));
    const double left = (6.0 - trajectory[static_cast<size_t>(ticks20ms - 1)]) / 6.0;
    EXPECT_NEAR(left, std::pow(1.0 - perTick, ticks20ms), 1e-12);
    EXPECT_NEAR(left, std::exp(-1.0), 0.03);
    // The last step before the snap was still at least 0.0001 dB away, and the snap lands exactly.
    ASSERT_GT(snappedAt, 0);
    ASSERT_GE(trajectory.size(), 2u);
    EXPECT_GE(6.0 - trajectory[trajectory.size() - 2], 0.0001);
    EXPECT_LT((6.0 - trajectory[trajectory.size() - 2]) * (1.0 - perTick), 0.0001);
    EXPECT_EQ(trajectory.back(), 6.0);
    // The coefficients follow the glide: at rest they equal a fresh design of the target.
    Eq fresh;
    fresh.prepare(rate, 2);
    fresh.set(0, 6.0);
    expectSameBiquad(eq.coefficients(0, 0), fresh.coefficients(0, 0), 0.0);
  }
}

TEST(eq_glide, a_glide_is_heard_gradually) {
  // A 60 Hz tone under a Low boost step: the level rises over tens of milliseconds, not at once.
  const double rate = 48000.0;
  Eq eq;
  eq.prepare(rate, 2);
  std::vector<double> l = plumbrook::test::sine(60.0, rate, 48000, 0.5), r = l;
  std::vector<double> warm(4800, 0.0), warmR(4800, 0.0);
  processStereo(eq, warm, warmR, 256);
  eq.set(0, 9.0);
  processStereo(eq, l, r, 256);
  const auto levelAt = [&](int from) { return amplitudeAt(l, from, 800, 60.0, rate); };
  const double early = levelAt(0), mid = levelAt(1600), late = levelAt(40000);
  EXPECT_LT(early, mid);
  EXPECT_LT(mid, late);
  EXPECT_NEAR(20 * std::log10(late / 0.5), eq.responseDb(60.0), 0.02);
}

TEST(eq_set, ignores_non_finite_values_and_unknown_bands_and_clamps_to_range) {
  Eq eq;
  eq.prepare(48000.0, 2);
  eq.set(0, 3.0);
  eq.set(0, std::nan(""));
  eq.set(0, INFINITY);
  eq.set(0, -INFINITY);
  EXPECT_EQ(eq.target(0), 3.0);
  eq.set(-1, 2.0);
  eq.set(3, 2.0);
  EXPECT_EQ(eq.target(1), 0.0);
  EXPECT_EQ(eq.target(2), 0.0);
  eq.set(0, 50.0);
  EXPECT_EQ(eq.target(0), 9.769028);
  eq.set(1, -7.0);
  EXPECT_EQ(eq.target(1), -6.0);
  eq.set(2, 6.5);
  EXPECT_EQ(eq.target(2), 6.0);
  eq.set(2, -0.0009);
  EXPECT_EQ(eq.target(2), 0.0);
  EXPECT_FALSE(eq.active(2));
}

TEST(eq_prepare, picks_the_nearest_voicing_in_log_distance) {
  EXPECT_EQ(Eq::voicingFor(44100.0), 0);
  EXPECT_EQ(Eq::voicingFor(48000.0), 1);
  EXPECT_EQ(Eq::voicingFor(50000.0), 1);
  EXPECT_EQ(Eq::voicingFor(22050.0), 0);
  EXPECT_EQ(Eq::voicingFor(88200.0), 2);
  EXPECT_EQ(Eq::voicingFor(92000.0), 2);
  EXPECT_EQ(Eq::voicingFor(93000.0), 3);
  EXPECT_EQ(Eq::voicingFor(192000.0), 5);
  EXPECT_EQ(Eq::voicingFor(384000.0), 5);
  // The geometric mean of two rates is the tie; the earlier rate wins it, the later one just above.
  const double mean = std::sqrt(44100.0 * 48000.0);
  EXPECT_EQ(Eq::voicingFor(mean), 0);
  EXPECT_EQ(Eq::voicingFor(mean * (1.0 - 1e-12)), 0);
  EXPECT_EQ(Eq::voicingFor(mean * (1.0 + 1e-9)), 1);

  Eq eq;
  eq.prepare(44100.0, 2);
  EXPECT_EQ(eq.voicing(), 0);
  eq.prepare(192000.0, 2);
  EXPECT_EQ(eq.voicing(), 5);
  eq.prepare(-1.0, 7);  // nonsense: served as 48 kHz stereo
  EXPECT_EQ(eq.sampleRate(), 48000.0);
  EXPECT_EQ(eq.channels(), 2);
  eq.prepare(std::nan(""), 0);
  EXPECT_EQ(eq.sampleRate(), 48000.0);
  EXPECT_EQ(eq.channels(), 1);
}

TEST(eq_prepare, process_before_prepare_or_with_bad_arguments_leaves_audio_alone) {
  Eq eq;
  eq.set(0, 5.0);  // stored, applied when prepared
  std::vector<double> l(100, 0.3), r(100, 0.3);
  double* ch[2] = {l.data(), r.data()};
  eq.process(ch, 100);
  EXPECT_EQ(l, std::vector<double>(100, 0.3));
  eq.prepare(48000.0, 2);
  EXPECT_EQ(eq.current(0), 5.0);
  eq.process(ch, 0);
  eq.process(ch, -5);
  EXPECT_TRUE(eq.fresh());
  eq.process(static_cast<double* const*>(nullptr), 10);
  double* half[2] = {l.data(), nullptr};
  eq.process(half, 10);
  EXPECT_EQ(l, std::vector<double>(100, 0.3));
}

TEST(eq_realtime, process_set_reset_and_prepare_allocate_and_lock_nothing) {
  PLUMBROOK_REQUIRE_TRIPWIRE();
  std::vector<double> l = plumbrook::test::pinkNoise(3, 8192, 0.7), r = l;
  Eq eq;
  plumbrook::test::RealtimeGuard guard;
  eq.prepare(48000.0, 2);
  for (int block = 0; block < 32; ++block) {
    eq.set(0, block % 2 ? -6.0 : 8.0);
    eq.set(1, block % 2 ? -4.0 : 5.0);
    eq.set(2, block % 3 ? 4.0 : -3.0);
    double* ch[2] = {l.data() + block * 256, r.data() + block * 256};
    eq.process(ch, 256);
  }
  eq.reset();
  (void)eq.responseDb(1000.0);
  const auto seen = guard.disarm();
  EXPECT_FALSE(seen.any()) << seen.allocations << " allocations, " << seen.locks << " locks";
}

}  // namespace
