// What a delivered master needs beyond the chain: dither, honest figures for lossy files, the
// true-peak guard, and clear refusals of input that cannot be mastered as asked.
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <regex>
#include <thread>

#include "tests/apps/cli_fixture.h"

namespace plumbrook::test {
namespace {

class Master : public CliTest {
 protected:
  // Correlation coefficient of two equally long sequences.
  static double correlation(const std::vector<double>& a, const std::vector<double>& b, size_t lag = 0) {
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (size_t i = lag; i < a.size(); ++i) {
      ab += a[i] * b[i - lag];
      aa += a[i] * a[i];
      bb += b[i - lag] * b[i - lag];
    }
    return ab / std::sqrt(aa * bb);
  }
  static double afterTruePeak(const std::string& json) {
    std::smatch m;
    if (!std::regex_search(json, m, std::regex(R"("after": \{[^}]*"true_peak_dbtp":\s*(-?[0-9.]+))"))) return NAN;
    return std::stod(m[1]);
  }
  static double jsonNumber(const std::string& json, const std::string& key) {
    std::smatch m;
    if (!std::regex_search(json, m, std::regex("\"" + key + R"(\":\s*(-?[0-9.]+))"))) return NAN;
    return std::stod(m[1]);
  }
};

TEST_F(Master, dither_noise_has_its_level_and_spectrum_and_ignores_the_signal) {
  // A sine of 0.3 steps of 16-bit through the bypassed chain: plain rounding turns it into
  // silence (the error is the signal itself); dither keeps it as signal plus independent noise.
  constexpr int kRate = 48000;
  constexpr double kStep = 1.0 / 32768.0;
  const std::vector<double> quiet = sine(997.0, kRate, 4 * kRate, 0.3 * kStep);
  ASSERT_TRUE(writeAudio(path("in.wav"), makeAudio({quiet}, kRate), SF_FORMAT_WAV | SF_FORMAT_FLOAT));
  const Audio in = readAudio(path("in.wav"));
  struct Want {
    const char* dither;
    double rmsSteps;    // total error: rounding plus added noise
    double neighbour;   // correlation of successive errors: 0 for white, -1/2 for 1 - z^-1
  };
  for (const Want& want : {Want{"tpdf", 0.5, 0.0}, Want{"shaped", std::sqrt(0.5), -0.5}}) {
    SCOPED_TRACE(want.dither);
    const std::string out = path(std::string(want.dither) + ".wav");
    const CommandResult r = plumbrook({"render", "in.wav", "-o", out, "--bits", "16", "--set", "bypass=on",
                                       "--dither", want.dither, "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Audio got = readAudio(out);
    ASSERT_EQ(got.samples.size(), in.samples.size());
    std::vector<double> error(in.samples.size());
    for (size_t i = 0; i < error.size(); ++i) error[i] = (got.samples[i] - in.samples[i]) / kStep;
    EXPECT_NEAR(rms(error), want.rmsSteps, 0.03);
    EXPECT_NEAR(correlation(error, in.samples), 0.0, 0.02);
    EXPECT_NEAR(correlation(error, error, 1), want.neighbour, 0.03);
  }
  const CommandResult plain = plumbrook({"render", "in.wav", "-o", "none.wav", "--bits", "16", "--set", "bypass=on",
                                         "--dither", "none", "-q"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(peak(readAudio(path("none.wav")).samples), 0.0) << "without dither the quiet sine rounds away";
  // Dither is the default whenever the output has fewer bits.
  ASSERT_EQ(plumbrook({"render", "in.wav", "-o", "default.wav", "--bits", "16", "--set", "bypass=on", "-q"}).status, 0);
  EXPECT_EQ(fileBytes(path("default.wav")), fileBytes(path("tpdf.wav")));
}

TEST_F(Master, a_lossy_file_is_measured_as_written_and_the_guard_keeps_it_under_the_ceiling) {
  // Pink noise driven 9 dB into a -1 dB ceiling: the MP3 encoder's own overshoot lands above it.
  ASSERT_TRUE(writeAudio(path("in.wav"), makeAudio({pinkNoise(5, 6 * 44100, 0.9), pinkNoise(6, 6 * 44100, 0.9)}, 44100),
                         SF_FORMAT_WAV | SF_FORMAT_FLOAT));
  auto render = [&](const std::string& name, std::vector<std::string> extra) {
    std::vector<std::string> args = {"render", "in.wav", "-o", name + ".mp3", "--report-json", name + ".json",
                                     "--set", "gain=+9", "--set", "ceiling=-1", "--set", "true_peak=on"};
    args.insert(args.end(), extra.begin(), extra.end());
    return plumbrook(args);
  };
  const CommandResult plain = render("plain", {});
  ASSERT_EQ(plain.status, 0) << plain.err;
  const double written = truePeakDb(readAudio(path("plain.mp3")));
  ASSERT_GT(written, -1.0) << "the encoder did not overshoot: this test shows nothing";
  EXPECT_NEAR(afterTruePeak(fileBytes(path("plain.json"))), written, 0.05);
  char figure[16];
  std::snprintf(figure, sizeof figure, "%.2f dBTP", written);
  EXPECT_NE(plain.err.find(std::string("true peak is ") + figure), std::string::npos) << plain.err;

  const CommandResult guarded = render("guarded", {"--guard-true-peak"});
  ASSERT_EQ(guarded.status, 0) << guarded.err;
  const double kept = truePeakDb(readAudio(path("guarded.mp3")));
  EXPECT_LE(kept, -1.0);
  const std::string json = fileBytes(path("guarded.json"));
  EXPECT_NEAR(afterTruePeak(json), kept, 0.05);
  EXPECT_GT(jsonNumber(json, "guard_lowered_db"), written + 1.0 - 0.05);
  EXPECT_EQ(guarded.err.find("warning"), std::string::npos) << guarded.err;
}

TEST_F(Master, short_truncated_and_endless_inputs_are_named_for_what_they_are) {
  // 0.3 s of a loud tone: not silent, but shorter than one loudness block.
  ASSERT_TRUE(writeAudio(path("short.wav"), makeAudio({sine(440.0, 48000, 14400, 0.5)}, 48000),
                         SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  const CommandResult tooShort = plumbrook({"render", "short.wav", "-o", "out.wav", "--target-lufs", "-14"});
  EXPECT_EQ(tooShort.status, 1);
  EXPECT_NE(tooShort.err.find("too short to measure integrated loudness"), std::string::npos) << tooShort.err;

  // The data ends half-way through what the header declares.
  ASSERT_TRUE(writeAudio(path("whole.wav"), program(2, 48000, 1.0), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  const std::string whole = fileBytes(path("whole.wav"));
  std::ofstream(path("cut.wav"), std::ios::binary) << whole.substr(0, whole.size() / 2);
  const CommandResult cut = plumbrook({"render", "cut.wav", "-o", "out.wav", "-q"});
  EXPECT_EQ(cut.status, 0) << cut.err;
  EXPECT_NE(cut.err.find("'cut.wav' is truncated"), std::string::npos) << cut.err;
  const CommandResult cutStream = plumbrook({"render", "-", "-o", "out.wav", "-q"}, whole.substr(0, whole.size() / 2));
  EXPECT_EQ(cutStream.status, 0) << cutStream.err;
  EXPECT_NE(cutStream.err.find("standard input is truncated"), std::string::npos) << cutStream.err;
  // A stream whose header leaves the length open (all ones, as writers into a pipe put it) is whole.
  std::string open = whole;
  open.replace(whole.find("data") + 4, 4, "\xff\xff\xff\xff");
  const CommandResult openStream = plumbrook({"render", "-", "-o", "out.wav", "-q"}, open);
  EXPECT_EQ(openStream.status, 0) << openStream.err;
  EXPECT_EQ(openStream.err, "");
  const CommandResult intact = plumbrook({"render", "whole.wav", "-o", "out.wav", "-q"});
  EXPECT_EQ(intact.err, "");

  // An endless stream that is not audio is refused at once instead of being held.
  Command endless = command({"-c", plumbrookPath() + " render - -o out.wav --target-lufs -14 < /dev/zero"});
  endless.program = "/bin/sh";
  const CommandResult zeros = run(endless);
  EXPECT_EQ(zeros.status, 1);
  EXPECT_NE(zeros.err.find("standard input: not a supported audio file"), std::string::npos) << zeros.err;
}

TEST_F(Master, the_report_folder_is_checked_first_and_a_planted_link_is_not_followed) {
  ASSERT_TRUE(writeAudio(path("in.wav"), program(2, 48000, 1.0), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  const CommandResult blocked = plumbrook({"render", "in.wav", "-o", "out.wav", "--report-json", "in.wav/r.json"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_NE(blocked.err.find("'in.wav' is not a directory"), std::string::npos) << blocked.err;
  EXPECT_FALSE(std::filesystem::exists(path("out.wav"))) << "refused before rendering";

  std::ofstream(path("victim")) << "keep me";
  std::filesystem::create_symlink(path("victim"), path("r.json.partial"));
  const CommandResult r = plumbrook({"render", "in.wav", "-o", "out.wav", "--report-json", "r.json", "-q"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(fileBytes(path("victim")), "keep me");
  EXPECT_NE(fileBytes(path("r.json")).find("\"after\""), std::string::npos);
}

TEST_F(Master, a_loudness_search_holds_at_most_one_temporary_file) {
  // Disk use: the search's passes measure without writing, so the folder never holds more than
  // the one file being written (not one per pass, each as large as the master).
  ASSERT_TRUE(writeAudio(path("in.wav"), program(2, 48000, 20.0, 0.5), SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  const pid_t pid = start(command({"render", "in.wav", "-o", "out.wav", "--target-lufs", "-12"}));
  ASSERT_GT(pid, 0);
  size_t most = 0;
  int status = -1;
  while (true) {
    size_t now = 0;
    for (const std::string& name : files()) now += name.find("partial") != std::string::npos;
    most = std::max(most, now);
    int raw = 0;
    if (waitpid(pid, &raw, WNOHANG) == pid) {
      status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  EXPECT_EQ(status, 0);
  EXPECT_EQ(most, 1u) << "0 would mean the polling never saw the master being written";
  EXPECT_NEAR(integratedLufs(readAudio(path("out.wav"))), -12.0, 0.1);
}

TEST_F(Master, an_interrupted_loudness_search_leaves_no_file_behind) {
  // Five minutes: several search passes take longer than the wait below on any machine.
  ASSERT_TRUE(writeAudio(path("long.wav"), program(2, 48000, 300.0, 0.5), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  std::ofstream(path("out.wav")) << "the previous master";
  const pid_t pid = start(command({"render", "long.wav", "-o", "out.wav", "--target-lufs", "-12"}));
  ASSERT_GT(pid, 0);
  // Stop it while it searches (the passes write nothing) or while it writes the one file.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  kill(pid, SIGTERM);
  EXPECT_EQ(finish(pid), 128 + SIGTERM) << "the render ended before the signal";
  EXPECT_TRUE(fileBytes(path("out.wav")) == "the previous master");
  for (const std::string& name : files()) EXPECT_EQ(name.find("partial"), std::string::npos) << name;
}

}  // namespace
}  // namespace plumbrook::test
