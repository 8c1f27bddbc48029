// plumbrook render settings: --set by name or symbol, order, clamping, saved state files.
#include <sndfile.h>

#include <cmath>
#include <fstream>

#include "platform/offline/offline_host.h"
#include "tests/apps/cli_fixture.h"

namespace plumbrook::test {
namespace {

class Settings : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    // Hot enough that the limiter, glue and EQ settings all change the result.
    ASSERT_TRUE(writeAudio(path("in.wav"), program(2, 48000, 1.5, 0.99), SF_FORMAT_WAV | SF_FORMAT_FLOAT));
  }
  // Renders in.wav with extra arguments into `out`; returns the output file's bytes.
  std::string render(const std::string& out, const std::vector<std::string>& settings) {
    std::vector<std::string> args = {"render", "in.wav", "-o", out, "-q"};
    args.insert(args.end(), settings.begin(), settings.end());
    const CommandResult r = plumbrook(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return fileBytes(path(out));
  }
};

TEST_F(Settings, names_and_symbols_set_the_same_parameters) {
  const std::string plain = render("plain.wav", {});
  const std::string bySymbol =
      render("symbol.wav", {"--set", "ceiling=-3", "--set", "eq_low=2", "--set", "amount=150", "--set", "true_peak=on"});
  const std::string byName = render("name.wav", {"--set", "Limiter Ceiling=-3 dB", "--set", "EQ Low=+2,0",
                                                 "--set", "amount=150 %", "--set", "Limiter True Peak=on"});
  const std::string byOtherSpelling = render("other.wav", {"--set", "limiter_ceiling=\xE2\x88\x92" "3",
                                                           "--set", "eq-low=2", "--set", "AMOUNT=150",
                                                           "--set", "limiter-true-peak=ON"});
  EXPECT_EQ(bySymbol, byName);
  EXPECT_EQ(bySymbol, byOtherSpelling);
  EXPECT_NE(bySymbol, plain);
  // The ceiling is there in the file.
  const Audio limited = readAudio(path("symbol.wav"));
  double peak = 0.0;
  for (double v : limited.samples) peak = std::max(peak, std::fabs(v));
  EXPECT_LE(20.0 * std::log10(peak), -3.0 + 1e-4);
}

TEST_F(Settings, later_options_override_earlier_ones_and_values_are_clamped) {
  EXPECT_EQ(render("a.wav", {"--set", "gain=3", "--set", "gain=-2"}), render("b.wav", {"--set", "gain=-2"}));
  const CommandResult r = plumbrook({"render", "in.wav", "-o", "c.wav", "--set", "gain=40"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Gain 40 is outside -24 .. 24; using 24"), std::string::npos) << r.err;
  EXPECT_EQ(fileBytes(path("c.wav")), render("d.wav", {"--set", "gain=24"}));
}

TEST_F(Settings, a_saved_state_renders_like_the_same_settings) {
  std::string error;
  auto host = offline::OfflineHost::create({}, error);
  ASSERT_TRUE(host) << error;
  host->setParameter(kLimiterCeiling, -2.0);
  host->setParameter(kEqHigh, -3.0);
  host->setParameter(kLimiterLookahead, 1.0);
  const offline::SavedState state = host->saveState();
  ASSERT_TRUE(state.data.has_value());
  std::ofstream(path("song.state"), std::ios::binary)
      .write(reinterpret_cast<const char*>(state.data->data()), static_cast<std::streamsize>(state.data->size()));

  const std::string fromState = render("state.wav", {"--state", "song.state"});
  EXPECT_EQ(fromState, render("set.wav", {"--set", "ceiling=-2", "--set", "eq_high=-3", "--set", "lookahead=on"}));
  // A --set after the state overrides it; one before it is overridden.
  EXPECT_EQ(render("after.wav", {"--state", "song.state", "--set", "eq_high=0"}),
            render("set2.wav", {"--set", "ceiling=-2", "--set", "lookahead=on"}));
  EXPECT_EQ(render("before.wav", {"--set", "eq_high=0", "--state", "song.state"}), fromState);
}

}  // namespace
}  // namespace plumbrook::test
