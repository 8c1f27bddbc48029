// With true peak on, the written file's true peak stays at the limiter's ceiling: the built-in
// demo mastered, mastered again louder and pushed 10 dB straight in, and inter-sample-peak signals, at
// 44.1, 48 and 96 kHz, rendered by the tool and measured by an 8x scan.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "apps/demo_program.h"
#include "tests/apps/cli_fixture.h"
#include "tests/support/oversampled_peak_scan.h"

namespace plumbrook::test {
namespace {

using Channels = std::vector<std::vector<double>>;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kCeilingDb = -0.3;
// How far above the ceiling the 8x scan may read on signals whose content stays below 0.96 of the
// Nyquist frequency: rounding to 24 bits and the scan's own error.
constexpr double kToleranceDb = 0.02;
// Material with strong content up to the Nyquist frequency (differentiated noise in the hats,
// clipped transients) has peaks the detector cannot see within its look-ahead; what the limiter
// as built meets on it, with a little margin.
constexpr double kFullBandToleranceDb = 0.25;
constexpr int kFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

// A sine at a quarter of the rate with a 45 degree offset: every sample 3 dB under its peak.
Channels quarterRateSine(double rate) {
  std::vector<double> x;
  for (int i = 0; i < static_cast<int>(rate); ++i) x.push_back(std::sin(std::numbers::pi / 2.0 * i + std::numbers::pi / 4.0));
  return {x, x};
}

// Square waves near full scale, with harmonics up to the Nyquist frequency: one band-limited (its
// ripple peaks between samples), one switching between two sample values.
Channels squares(double rate) {
  std::vector<double> x;
  const int second = static_cast<int>(rate);
  for (int i = 0; i < second; ++i) {
    double s = 0.0;
    for (int h = 1; h * 1000.0 < rate / 2.0; h += 2) s += std::sin(kTwoPi * h * 1000.0 * i / rate) / h;
    x.push_back(0.95 * s * 4.0 / std::numbers::pi / 1.18);
  }
  for (int i = 0; i < second; ++i) x.push_back(std::sin(kTwoPi * 997.0 * i / rate) >= 0.0 ? 0.99 : -0.99);
  return {x, x};
}

Channels channelsOf(const Audio& audio) {
  Channels out;
  for (int c = 0; c < audio.channels; ++c) out.push_back(audio.channel(c));
  return out;
}

class TruePeakCeiling : public CliTest, public ::testing::WithParamInterface<int> {
 protected:
  // Renders `input` with true peak on and checks its 8x true peak against the tolerance for the
  // kind of material (`fullBand`: strong content up to the Nyquist frequency).
  void expectHeld(const std::string& what, const std::string& input, const std::string& output,
                  const std::vector<std::string>& settings, bool fullBand) {
    std::vector<std::string> args = {"render", input, "-o", output, "--dither", "none", "--bits", "24",
                                     "--set", "true_peak=on", "--set", "ceiling=-0.3", "--no-report"};
    args.insert(args.end(), settings.begin(), settings.end());
    const CommandResult r = plumbrook(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const Audio out = readAudio(path(output));
    ASSERT_GT(out.channels, 0) << what;
    const Channels channels = channelsOf(out);
    const double peakDb = scan_.peakDb(channels);
    std::printf("%-32s %6d Hz: 8x %+.3f dBTP, libebur128 %+.3f dBTP, %d windows of 10 ms over\n", what.c_str(),
                GetParam(), peakDb, truePeakDb(out), scan_.windowsAbove(channels, GetParam(), kCeilingDb));
    EXPECT_LE(peakDb, kCeilingDb + (fullBand ? kFullBandToleranceDb : kToleranceDb)) << what << " at " << GetParam() << " Hz";
    // Limiting, not muting.
    EXPECT_GT(peakDb, kCeilingDb - 0.3) << what << " at " << GetParam() << " Hz";
  }

  OversampledPeakScan scan_;
};

TEST_P(TruePeakCeiling, HoldsOnDemoSongAndInterSamplePeaks) {
  const int rate = GetParam();
  const std::vector<double> demo = cli::makeDemoProgram(rate, 8.0);
  Channels demoChannels(2);
  for (size_t i = 0; i < demo.size(); ++i) demoChannels[i % 2].push_back(demo[i]);
  ASSERT_TRUE(writeAudio(path("demo.wav"), makeAudio(demoChannels, rate), kFloat));
  ASSERT_TRUE(writeAudio(path("sine.wav"), makeAudio(quarterRateSine(rate), rate), kFloat));
  ASSERT_TRUE(writeAudio(path("squares.wav"), makeAudio(squares(rate), rate), kFloat));

  // The demo as the tool masters it, then that master again, 10 dB louder.
  expectHeld("demo, mastered", "demo.wav", "master.wav", {"--set", "gain=+2", "--set", "eq_low=+1.5", "--set", "eq_high=+2"},
             true);
  expectHeld("demo master, +10 dB", "master.wav", "again.wav", {"--set", "gain=+10"}, true);
  expectHeld("demo, +10 dB", "demo.wav", "demo-loud.wav", {"--set", "gain=+10"}, true);
  // Straight into the limiter, 3 dB over it.
  expectHeld("sine at fs/4, 45 degrees, +3 dB", "sine.wav", "sine-out.wav", {"--set", "gain=+3", "--set", "amount=0"}, false);
  expectHeld("squares, +3 dB", "squares.wav", "squares-out.wav", {"--set", "gain=+3", "--set", "amount=0"}, true);
}

INSTANTIATE_TEST_SUITE_P(Rates, TruePeakCeiling, ::testing::Values(44100, 48000, 96000));

}  // namespace
}  // namespace plumbrook::test
