// Array log and exp: agreement with the scalar library functions at every length and position.
#include "dsp/vector_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "tests/support/realtime_tripwire.h"

namespace {

using plumbrook::dsp::expInPlace;
using plumbrook::dsp::logInPlace;

TEST(vector_math, log_and_exp_match_the_scalar_functions_for_every_length) {
  const uint32_t seed = 4711;
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> exponent(-300.0, 300.0);
  std::uniform_real_distribution<double> power(-700.0, 700.0);
  for (int n = 0; n <= 37; ++n) {
    std::vector<double> x(n), y(n);
    for (double& v : x) v = std::pow(10.0, exponent(rng));
    for (double& v : y) v = power(rng);
    std::vector<double> lx = x, ey = y;
    {
      plumbrook::test::RealtimeGuard guard;
      logInPlace(lx.data(), n);
      expInPlace(ey.data(), n);
      EXPECT_FALSE(guard.disarm().any());
    }
    for (int i = 0; i < n; ++i) {
      ASSERT_NEAR(lx[i], std::log(x[i]), 1e-14 * std::abs(std::log(x[i])) + 1e-300) << n << " " << i;
      ASSERT_NEAR(ey[i], std::exp(y[i]), 1e-14 * std::exp(y[i])) << n << " " << i;
    }
  }
}

TEST(vector_math, the_detector_range_is_exact_enough_for_decibels) {
  // The glue detector takes logs of levels from 1e-30 up and exps of gains down to about -600 dB.
  std::vector<double> levels = {1e-30, 1e-12, 1e-5, 0.001, 0.5, 1.0, 2.0, 1e3};
  std::vector<double> logs = levels;
  logInPlace(logs.data(), static_cast<int>(logs.size()));
  for (size_t i = 0; i < levels.size(); ++i) EXPECT_NEAR(logs[i], std::log(levels[i]), 1e-13);
  EXPECT_EQ(logs[5], 0.0);
  std::vector<double> gains = {0.0, -1e-9, -0.1, -5.0, -69.0};
  std::vector<double> exps = gains;
  expInPlace(exps.data(), static_cast<int>(exps.size()));
  EXPECT_EQ(exps[0], 1.0);
  for (size_t i = 0; i < gains.size(); ++i) EXPECT_NEAR(exps[i] / std::exp(gains[i]), 1.0, 1e-14);
}

}  // namespace
