// Three-band crossover: band shapes, all-pass sum and frequency limiting.
#include "dsp/crossover3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "tests/support/realtime_tripwire.h"
#include "tests/support/signals.h"

namespace {

using plumbrook::dsp::Crossover3;

struct ImpulseResponses {
  std::vector<double> low, mid, high, sum;
};

ImpulseResponses impulseResponses(double sampleRate, double lowHz, double highHz, int length) {
  Crossover3 x;
  x.prepare(sampleRate, lowHz, highHz);
  ImpulseResponses r;
  for (int i = 0; i < length; ++i) {
    const Crossover3::Bands b = x.process(i == 0 ? 1.0 : 0.0);
    r.low.push_back(b.low);
    r.mid.push_back(b.mid);
    r.high.push_back(b.high);
    r.sum.push_back(b.low + b.mid + b.high);
  }
  return r;
}

// Magnitude of the discrete-time Fourier transform of an impulse response at one frequency.
double responseDb(const std::vector<double>& ir, double hz, double sampleRate) {
  const double w = 2.0 * std::numbers::pi * hz / sampleRate;
  std::complex<double> acc = 0.0;
  for (size_t n = 0; n < ir.size(); ++n) acc += ir[n] * std::polar(1.0, -w * static_cast<double>(n));
  return 20.0 * std::log10(std::abs(acc));
}

std::vector<double> logSweepFrequencies(double sampleRate) {
  std::vector<double> f;
  for (double hz = 10.0; hz < 0.49 * sampleRate; hz *= 1.07) f.push_back(hz);
  return f;
}

class Crossover3Rates : public ::testing::TestWithParam<double> {};

TEST_P(Crossover3Rates, bands_sum_to_flat_magnitude) {
  const double sr = GetParam();
  const ImpulseResponses r = impulseResponses(sr, 157.0, 2700.0, 1 << 15);
  for (double hz : logSweepFrequencies(sr)) EXPECT_NEAR(responseDb(r.sum, hz, sr), 0.0, 0.01) << hz << " Hz";
}

TEST_P(Crossover3Rates, each_band_is_minus_six_db_at_its_splits_and_passes_its_range) {
  const double sr = GetParam();
  const ImpulseResponses r = impulseResponses(sr, 157.0, 2700.0, 1 << 15);
  const double lr4AtSplit = 20.0 * std::log10(0.5);
  EXPECT_NEAR(responseDb(r.low, 157.0, sr), lr4AtSplit, 0.01);
  EXPECT_NEAR(responseDb(r.mid, 157.0, sr), lr4AtSplit, 0.05);  // the high split barely reaches down here
  EXPECT_NEAR(responseDb(r.mid, 2700.0, sr), lr4AtSplit, 0.05);
  EXPECT_NEAR(responseDb(r.high, 2700.0, sr), lr4AtSplit, 0.05);
  EXPECT_NEAR(responseDb(r.low, 20.0, sr), 0.0, 0.01);
  EXPECT_NEAR(responseDb(r.mid, 650.0, sr), 0.0, 0.2);
  EXPECT_NEAR(responseDb(r.high, 15000.0, sr), 0.0, 0.01);
  // Fourth-order slopes: two octaves past a split is about 48 dB down.
  EXPECT_LT(responseDb(r.low, 4 * 157.0, sr), -40.0);
  EXPECT_LT(responseDb(r.high, 2700.0 / 4, sr), -40.0);
  EXPECT_LT(responseDb(r.mid, 157.0 / 4, sr), -40.0);
  EXPECT_LT(responseDb(r.mid, 2700.0 * 4, sr), -40.0);
}

INSTANTIATE_TEST_SUITE_P(crossover3, Crossover3Rates, ::testing::Values(44100.0, 48000.0, 96000.0, 192000.0));

TEST(crossover3, sum_of_bands_of_noise_keeps_its_energy) {
  // A sine through an all-pass keeps its level; check with a real signal, not just the design.
  Crossover3 x;
  x.prepare(48000.0, 157.0, 2700.0);
  for (double hz : {40.0, 157.0, 900.0, 2700.0, 9000.0}) {
    const std::vector<double> in = plumbrook::test::sine(hz, 48000.0, 48000, 0.5);
    std::vector<double> out;
    for (double v : in) {
      const auto b = x.process(v);
      out.push_back(b.low + b.mid + b.high);
    }
    const std::vector<double> tail(out.begin() + 24000, out.end());
    const std::vector<double> inTail(in.begin() + 24000, in.end());
    EXPECT_NEAR(20.0 * std::log10(plumbrook::test::rms(tail) / plumbrook::test::rms(inTail)), 0.0, 0.01) << hz;
  }
}

TEST(crossover3, split_above_the_usable_range_is_limited_and_stays_stable) {
  const double sr = 48000.0;
  const ImpulseResponses r = impulseResponses(sr, 157.0, 40000.0, 1 << 14);
  for (double v : r.sum) ASSERT_TRUE(std::isfinite(v));
  for (double hz : logSweepFrequencies(sr)) EXPECT_NEAR(responseDb(r.sum, hz, sr), 0.0, 0.01) << hz;
  // The high split sits at 0.49 of the rate: the high band is -6 dB there.
  EXPECT_NEAR(responseDb(r.high, 0.49 * sr, sr), 20.0 * std::log10(0.5), 0.1);
}

TEST(crossover3, bad_rate_falls_back_and_clear_forgets_the_past) {
  Crossover3 x;
  x.prepare(0.0, 157.0, 2700.0);
  Crossover3 ref;
  ref.prepare(48000.0, 157.0, 2700.0);
  for (int i = 0; i < 100; ++i) x.process(1.0);
  x.clear();
  plumbrook::test::RealtimeGuard guard;
  for (int i = 0; i < 64; ++i) {
    const auto a = x.process(i == 0 ? 1.0 : 0.0);
    const auto b = ref.process(i == 0 ? 1.0 : 0.0);
    ASSERT_EQ(a.low, b.low);
    ASSERT_EQ(a.mid, b.mid);
    ASSERT_EQ(a.high, b.high);
  }
  EXPECT_FALSE(guard.disarm().any());
}

}  // namespace
