// plumbrook render removes the plug-in's latency: an impulse comes out where it went in.
#include <sndfile.h>

#include <algorithm>
#include <cmath>

#include "tests/apps/cli_fixture.h"

namespace plumbrook::test {
namespace {

using Latency = CliTest;

int64_t loudestFrame(const Audio& audio) {
  int64_t best = 0;
  double peak = -1.0;
  for (int64_t i = 0; i < audio.frames(); ++i) {
    const double v = std::fabs(audio.samples[static_cast<size_t>(i * audio.channels)]);
    if (v > peak) {
      peak = v;
      best = i;
    }
  }
  return best;
}

TEST_F(Latency, an_impulse_stays_at_its_index_at_every_rate) {
  for (const int rate : {44100, 48000, 96000}) {
    SCOPED_TRACE(rate);
    const int64_t frames = rate / 2;
    const int64_t at = rate / 4 + 3;
    std::vector<double> x(static_cast<size_t>(frames), 0.0);
    x[static_cast<size_t>(at)] = 0.5;
    ASSERT_TRUE(writeAudio(path("impulse.wav"), makeAudio({x, x}, rate), SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    // Amount 0 and flat EQ keep the impulse an impulse; the limiter does not touch it.
    const std::vector<std::string> common = {"render", "impulse.wav", "--set", "amount=0", "--set", "width_active=off",
                                             "--report-json", "report.json", "-q"};
    std::vector<std::string> ahead = common;
    ahead.insert(ahead.end(), {"-o", "ahead.wav", "--set", "lookahead=on"});
    const CommandResult r = plumbrook(ahead);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string json = fileBytes(path("report.json"));
    const int expectedLatency = static_cast<int>(std::clamp(std::lround(0.0015 * rate), 40L, 960L));
    EXPECT_NE(json.find("\"latency_samples\": " + std::to_string(expectedLatency)), std::string::npos) << json;

    std::vector<std::string> direct = common;
    direct.insert(direct.end(), {"-o", "direct.wav", "--set", "lookahead=off"});
    ASSERT_EQ(plumbrook(direct).status, 0);

    const Audio a = readAudio(path("ahead.wav"));
    const Audio d = readAudio(path("direct.wav"));
    ASSERT_EQ(a.frames(), frames);
    EXPECT_EQ(loudestFrame(a), at);
    EXPECT_EQ(loudestFrame(d), at);
    // Beyond the peak, the whole response lines up with the one rendered without latency.
    double largestDifference = 0.0;
    for (size_t i = 0; i < a.samples.size(); ++i)
      largestDifference = std::max(largestDifference, std::fabs(a.samples[i] - d.samples[i]));
    EXPECT_LT(largestDifference, 1e-6);
  }
}

}  // namespace
}  // namespace plumbrook::test
