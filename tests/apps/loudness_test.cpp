// plumbrook render --target-lufs and the loudness report.
#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <regex>

#include "tests/apps/cli_fixture.h"
#include "tests/support/true_peak_meter.h"

namespace plumbrook::test {
namespace {

using Loudness = CliTest;

// A number field of the JSON report ("after" / "true_peak_dbtp" style paths by regex).
double jsonField(const std::string& json, const std::string& pattern) {
  std::smatch m;
  if (!std::regex_search(json, m, std::regex(pattern + R"(\s*(-?[0-9.]+))"))) return NAN;
  return std::stod(m[1]);
}

int passesIn(const std::string& json) {
  return static_cast<int>(jsonField(json, R"("passes":)"));
}

TEST_F(Loudness, target_is_reached_on_the_demo_and_on_pink_noise) {
  const CommandResult demo =
      plumbrook({"render", "-o", "demo.wav", "--target-lufs", "-14", "--report-json", "demo.json", "-q"});
  ASSERT_EQ(demo.status, 0) << demo.err;
  const double demoLufs = integratedLufs(readAudio(path("demo.wav")));
  EXPECT_NEAR(demoLufs, -14.0, 0.1);
  const std::string demoJson = fileBytes(path("demo.json"));
  EXPECT_NEAR(jsonField(demoJson, R"("after": \{"integrated_lufs":)"), demoLufs, 0.01);
  EXPECT_NEAR(jsonField(demoJson, R"("settings": \{[^}]*"gain":)"), jsonField(demoJson, R"("gain_db":)"), 1e-3);
  EXPECT_GE(passesIn(demoJson), 1);
  EXPECT_LE(passesIn(demoJson), 8);

  const int rate = 44100;
  const Audio pink = makeAudio({pinkNoise(11, 10 * rate, 0.2), pinkNoise(12, 10 * rate, 0.2)}, rate);
  ASSERT_TRUE(writeAudio(path("pink.wav"), pink, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  for (const char* target : {"-14", "-23", "-9"}) {
    SCOPED_TRACE(target);
    const CommandResult r =
        plumbrook({"render", "pink.wav", "-o", "pink-out.wav", "--target-lufs", target, "--report-json", "p.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(integratedLufs(readAudio(path("pink-out.wav"))), std::stod(target), 0.1);
    EXPECT_LE(passesIn(fileBytes(path("p.json"))), 8);
  }
}

TEST_F(Loudness, an_unreachable_target_is_refused) {
  const int rate = 48000;
  const Audio pink = makeAudio({pinkNoise(5, 4 * rate, 0.1), pinkNoise(6, 4 * rate, 0.1)}, rate);
  ASSERT_TRUE(writeAudio(path("pink.wav"), pink, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  const CommandResult loud = plumbrook({"render", "pink.wav", "-o", "out.wav", "--set", "ceiling=-20", "--target-lufs", "-3"});
  EXPECT_NE(loud.status, 0);
  EXPECT_NE(loud.err.find("--target-lufs -3.0 is out of reach"), std::string::npos) << loud.err;
  EXPECT_NE(loud.err.find("-20.0 dB ceiling"), std::string::npos) << loud.err;
  const CommandResult quiet = plumbrook({"render", "pink.wav", "-o", "out.wav", "--target-lufs", "-70"});
  EXPECT_NE(quiet.status, 0);
  EXPECT_NE(quiet.err.find("out of reach"), std::string::npos) << quiet.err;
  std::vector<std::vector<double>> silence(2, std::vector<double>(rate, 0.0));
  ASSERT_TRUE(writeAudio(path("silence.wav"), makeAudio(silence, rate), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  const CommandResult silent = plumbrook({"render", "silence.wav", "-o", "out.wav", "--target-lufs", "-14"});
  EXPECT_NE(silent.status, 0);
  EXPECT_NE(silent.err.find("silent"), std::string::npos) << silent.err;
  EXPECT_FALSE(std::filesystem::exists(path("out.wav")));
}

TEST_F(Loudness, report_measures_the_files_and_true_peak_stays_under_the_ceiling) {
  // Hot material with inter-sample peaks: a bright program peaking over full scale.
  const Audio hot = program(2, 48000, 6.0, 1.6, 21);
  ASSERT_TRUE(writeAudio(path("hot.wav"), hot, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
  const CommandResult r = plumbrook({"render", "hot.wav", "-o", "out.wav", "--set", "true_peak=on", "--set",
                                     "ceiling=-1", "--report", "--report-json", "r.json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("true peak"), std::string::npos) << r.out;
  const std::string json = fileBytes(path("r.json"));
  const Audio in = readAudio(path("hot.wav"));
  const Audio out = readAudio(path("out.wav"));
  EXPECT_NEAR(jsonField(json, R"("before": \{"integrated_lufs":)"), integratedLufs(in), 0.01);
  EXPECT_NEAR(jsonField(json, R"("after": \{"integrated_lufs":)"), integratedLufs(out), 0.01);
  EXPECT_GT(jsonField(json, R"("limiter_max_reduction_db":)"), 1.0);
  EXPECT_EQ(jsonField(json, R"("latency_samples":)"), 72.0);
  EXPECT_GT(jsonField(json, R"("glue_max_reduction_db": \[)"), 0.0);  // the low band works too
  EXPECT_EQ(jsonField(json, R"("ceiling":)"), -1.0);

  // The limiter's own overshoot, measured on the file with the long-kernel reference meter
  // away from the cut ends (which ring in any reconstruction). The report, measured by
  // libebur128, may not show much more than that: its short 4x interpolator reads this bright
  // material about 0.1 dB high.
  const TruePeakMeter meter;
  auto referenceDb = [&](const Audio& audio) {
    const int edge = 2000;
    const int end = static_cast<int>(audio.frames()) - edge;
    return 20.0 * std::log10(std::max(meter.peak(audio.channel(0), edge, end), meter.peak(audio.channel(1), edge, end)));
  };
  const double overshootDb = std::max(0.0, referenceDb(out) + 1.0);
  const double reportedDb = jsonField(json, R"("after": \{[^}]*"true_peak_dbtp":)");
  EXPECT_LE(reportedDb, -1.0 + overshootDb + 0.15) << "overshoot " << overshootDb;
  EXPECT_NEAR(reportedDb, truePeakDb(out), 0.01);

  // True Peak on is what holds the waveform down: without it the same render peaks higher.
  ASSERT_EQ(plumbrook({"render", "hot.wav", "-o", "sample.wav", "--set", "true_peak=off", "--set", "lookahead=on",
                       "--set", "ceiling=-1", "-q"}).status, 0);
  const Audio samplePeakOnly = readAudio(path("sample.wav"));
  EXPECT_GT(referenceDb(samplePeakOnly), referenceDb(out) + 0.1);
  std::printf("true-peak overshoot over the -1 dB ceiling: %.3f dB (reference), %.3f dB (report); "
              "sample-peak mode: %.3f dB\n", overshootDb, reportedDb + 1.0, referenceDb(samplePeakOnly) + 1.0);
}

}  // namespace
}  // namespace plumbrook::test
