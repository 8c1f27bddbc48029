// Limiter: latency, ceiling, detection paths, reconfiguration, fades, building blocks and real-time safety.
#include "dsp/limiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "tests/support/realtime_tripwire.h"
#include "tests/support/signals.h"
#include "tests/support/true_peak_meter.h"

namespace {

using quillfen::dsp::Limiter;
using quillfen::dsp::MovingAverage;
using quillfen::dsp::SlidingMaximum;
using Stereo = std::array<std::vector<double>, 2>;

enum class Mode { ZeroLatency, Lookahead, TruePeak };

const char* modeName(Mode m) {
  switch (m) {
    case Mode::ZeroLatency: return "zero-latency";
    case Mode::Lookahead: return "look-ahead";
    case Mode::TruePeak: return "true peak";
  }
  return "?";
}

void configure(Limiter& lim, Mode mode, float thresholdDb, float ceilingDb) {
  lim.settings.thresholdDb = thresholdDb;
  lim.settings.ceilingDb = ceilingDb;
  lim.settings.lookahead = mode == Mode::Lookahead;
  lim.settings.truePeak = mode == Mode::TruePeak;
}

// Runs the whole signal through the limiter in blocks, in place on a copy.
template <bool Active>
Stereo process(Limiter& lim, const Stereo& input, int block = 256, Stereo* dry = nullptr) {
  Stereo out = input;
  if (dry != nullptr) {
    (*dry)[0].assign(input[0].size(), 0.0);
    (*dry)[1].assign(input[1].size(), 0.0);
  }
  const int frames = static_cast<int>(input[0].size());
  for (int s = 0; s < frames; s += block) {
    const int n = std::min(block, frames - s);
    double* io[2] = {out[0].data() + s, out[1].data() + s};
    double* dryPtr[2] = {nullptr, nullptr};
    if (dry != nullptr) {
      dryPtr[0] = (*dry)[0].data() + s;
      dryPtr[1] = (*dry)[1].data() + s;
    }
    lim.run<Active>(io, io, 2, n, dry != nullptr ? dryPtr : nullptr);
  }
  return out;
}

Stereo constant(double value, int frames) {
  return {std::vector<double>(static_cast<size_t>(frames), value), std::vector<double>(static_cast<size_t>(frames), value)};
}

// Loud material with transients: pink noise, a low sine and sparse full-scale clicks.
Stereo loudMaterial(uint32_t seed, double rate, int frames) {
  Stereo x{plumbrook::test::pinkNoise(seed, frames, 1.0), plumbrook::test::pinkNoise(seed + 1, frames, 1.0)};
  const auto low = plumbrook::test::sine(60.0, rate, frames, 0.8);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> where(0, frames - 1);
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < frames; ++i) x[static_cast<size_t>(c)][static_cast<size_t>(i)] += low[static_cast<size_t>(i)];
    for (int k = 0; k < 8; ++k) x[static_cast<size_t>(c)][static_cast<size_t>(where(rng))] = (k % 2 ? -1.5 : 1.5);
  }
  return x;
}

double maxAbs(const std::vector<double>& x, size_t from = 0, size_t to = std::numeric_limits<size_t>::max()) {
  double m = 0.0;
  for (size_t i = from; i < std::min(to, x.size()); ++i) m = std::max(m, std::fabs(x[i]));
  return m;
}

// ---------------------------------------------------------------------------------------------
// Latency and derived values

TEST(LimiterLatency, FollowsTheRateWithinItsClamp) {
  const std::array<std::pair<double, int>, 8> cases{{{22050.0, 40},
                                                     {44100.0, 66},
                                                     {48000.0, 72},
                                                     {96000.0, 144},
                                                     {192000.0, 288},
                                                     {0.0, 72},
                                                     {-1.0, 72},
                                                     {1e7, 960}}};
  for (const auto& [rate, expected] : cases) {
    EXPECT_EQ(Limiter::latencyForRate(rate), expected) << rate;
    Limiter lim;
    configure(lim, Mode::Lookahead, 0.0f, 0.0f);
    lim.prepare(rate);
    EXPECT_EQ(lim.latency(), expected) << rate;
    EXPECT_EQ(lim.appliedDelay(), expected) << rate;
  }
  EXPECT_EQ(Limiter::latencyForRate(std::numeric_limits<double>::quiet_NaN()), 72);
}

TEST(LimiterLatency, DelayFollowsLookaheadAndTruePeak) {
  Limiter lim;
  configure(lim, Mode::ZeroLatency, 0.0f, 0.0f);
  lim.prepare(48000.0);
  EXPECT_EQ(lim.appliedDelay(), 0);
  EXPECT_EQ(lim.latency(), 72);

  configure(lim, Mode::Lookahead, 0.0f, 0.0f);
  lim.prepare(48000.0);
  EXPECT_EQ(lim.appliedDelay(), 72);
  EXPECT_FALSE(lim.appliedTruePeak());
  EXPECT_EQ(lim.attackLength(), 12);
  EXPECT_EQ(lim.windowMaxLength(), 13);
  EXPECT_EQ(lim.windowAverageLength(), 13);

  // True peak alone still delays by the full look-ahead.
  configure(lim, Mode::TruePeak, 0.0f, 0.0f);
  lim.prepare(48000.0);
  EXPECT_EQ(lim.appliedDelay(), 72);
  EXPECT_TRUE(lim.appliedTruePeak());
  EXPECT_EQ(lim.reductionDelay(), 12);
  EXPECT_EQ(lim.windowMaxLength(), 45);
  EXPECT_EQ(lim.windowAverageLength(), 13);
}

// ---------------------------------------------------------------------------------------------
// The ceiling holds in every mode

class LimiterCeiling : public ::testing::TestWithParam<std::tuple<Mode, double>> {};

TEST_P(LimiterCeiling, NoSampleAboveTheCeilingOnLoudMaterial) {
  const auto [mode, rate] = GetParam();
  const uint32_t seed = 1234u + static_cast<uint32_t>(rate);
  SCOPED_TRACE(::testing::Message() << modeName(mode) << " at " << rate << " Hz, seed " << seed);
  Limiter lim;
  configure(lim, mode, -6.0f, -0.3f);
  lim.prepare(rate);
  const Stereo in = loudMaterial(seed, rate, static_cast<int>(rate));
  const Stereo out = process<true>(lim, in, 173);
  const double ceiling = std::pow(10.0, -0.3 / 20.0);
  const double outPeak = std::max(maxAbs(out[0]), maxAbs(out[1]));
  EXPECT_LE(outPeak, ceiling * (1.0 + 1e-6));
  // It limits rather than mutes: the output reaches the ceiling and is reduced by several dB.
  EXPECT_GT(outPeak, ceiling * 0.97);
  EXPECT_GT(lim.takeReportedReduction(), 6.0f);
  EXPECT_EQ(lim.takeReportedReduction(), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Modes, LimiterCeiling,
                         ::testing::Combine(::testing::Values(Mode::ZeroLatency, Mode::Lookahead, Mode::TruePeak),
                                            ::testing::Values(44100.0, 48000.0, 96000.0)));

// ---------------------------------------------------------------------------------------------
// Detection paths

TEST(LimiterZeroLatency, ReducesAtOnceHoldsThenReleases) {
  Limiter lim;
  configure(lim, Mode::ZeroLatency, -6.0f, 0.0f);
  lim.prepare(48000.0);
  const float drive = static_cast<float>(std::pow(10.0, 6.0 / 20.0));
  // 10 ms at full scale, then a quiet level that needs no reduction.
  Stereo in = constant(1.0, 2400);
  for (int c = 0; c < 2; ++c) std::fill(in[static_cast<size_t>(c)].begin() + 480, in[static_cast<size_t>(c)].end(), 0.1);
  const Stereo out = process<true>(lim, in);
  const double target = 0.99994242;
  // Instant: the very first loud sample is already at the target.
  EXPECT_NEAR(out[0][0], target, 1e-5);
  EXPECT_NEAR(out[1][479], target, 1e-5);
  EXPECT_NEAR(lim.takeReportedReduction(), 20.0 * std::log10(drive / target), 1e-3);
  // The reduction of the loud part is held for 2 ms (96 frames) after it ends...
  const double held = out[0][480];
  EXPECT_NEAR(held, 0.1 * target, 1e-5);
  for (int i = 480; i < 480 + 96; ++i) EXPECT_NEAR(out[0][static_cast<size_t>(i)], held, 1e-7) << i;
  // ...then released: the gain rises towards full drive.
  for (int i = 480 + 96; i < 2400; ++i) EXPECT_GT(out[0][static_cast<size_t>(i)], out[0][static_cast<size_t>(i - 1)]) << i;
  EXPECT_GT(out[0][2399], held * 1.5);
  EXPECT_LE(out[0][2399], 0.1 * drive + 1e-6);
}

TEST(LimiterZeroLatency, ReducesALoneSampleInItsOwnFrame) {
  Limiter lim;
  configure(lim, Mode::ZeroLatency, -10.0f, -1.0f);
  lim.prepare(48000.0);
  // A lone full-scale sample after a quiet stretch: 9 dB of drive on top of 0 dBFS is 10 dB over
  // a -1 dB ceiling, all of it taken off in the same frame.
  Stereo in = constant(0.0, 4800);
  in[0][1000] = 1.0;
  in[1][1000] = -1.0;
  const Stereo out = process<true>(lim, in);
  const double ceiling = std::pow(10.0, -1.0 / 20.0);
  EXPECT_LE(std::fabs(out[0][1000]), ceiling * (1 + 1e-6));
  EXPECT_NEAR(std::fabs(out[0][1000]), ceiling, 1e-3);
  const float reported = lim.takeReportedReduction();
  EXPECT_NEAR(reported, 10.0 - 20.0 * std::log10(0.99994242), 1e-3);
  EXPECT_EQ(out[0][1001], 0.0);
}

TEST(LimiterLookahead, RampsOverTheAttackWindowBeforeAPeak) {
  Limiter lim;
  configure(lim, Mode::Lookahead, -6.0f, 0.0f);
  lim.prepare(48000.0);
  const int D = lim.appliedDelay();
  const int A = lim.attackLength();
  const int step = 1000;
  Stereo in = constant(0.1, 2000);
  for (int c = 0; c < 2; ++c) std::fill(in[static_cast<size_t>(c)].begin() + step, in[static_cast<size_t>(c)].end(), 1.0);
  const Stereo out = process<true>(lim, in);
  const double drive = std::pow(10.0, 6.0 / 20.0);
  // Untouched until the loud part enters the input; then only the slow excess envelope, which
  // listens to the undelayed input, takes a little off...
  EXPECT_NEAR(out[0][static_cast<size_t>(step - 1)], 0.1 * drive, 1e-6);
  for (int i = step; i < step + D - A; ++i) {
    EXPECT_GT(out[0][static_cast<size_t>(i)] / out[0][static_cast<size_t>(i - 1)], 0.999) << i;
  }
  EXPECT_GT(out[0][static_cast<size_t>(step + D - A - 1)], 0.1 * drive * std::pow(10.0, -0.2 / 20.0));
  // ...until A frames before the loud part leaves the delay: then the look-ahead ramp falls
  // steeply and reaches the full reduction with the loud part.
  for (int i = step + D - A; i < step + D; ++i) {
    EXPECT_LT(out[0][static_cast<size_t>(i)] / out[0][static_cast<size_t>(i - 1)], 0.97) << i;
  }
  EXPECT_NEAR(out[0][static_cast<size_t>(step + D)], 0.99994242, 1e-5);
  EXPECT_LE(maxAbs(out[0]), 1.0);
}

TEST(LimiterTruePeak, LimitsTheWaveformBetweenSamples) {
  // A quarter-rate sine at 45 degrees: every sample is at 0.707, the waveform peaks at 1.0.
  const double rate = 48000.0;
  const int frames = 9600;
  const auto s = plumbrook::test::sine(rate / 4.0, rate, frames, 1.0, std::numbers::pi / 4.0);
  const Stereo in{s, s};
  const double ceiling = std::pow(10.0, -1.0 / 20.0);

  Limiter samplePeak;
  configure(samplePeak, Mode::Lookahead, -1.0f, -1.0f);
  samplePeak.prepare(rate);
  const Stereo plain = process<true>(samplePeak, in);
  EXPECT_NEAR(maxAbs(plain[0], 4800), std::sqrt(0.5), 1e-6);  // sample peaks are below the ceiling

  Limiter truePeak;
  configure(truePeak, Mode::TruePeak, -1.0f, -1.0f);
  truePeak.prepare(rate);
  truePeak.setMetering(true);
  const Stereo limited = process<true>(truePeak, in);
  EXPECT_NEAR(maxAbs(limited[0], 4800), ceiling * std::sqrt(0.5), ceiling * 0.01);
  // Measured away from the ends, where the cut signal itself would ring.
  const plumbrook::test::TruePeakMeter meter;
  EXPECT_NEAR(20.0 * std::log10(meter.peak(limited[0], 4800, frames - 500)), -1.0, 0.01);
  // With metering on, the reported output peak is the waveform's, not the samples'.
  EXPECT_NEAR(truePeak.takeReportedOutputPeak(), ceiling, ceiling * 0.01);
}

// ---------------------------------------------------------------------------------------------
// Reconfiguration, fades, restart

TEST(LimiterReconfigure, FadesOutRefillsInSilenceAndFadesIn) {
  Limiter lim;
  configure(lim, Mode::ZeroLatency, 0.0f, 0.0f);
  lim.prepare(48000.0);
  const int L = lim.latency();
  const int fadeFrames = 120;  // 2.5 ms at 48 kHz
  const double level = 0.25;
  (void)process<true>(lim, constant(level, 512));

  lim.settings.lookahead = true;
  lim.requestReconfigure();
  EXPECT_TRUE(lim.reconfigurePending());
  const Stereo out = process<true>(lim, constant(level, 1024), 64);
  EXPECT_FALSE(lim.reconfigurePending());
  EXPECT_EQ(lim.appliedDelay(), L);

  const std::vector<double>& y = out[0];
  size_t firstZero = 0;
  while (firstZero < y.size() && y[firstZero] != 0.0) ++firstZero;
  size_t lastZero = firstZero;
  while (lastZero + 1 < y.size() && y[lastZero + 1] == 0.0) ++lastZero;
  // Fade-out: a straight line from the full level, one step per frame, over 2.5 ms.
  EXPECT_NEAR(static_cast<double>(firstZero), fadeFrames - 1, 1.0);
  for (size_t i = 0; i < firstZero; ++i) {
    EXPECT_NEAR(y[i], level * (1.0 - (i + 1.0) / fadeFrames), 1e-5) << i;
  }
  // The switching frame and L frames of refill are silent.
  EXPECT_EQ(static_cast<int>(lastZero - firstZero + 1), L + 1);
  // Fade-in over 2.5 ms, then the full level again.
  for (int k = 1; k <= fadeFrames; ++k) {
    EXPECT_NEAR(y[lastZero + static_cast<size_t>(k)], level * std::min(1.0, k / double(fadeFrames)), 1e-5) << k;
  }
  for (size_t i = lastZero + fadeFrames + 1; i < y.size(); ++i) ASSERT_EQ(y[i], y.back()) << i;
  EXPECT_NEAR(y.back(), level, 1e-7);
  EXPECT_EQ(lim.fadeGain(), 1.0f);
}

TEST(LimiterReconfigure, SwitchingTruePeakOffReturnsToZeroLatency) {
  Limiter lim;
  configure(lim, Mode::TruePeak, -3.0f, -1.0f);
  lim.prepare(44100.0);
  (void)process<true>(lim, loudMaterial(7, 44100.0, 4410));
  configure(lim, Mode::ZeroLatency, -3.0f, -1.0f);
  lim.requestReconfigure();
  const Stereo out = process<true>(lim, loudMaterial(8, 44100.0, 8820));
  EXPECT_EQ(lim.appliedDelay(), 0);
  EXPECT_FALSE(lim.appliedTruePeak());
  EXPECT_LE(std::max(maxAbs(out[0]), maxAbs(out[1])), std::pow(10.0, -1.0 / 20.0) * (1 + 1e-6));
}

TEST(LimiterRestart, PassesDFramesUnlimitedThenLimits) {
  Limiter lim;
  configure(lim, Mode::Lookahead, -12.0f, -1.0f);
  lim.prepare(48000.0);
  const int D = lim.appliedDelay();
  const Stereo first = loudMaterial(21, 48000.0, 4800);
  (void)process<true>(lim, first);
  lim.restart();
  const Stereo second = loudMaterial(22, 48000.0, 4800);
  const Stereo out = process<true>(lim, second);
  const double ceiling = std::pow(10.0, -1.0 / 20.0);
  // The refill frames carry the delayed input at unity gain, unclipped.
  for (int i = 0; i < D; ++i) {
    const double expected = static_cast<float>(first[0][static_cast<size_t>(4800 - D + i)]);
    ASSERT_EQ(out[0][static_cast<size_t>(i)], expected) << i;
  }
  EXPECT_GT(maxAbs(out[0], 0, static_cast<size_t>(D)), ceiling);
  EXPECT_LE(maxAbs(out[0], static_cast<size_t>(D)), ceiling * (1 + 1e-6));
  EXPECT_LE(maxAbs(out[1], static_cast<size_t>(D)), ceiling * (1 + 1e-6));
}

TEST(LimiterRestart, MuteSilencesDFramesThenFadesIn) {
  Limiter lim;
  configure(lim, Mode::Lookahead, 0.0f, 0.0f);
  lim.prepare(48000.0);
  const int D = lim.appliedDelay();
  (void)process<true>(lim, constant(0.5, 1000));
  lim.restart();
  lim.mute();
  EXPECT_EQ(lim.fadeGain(), 0.0f);
  const Stereo out = process<true>(lim, constant(0.5, 1000));
  for (int i = 0; i < D; ++i) ASSERT_EQ(out[0][static_cast<size_t>(i)], 0.0) << i;
  for (int k = 1; k <= 120; ++k) {
    EXPECT_NEAR(out[0][static_cast<size_t>(D + k - 1)], 0.5 * k / 120.0, 1e-5) << k;
  }
  EXPECT_NEAR(out[0][999], 0.5, 1e-7);
}

TEST(LimiterGlide, ThresholdAndCeilingMoveWithA20msTimeConstant) {
  Limiter lim;
  configure(lim, Mode::ZeroLatency, 0.0f, 0.0f);
  lim.prepare(48000.0);
  (void)process<true>(lim, constant(0.1, 256));
  lim.settings.thresholdDb = -6.0f;  // drive 0 -> +6 dB, far from any limiting at this level
  const Stereo out = process<true>(lim, constant(0.1, 48000));
  auto gainDb = [&](int i) { return 20.0 * std::log10(out[0][static_cast<size_t>(i)] / 0.1); };
  EXPECT_NEAR(gainDb(0), 6.0 * (1.0 - std::exp(-1.0 / 960.0)), 1e-3);
  EXPECT_NEAR(gainDb(959), 6.0 * (1.0 - std::exp(-1.0)), 0.01);
  for (int i = 1; i < 4800; ++i) ASSERT_GE(gainDb(i), gainDb(i - 1)) << i;
  EXPECT_NEAR(gainDb(47999), 6.0, 1e-5);
  EXPECT_EQ(lim.currentThresholdDb(), -6.0);

  // The ceiling glides too: the limited level follows it down without a jump.
  lim.settings.thresholdDb = -12.0f;
  lim.settings.ceilingDb = -6.0f;
  const Stereo down = process<true>(lim, constant(1.0, 9600));
  EXPECT_GT(down[0][0], std::pow(10.0, -0.5 / 20.0));
  EXPECT_NEAR(down[0][9599], std::pow(10.0, -6.0 / 20.0) * 0.99994242, 1e-4);
  for (int i = 1; i < 9600; ++i) ASSERT_LE(down[0][static_cast<size_t>(i)], down[0][static_cast<size_t>(i - 1)] + 1e-7) << i;
}

TEST(LimiterSettings, OutOfRangeAndNonFiniteLevelsFallBackSafely) {
  Limiter lim;
  lim.settings.thresholdDb = std::numeric_limits<float>::quiet_NaN();
  lim.settings.ceilingDb = std::numeric_limits<float>::infinity();
  lim.prepare(48000.0);
  EXPECT_EQ(lim.currentThresholdDb(), 0.0);
  EXPECT_NEAR(lim.currentCeilingDb(), -0.3, 1e-6);
  lim.settings.thresholdDb = -100.0f;
  lim.settings.ceilingDb = 12.0f;
  lim.reset();
  EXPECT_EQ(lim.currentThresholdDb(), -30.0);
  EXPECT_EQ(lim.currentCeilingDb(), 0.0);
  const Stereo out = process<true>(lim, constant(1.0, 1000));
  EXPECT_LE(maxAbs(out[0]), 1.0);
}

// ---------------------------------------------------------------------------------------------
// Robustness and the bypass path

TEST(LimiterInput, NonFiniteSamplesComeOutAsSilence) {
  for (Mode mode : {Mode::ZeroLatency, Mode::Lookahead, Mode::TruePeak}) {
    SCOPED_TRACE(modeName(mode));
    Limiter lim;
    configure(lim, mode, 0.0f, 0.0f);
    lim.prepare(48000.0);
    const int D = lim.appliedDelay();
    Stereo in = constant(0.0, 2000);
    in[0][500] = std::numeric_limits<double>::quiet_NaN();
    in[1][500] = std::numeric_limits<double>::infinity();
    in[0][501] = -std::numeric_limits<double>::infinity();
    in[1][900] = 0.5;
    const Stereo out = process<true>(lim, in);
    for (int c = 0; c < 2; ++c) {
      for (size_t i = 0; i < 2000; ++i) ASSERT_TRUE(std::isfinite(out[static_cast<size_t>(c)][i])) << c << " " << i;
    }
    EXPECT_EQ(out[0][static_cast<size_t>(500 + D)], 0.0);
    EXPECT_EQ(out[1][static_cast<size_t>(500 + D)], 0.0);
    EXPECT_EQ(out[0][static_cast<size_t>(501 + D)], 0.0);
    // The limiter goes on working: a later sample passes unreduced.
    EXPECT_NEAR(out[1][static_cast<size_t>(900 + D)], 0.5, 1e-6);
    EXPECT_EQ(lim.takeReportedReduction(), 0.0f);
  }
}

TEST(LimiterInput, BadArgumentsAreIgnored) {
  Limiter lim;
  lim.prepare(48000.0);
  double buf[4] = {1, 2, 3, 4};
  double* io[2] = {buf, nullptr};
  lim.run<true>(nullptr, io, 2, 4, nullptr);
  lim.run<true>(io, io, 2, 4, nullptr);  // null channel pointer
  lim.run<true>(io, io, 0, 4, nullptr);
  lim.run<true>(io, io, 1, -3, nullptr);
  EXPECT_EQ(buf[3], 4.0);
  lim.run<true>(io, io, 1, 4, nullptr);  // mono works
  EXPECT_TRUE(std::isfinite(buf[3]));
}

TEST(LimiterBypass, RunFalseIsAPureDelayTimesTheFade) {
  Limiter lim;
  configure(lim, Mode::TruePeak, -20.0f, -3.0f);
  lim.prepare(48000.0);
  const int D = lim.appliedDelay();
  const Stereo in = loudMaterial(99, 48000.0, 3000);
  Stereo dry;
  const Stereo out = process<false>(lim, in, 100, &dry);
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < 3000; ++i) {
      const double expected = i < D ? 0.0 : static_cast<float>(in[static_cast<size_t>(c)][static_cast<size_t>(i - D)]);
      ASSERT_EQ(out[static_cast<size_t>(c)][static_cast<size_t>(i)], expected) << c << " " << i;
      ASSERT_EQ(dry[static_cast<size_t>(c)][static_cast<size_t>(i)], expected) << c << " " << i;
    }
  }
  EXPECT_NEAR(lim.takeReportedOutputPeak(), maxAbs(in[0], 0, 3000 - static_cast<size_t>(D)) > maxAbs(in[1], 0, 3000 - static_cast<size_t>(D))
                                                 ? maxAbs(in[0], 0, 3000 - static_cast<size_t>(D))
                                                 : maxAbs(in[1], 0, 3000 - static_cast<size_t>(D)),
              1e-6);
  // The fade keeps running while only delaying.
  lim.mute();
  const Stereo faded = process<false>(lim, constant(0.5, 400));
  for (int i = 0; i < D; ++i) ASSERT_EQ(faded[0][static_cast<size_t>(i)], 0.0);
  EXPECT_NEAR(faded[0][static_cast<size_t>(D + 59)], 0.5 * 60.0 / 120.0, 1e-5);
}

TEST(LimiterBypass, DryOutputIsTheDelayedUnlimitedSignal) {
  Limiter lim;
  configure(lim, Mode::Lookahead, -12.0f, -1.0f);
  lim.prepare(48000.0);
  const int D = lim.appliedDelay();
  const Stereo in = loudMaterial(5, 48000.0, 2000);
  Stereo dry;
  const Stereo out = process<true>(lim, in, 256, &dry);
  for (int i = D; i < 2000; ++i) {
    ASSERT_EQ(dry[1][static_cast<size_t>(i)], static_cast<float>(in[1][static_cast<size_t>(i - D)])) << i;
  }
  EXPECT_LT(maxAbs(out[1], static_cast<size_t>(D)), maxAbs(dry[1], static_cast<size_t>(D)));
}

TEST(LimiterChannels, MonoMatchesStereoWithASilentSecondChannelAndStereoReturnsSilent) {
  for (const Mode mode : {Mode::ZeroLatency, Mode::Lookahead, Mode::TruePeak}) {
    Limiter mono, stereo;
    for (Limiter* lim : {&mono, &stereo}) {
      configure(*lim, mode, -12.0f, -1.0f);
      lim->prepare(48000.0);
      lim->setMetering(true);
    }
    Stereo in = loudMaterial(17, 48000.0, 3000);
    in[1].assign(in[1].size(), 0.0);
    Stereo out = in;
    for (int s = 0; s < 3000; s += 100) {
      double* one[1] = {out[0].data() + s};
      mono.run<true>(one, one, 1, 100, nullptr);
    }
    const Stereo reference = process<true>(stereo, in, 100);
    ASSERT_EQ(out[0], reference[0]) << modeName(mode);
    EXPECT_EQ(mono.takeReportedOutputPeak(), stereo.takeReportedOutputPeak()) << modeName(mode);
    EXPECT_EQ(mono.takeReportedReduction(), stereo.takeReportedReduction()) << modeName(mode);

    // Loud stereo, a stretch of mono, then stereo with a silent second input: nothing from before
    // the mono stretch comes out of the second channel.
    Limiter lim;
    configure(lim, mode, -12.0f, -1.0f);
    lim.prepare(48000.0);
    process<true>(lim, loudMaterial(3, 48000.0, 2000));
    std::vector<double> single(500, 0.25);
    double* one[1] = {single.data()};
    lim.run<true>(one, one, 1, 500, nullptr);
    Stereo after = constant(0.25, 500);
    after[1].assign(500, 0.0);
    EXPECT_EQ(maxAbs(process<true>(lim, after)[1]), 0.0) << modeName(mode);
  }
}

TEST(LimiterRealtime, NoAllocationLockOrThrowInAnyMode) {
  PLUMBROOK_REQUIRE_TRIPWIRE();
  const Stereo in = loudMaterial(3, 48000.0, 4096);
  for (Mode mode : {Mode::ZeroLatency, Mode::Lookahead, Mode::TruePeak}) {
    SCOPED_TRACE(modeName(mode));
    Limiter lim;
    configure(lim, mode, -10.0f, -1.0f);
    lim.prepare(48000.0);
    lim.setMetering(true);
    Stereo work = in;
    Stereo dry = in;
    double* io[2] = {work[0].data(), work[1].data()};
    double* dryPtr[2] = {dry[0].data(), dry[1].data()};
    plumbrook::test::RealtimeGuard guard;
    lim.run<true>(io, io, 2, 1024, dryPtr);
    lim.settings.truePeak = !lim.settings.truePeak;
    lim.settings.ceilingDb = -3.0f;
    lim.requestReconfigure();
    lim.run<true>(io, io, 2, 1024, dryPtr);
    lim.run<false>(io, io, 2, 1024, nullptr);
    lim.restart();
    lim.mute();
    lim.reset();
    lim.run<true>(io, io, 1, 1024, nullptr);
    (void)lim.takeReportedReduction();
    (void)lim.takeReportedOutputPeak();
    const auto v = guard.disarm();
    EXPECT_FALSE(v.any()) << v.allocations << " allocations, " << v.locks << " locks, " << v.throws << " throws";
  }
}

// ---------------------------------------------------------------------------------------------
// Building blocks against brute-force references

TEST(SlidingMaximumTest, MatchesABruteForceMaximum) {
  const uint32_t seed = 20240611u;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> value(-1.0f, 10.0f);
  std::uniform_int_distribution<int> coarse(0, 4);
  SlidingMaximum queue;
  for (int length : {1, 2, 3, 13, 45, 289, 961, 1024}) {
    queue.reset(length);
    std::deque<float> window;
    for (int i = 0; i < 5000; ++i) {
      // Coarse values make ties common, which the queue must handle too.
      const float v = (i % 3 == 0) ? static_cast<float>(coarse(rng)) : value(rng);
      window.push_back(v);
      if (static_cast<int>(window.size()) > length) window.pop_front();
      const float expected = *std::max_element(window.begin(), window.end());
      ASSERT_EQ(queue.push(v), expected) << "seed " << seed << ", length " << length << ", step " << i;
    }
  }
}

TEST(MovingAverageTest, MatchesABruteForceMeanAndReturnsToExactZero) {
  const uint32_t seed = 777u;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> value(0.0f, 24.0f);
  MovingAverage avg;
  for (int length : {1, 13, 200}) {
    avg.reset(length);
    std::deque<float> window(static_cast<size_t>(length), 0.0f);
    for (int i = 0; i < 3000; ++i) {
      const float v = (i / 300) % 2 == 0 ? value(rng) : 0.0f;
      window.push_back(v);
      window.pop_front();
      double sum = 0.0;
      for (float w : window) sum += w;
      const float got = avg.push(v);
      ASSERT_NEAR(got, sum / length, 1e-4) << "seed " << seed << ", length " << length << ", step " << i;
      if (sum == 0.0) {
        ASSERT_EQ(got, 0.0f) << "seed " << seed << ", step " << i;
      }
    }
  }
}

TEST(LimiterInterpolator, SolvesItsDesignEquations) {
  constexpr int N = Limiter::kTaps;
  const double wc = Limiter::kInterpolatorBandwidth * std::numbers::pi;
  auto kernel = [wc](double d) { return d == 0.0 ? wc : std::sin(d * wc) / d; };
  Limiter lim;
  lim.prepare(48000.0);
  for (int k = 0; k < 3; ++k) {
    const double p = 0.25 * (k + 1);
    const auto h = Limiter::solveInterpolator(p);
    double worst = 0.0;
    for (int i = 0; i < N; ++i) {
      double row = 0.0;
      for (int j = 0; j < N; ++j) row += kernel(i - j) * h[static_cast<size_t>(j)];
      worst = std::max(worst, std::fabs(row - kernel(i - N / 2 + p)));
    }
    EXPECT_LT(worst, 1e-9) << p;
    double sum = 0.0;
    for (double v : h) sum += v;
    const auto& taps = lim.interpolatorTaps(k);
    double tapSum = 0.0;
    for (int j = 0; j < N; ++j) {
      tapSum += taps[static_cast<size_t>(j)];
      const float solved = static_cast<float>(h[static_cast<size_t>(N - 1 - j)] / sum);
      // The 1/4 filter is stored as solved; the others are made exactly symmetric to it.
      if (k == 0) {
        EXPECT_EQ(taps[static_cast<size_t>(j)], solved) << p << " " << j;
      }
      EXPECT_NEAR(taps[static_cast<size_t>(j)], solved, 1e-6) << p << " " << j;
    }
    EXPECT_NEAR(tapSum, 1.0, 1e-5) << p;
  }
  // The quarter and three-quarter filters mirror each other; the half filter is symmetric.
  for (int j = 0; j < N; ++j) {
    EXPECT_EQ(lim.interpolatorTaps(0)[static_cast<size_t>(j)], lim.interpolatorTaps(2)[static_cast<size_t>(N - 1 - j)]);
    EXPECT_EQ(lim.interpolatorTaps(1)[static_cast<size_t>(j)], lim.interpolatorTaps(1)[static_cast<size_t>(N - 1 - j)]);
  }
}

TEST(LimiterInterpolator, ReconstructsBandLimitedSinesBetweenSamples) {
  Limiter lim;
  lim.prepare(48000.0);
  // Up to 0.9 of the Nyquist frequency, within 0.05 dB.
  for (double f : {0.05, 0.2, 0.25, 0.4, 0.45}) {  // cycles per sample
    for (double phase : {0.0, 0.7, 2.1}) {
      double worst = 0.0;
      for (int k = 0; k < 3; ++k) {
        double y = 0.0;
        for (int j = 0; j < Limiter::kTaps; ++j) y += lim.interpolatorTaps(k)[static_cast<size_t>(j)] * std::sin(2 * std::numbers::pi * f * (j + 1) + phase);
        const double t = Limiter::kTaps / 2 + 0.25 * (k + 1);
        worst = std::max(worst, std::fabs(y - std::sin(2 * std::numbers::pi * f * t + phase)));
      }
      EXPECT_LT(worst, 6e-3) << f << " " << phase;
    }
  }
}

// Scalar model of the segment peak: direct dot products in double, then the same point rules.
float referenceSegmentPeak(const Limiter& lim, const std::vector<float>& window, float& last) {
  double v[3];
  for (int k = 0; k < 3; ++k) {
    double s = 0.0;
    for (int j = 0; j < Limiter::kTaps; ++j) s += static_cast<double>(lim.interpolatorTaps(k)[static_cast<size_t>(j)]) * window[static_cast<size_t>(j)];
    v[k] = s;
  }
  const double seq[6] = {last, window[Limiter::kLag], v[0], v[1], v[2], window[Limiter::kLag + 1]};
  double peak = 0.0;
  for (int k = 1; k <= 4; ++k) {
    const double l = seq[k - 1], y = seq[k], r = seq[k + 1];
    peak = std::max(peak, std::fabs(y));
    if (((y > 0 && y >= l && y >= r) || (y < 0 && y <= l && y <= r)) && l - 2 * y + r != 0.0) {
      // The parabola's rise scaled by 2 / (1 + cos h), cos h = (l + r) / 2y kept within 0..1.
      const double cosine = std::clamp((l + r) / (2 * y), 0.0, 1.0);
      const double rise = -(l - r) * (l - r) / (8 * (l - 2 * y + r)) * 2.0 / (1.0 + cosine);
      peak = std::max(peak, std::fabs(y + rise));
    }
  }
  last = static_cast<float>(v[2]);
  return static_cast<float>(peak);
}

TEST(LimiterInterpolator, WaveformPeakMatchesAScalarReference) {
  const uint32_t seed = 4242u;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  Limiter lim;
  lim.prepare(48000.0);
  std::array<Limiter::Recent, 2> history{};
  std::array<float, 2> last{};
  std::array<float, 2> refLast{};
  std::array<std::vector<float>, 2> recent{std::vector<float>(Limiter::kTaps, 0.0f), std::vector<float>(Limiter::kTaps, 0.0f)};
  for (int i = 0; i < 4000; ++i) {
    for (int c = 0; c < 2; ++c) {
      // Smooth for a while, then noise, so both extremum branches run.
      const float x = i < 2000 ? static_cast<float>(std::sin(0.9 * i + c)) : value(rng);
      history[static_cast<size_t>(c)].push(x);
      recent[static_cast<size_t>(c)].erase(recent[static_cast<size_t>(c)].begin());
      recent[static_cast<size_t>(c)].push_back(x);
    }
    const float got = lim.waveformPeak(history, 2, last);
    float expected = 0.0f;
    for (int c = 0; c < 2; ++c) expected = std::max(expected, referenceSegmentPeak(lim, recent[static_cast<size_t>(c)], refLast[static_cast<size_t>(c)]));
    // Float sums of 64 products of magnitude <= 1 differ from double by a few ulps of ~4.
    ASSERT_NEAR(got, expected, 4e-6f) << "seed " << seed << ", step " << i;
    ASSERT_NEAR(last[0], refLast[0], 4e-6f);
  }
  std::array<float, 2> none{};
  EXPECT_EQ(lim.waveformPeak(history, 0, none), 0.0f);
}

TEST(LimiterInterpolator, WaveformPeakFindsTheInterSamplePeak) {
  Limiter lim;
  lim.prepare(48000.0);
  std::array<Limiter::Recent, 2> history{};
  std::array<float, 2> last{};
  float best = 0.0f;
  for (int i = 0; i < 200; ++i) {
    const float x = static_cast<float>(std::sin(std::numbers::pi / 2 * i + std::numbers::pi / 4));
    history[0].push(x);
    history[1].push(-x);
    const float p = lim.waveformPeak(history, 2, last);
    if (i > 40) best = std::max(best, p);
  }
  EXPECT_NEAR(best, 1.0f, 2e-3f);
}


// ---------------------------------------------------------------------------------------------
// The batched block loop against a frame-by-frame model

// Straightforward model of the true-peak path with metering at fixed settings: every value is
// computed frame by frame from whole-signal arrays, with the float operations of the limiter's
// gain computer and the fixed order in which the folded interpolators add their products (two
// interleaved partial sums per filter over the window's outer-to-inner sample pairs).
struct TruePeakModel {
  static constexpr float kNegDbToLn = -0.115129254649702f;
  static constexpr float kDbPerLog2 = 6.02059991327962f;

  Stereo out;
  float reportedReduction = 0.0f;
  float reportedPeak = 0.0f;

  // The 1/4, 1/2 and 3/4 values of one window.
  static void interpolate(const Limiter& lim, const float* x, float* v) {
    constexpr int N = Limiter::kTaps;
    const auto& quarter = lim.interpolatorTaps(0);
    const auto& half = lim.interpolatorTaps(1);
    float e[2] = {}, o[2] = {}, h[2] = {};
    for (int j = 0; j < N / 2; ++j) {
      const float sum = x[j] + x[N - 1 - j];
      const float difference = x[j] - x[N - 1 - j];
      const size_t a = static_cast<size_t>(j), b = static_cast<size_t>(N - 1 - j);
      e[j % 2] += sum * (0.5f * (quarter[a] + quarter[b]));
      o[j % 2] += difference * (0.5f * (quarter[a] - quarter[b]));
      h[j % 2] += sum * half[a];
    }
    const float even = e[0] + e[1], odd = o[0] + o[1];
    v[0] = even + odd;
    v[1] = h[0] + h[1];
    v[2] = even - odd;
  }

  static float pointPeak(float y, float l, float r) {
    const float magnitude = std::fabs(y);
    const float curvature = l - 2.0f * y + r;
    const bool extremum = (y > 0.0f && y >= l && y >= r) || (y < 0.0f && y <= l && y <= r);
    if (!extremum || curvature == 0.0f) return magnitude;
    const float d = l - r;
    const float twice = 2.0f * y;
    const float sum = twice + l + r;
    const float spread = y > 0.0f ? std::max(sum, twice) : std::min(sum, twice);
    return std::max(std::fabs(y - d * d * y / (2.0f * (curvature * spread))), magnitude);
  }

  // Peak of frame n's segment over both channels of `signal`; `last` holds each channel's
  // 3/4-position value of the previous call.
  static float segmentPeak(const Limiter& lim, const std::array<std::vector<float>, 2>& signal, int n,
                           std::array<float, 2>& last) {
    float peak = 0.0f;
    for (size_t c = 0; c < 2; ++c) {
      float x[Limiter::kTaps];
      for (int j = 0; j < Limiter::kTaps; ++j) {
        const int at = n - (Limiter::kTaps - 1) + j;
        x[j] = at >= 0 ? signal[c][static_cast<size_t>(at)] : 0.0f;
      }
      float v[3];
      interpolate(lim, x, v);
      const float q = v[0], h = v[1], t = v[2];
      const float a = x[Limiter::kLag], b = x[Limiter::kLag + 1];
      peak = std::max({peak, pointPeak(a, last[c], q), pointPeak(q, a, h), pointPeak(h, q, t), pointPeak(t, h, b)});
      last[c] = t;
    }
    return peak;
  }

  TruePeakModel(const Limiter& lim, const Stereo& input, double rate, float thresholdDb, float ceilingDb) {
    const int frames = static_cast<int>(input[0].size());
    const int D = lim.appliedDelay();
    const int O = lim.reductionDelay();
    const int wmax = lim.windowMaxLength();
    const int wavg = lim.windowAverageLength();
    const float drive = static_cast<float>(std::pow(10.0, (static_cast<double>(ceilingDb) - thresholdDb) / 20.0));
    const float ceiling = static_cast<float>(std::pow(10.0, static_cast<double>(ceilingDb) / 20.0));
    const float target = ceiling * 0.99994242f;
    const float excessAttack = static_cast<float>(1.0 - std::exp(-1.0 / (0.007 * rate)));
    const float releaseStep = static_cast<float>(16.0 / rate);
    const float windowRelease = static_cast<float>(std::exp(-1.0 / (0.0003 * rate)));
    const int excessHold = static_cast<int>(std::round(0.003 * rate));

    std::array<std::vector<float>, 2> x;
    std::array<std::vector<float>, 2> y;
    for (size_t c = 0; c < 2; ++c) {
      for (double v : input[c]) x[c].push_back(static_cast<float>(v));
      y[c].assign(static_cast<size_t>(frames), 0.0f);
    }
    std::vector<float> r(static_cast<size_t>(frames));
    std::vector<float> held(static_cast<size_t>(frames));
    std::array<float, 2> lastIn{};
    std::array<float, 2> lastOut{};
    float windowHeld = 0.0f, excessHeld = 0.0f, e1 = 0.0f, e2 = 0.0f;
    int excessCountdown = 0;
    double sum = 0.0;
    out = {std::vector<double>(static_cast<size_t>(frames)), std::vector<double>(static_cast<size_t>(frames))};
    for (int n = 0; n < frames; ++n) {
      const float p = segmentPeak(lim, x, n, lastIn);
      const float level = p * drive;
      r[static_cast<size_t>(n)] = level > target ? std::min(kDbPerLog2 * std::log2(level / target), 1000.0f) : 0.0f;
      // Window maximum of the reduction delayed by O frames.
      float windowMax = 0.0f;
      for (int k = n - O - wmax + 1; k <= n - O; ++k) {
        if (k >= 0) windowMax = std::max(windowMax, r[static_cast<size_t>(k)]);
      }
      if (windowMax >= windowHeld) {
        windowHeld = windowMax;
      } else {
        windowHeld = windowMax + (windowHeld - windowMax) * windowRelease;
        if (windowHeld < 1e-5f) windowHeld = 0.0f;
      }
      held[static_cast<size_t>(n)] = windowHeld;
      // Moving average with a running double sum that returns to exactly 0 on a silent window.
      int nonZero = 0;
      for (int k = std::max(0, n - wavg + 1); k <= n; ++k) nonZero += held[static_cast<size_t>(k)] != 0.0f;
      const double leaving = n >= wavg ? static_cast<double>(held[static_cast<size_t>(n - wavg)]) : 0.0;
      sum += static_cast<double>(windowHeld) - leaving;
      if (nonZero == 0) sum = 0.0;
      const float average = sum / wavg > 0.0 ? static_cast<float>(sum / wavg) : 0.0f;
      // Excess envelope.
      const float rn = r[static_cast<size_t>(n)];
      if (rn >= excessHeld) {
        excessHeld = rn;
        excessCountdown = excessHold;
      } else if (excessCountdown > 0) {
        --excessCountdown;
      } else {
        excessHeld = rn;
      }
      const float e = std::max(0.0f, excessHeld - 2.0f);
      if (e > e2) {
        e1 += (e - e1) * excessAttack;
        if (e1 > e2) e2 += (e1 - e2) * excessAttack;
      } else if (e2 > 0.0f) {
        float next = e2 - releaseStep * e2 / (2.0f + e2);
        if (next < std::max(1e-5f, e)) next = e;
        e2 = next;
        e1 = std::min(e1, e2);
      }
      const float reduction = std::max(average, e2);
      // Output.
      const bool filling = n < D;
      for (size_t c = 0; c < 2; ++c) {
        const float s = n >= D ? x[c][static_cast<size_t>(n - D)] : 0.0f;
        float v = s * 1.0f;
        if (!filling) {
          const float gain = (reduction > 0.0f ? std::exp(reduction * kNegDbToLn) : 1.0f) * drive;
          v = std::clamp(s * gain * 1.0f, -ceiling, ceiling);
          reportedPeak = std::max(reportedPeak, std::fabs(v));
        }
        y[c][static_cast<size_t>(n)] = v;
        out[c][static_cast<size_t>(n)] = v;
      }
      if (!filling) {
        reportedReduction = std::max(reportedReduction, reduction);
        reportedPeak = std::max(reportedPeak, segmentPeak(lim, y, n, lastOut));
      }
    }
  }
};

TEST(LimiterTruePeakPath, MatchesAFrameByFrameModelExactly) {
  const uint32_t seed = 31337u;
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    SCOPED_TRACE(::testing::Message() << rate << " Hz, seed " << seed);
    const int frames = static_cast<int>(rate / 4);
    // Loud material with clicks, then a quieter stretch so that the reduction also releases.
    Stereo in = loudMaterial(seed, rate, frames);
    for (auto& c : in) {
      for (size_t i = static_cast<size_t>(frames * 3 / 4); i < c.size(); ++i) c[i] *= 0.05;
    }
    Limiter lim;
    configure(lim, Mode::TruePeak, -9.0f, -0.5f);
    lim.prepare(rate);
    lim.setMetering(true);
    // Odd block sizes so that blocks and internal chunks never line up.
    Stereo out = in;
    const int blocks[] = {1, 37, 100, 64, 65, 311};
    int block = 0;
    for (int s = 0; s < frames;) {
      const int n = std::min(blocks[block++ % 6], frames - s);
      double* io[2] = {out[0].data() + s, out[1].data() + s};
      lim.run<true>(io, io, 2, n, nullptr);
      s += n;
    }
    const TruePeakModel model(lim, in, rate, -9.0f, -0.5f);
    for (size_t c = 0; c < 2; ++c) {
      for (int i = 0; i < frames; ++i) ASSERT_EQ(out[c][static_cast<size_t>(i)], model.out[c][static_cast<size_t>(i)]) << c << " " << i;
    }
    EXPECT_EQ(lim.takeReportedReduction(), model.reportedReduction);
    EXPECT_EQ(lim.takeReportedOutputPeak(), model.reportedPeak);
    // The material really is limited, and its true peak exceeds its sample peak.
    EXPECT_GT(model.reportedReduction, 6.0f);
    EXPECT_GT(model.reportedPeak, static_cast<float>(std::max(maxAbs(out[0]), maxAbs(out[1]))));
  }
}

// Output and final reported values for a run with a glide, reconfigurations, a restart with
// mute, a mono and a bypassed stretch, in blocks of at most `block` frames (cut at the events).
struct ScenarioResult {
  Stereo out;
  Stereo dry;
  float reduction = 0.0f;
  float peak = 0.0f;
};

ScenarioResult runScenario(const Stereo& in, int block) {
  Limiter lim;
  configure(lim, Mode::TruePeak, -8.0f, -0.5f);
  lim.prepare(48000.0);
  lim.setMetering(true);
  ScenarioResult result{in, in, 0.0f, 0.0f};
  const int frames = static_cast<int>(in[0].size());
  const int events[] = {3000, 6000, 9000, 12000, 15000, 17000, 18000, 19000, 20000, frames};
  for (int s = 0; s < frames;) {
    if (s == 3000) lim.settings.thresholdDb = -14.0f;  // glide
    if (s == 6000) {
      configure(lim, Mode::Lookahead, -14.0f, -1.0f);
      lim.requestReconfigure();
    }
    if (s == 9000) {
      configure(lim, Mode::ZeroLatency, -6.0f, -1.0f);
      lim.requestReconfigure();
    }
    if (s == 12000) {
      configure(lim, Mode::TruePeak, -10.0f, -0.2f);
      lim.requestReconfigure();
    }
    if (s == 15000) {
      lim.restart();
      lim.mute();
    }
    int n = std::min(block, frames - s);
    for (int e : events) {
      if (e > s) {
        n = std::min(n, e - s);
        break;
      }
    }
    double* io[2] = {result.out[0].data() + s, result.out[1].data() + s};
    double* dry[2] = {result.dry[0].data() + s, result.dry[1].data() + s};
    if (s >= 19000 && s < 20000) {
      lim.run<false>(io, io, 2, n, dry);
    } else {
      lim.run<true>(io, io, (s >= 17000 && s < 18000) ? 1 : 2, n, dry);
    }
    s += n;
  }
  result.reduction = lim.takeReportedReduction();
  result.peak = lim.takeReportedOutputPeak();
  return result;
}

TEST(LimiterBlocks, ResultsDoNotDependOnTheBlockSize) {
  const uint32_t seed = 8086u;
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  const Stereo in = loudMaterial(seed, 48000.0, 24000);
  const ScenarioResult reference = runScenario(in, 1);
  EXPECT_GT(reference.reduction, 3.0f);
  EXPECT_GT(reference.peak, 0.5f);
  for (int block : {7, 63, 64, 65, 256, 1000, 24000}) {
    SCOPED_TRACE(::testing::Message() << "block " << block);
    const ScenarioResult r = runScenario(in, block);
    for (size_t c = 0; c < 2; ++c) {
      for (size_t i = 0; i < in[0].size(); ++i) {
        ASSERT_EQ(r.out[c][i], reference.out[c][i]) << c << " " << i;
        ASSERT_EQ(r.dry[c][i], reference.dry[c][i]) << c << " " << i;
      }
    }
    EXPECT_EQ(r.reduction, reference.reduction);
    EXPECT_EQ(r.peak, reference.peak);
  }
}

}  // namespace
