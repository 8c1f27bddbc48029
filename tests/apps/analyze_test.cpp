// `plumbrook analyze` run as a user would: its figures against an independent meter (ffmpeg's
// ebur128 filter), delivery verdicts and exit status, files it cannot read, and its pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include "platform/window/headless_surface.h"
#include "tests/apps/cli_fixture.h"
#include "tests/support/picture_match.h"

using namespace plumbrook::test;

namespace {

namespace fs = std::filesystem;

fs::path referenceDir() { return fs::path(__FILE__).parent_path() / "references"; }

class Analyze : public CliTest {
 protected:
  // The picture at `name` against the reference of that name (remade with
  // PLUMBROOK_REMAKE_REFERENCES=1, as the editor's are).
  void matchesReference(const std::string& name) {
    plugkit::platform::HeadlessSurface probe;
    if (!probe.Valid()) GTEST_SKIP() << "no headless GL: " << probe.Error();
    const fs::path reference = referenceDir() / name;
    if (const char* remake = std::getenv("PLUMBROOK_REMAKE_REFERENCES"); remake && std::string(remake) == "1") {
      fs::copy_file(path(name), reference, fs::copy_options::overwrite_existing);
      GTEST_SKIP() << "remade " << reference;
    }
    EXPECT_TRUE(picturesMatch(path(name), reference.string(), name));
  }

  // The figure after `key` in the tool's JSON report.
  static double jsonFigure(const std::string& json, const std::string& key) {
    std::smatch m;
    if (!std::regex_search(json, m, std::regex("\"" + key + "\": (-?[0-9.]+)"))) return NAN;
    return std::stod(m[1]);
  }
};

TEST_F(Analyze, loudness_and_true_peak_agree_with_an_independent_meter) {
  ASSERT_TRUE(haveTool("ffmpeg"));
  struct Case {
    const char* name;
    int channels, rate;
    double peak;
  };
  for (const Case& c : {Case{"stereo48.wav", 2, 48000, 0.5}, Case{"mono44.wav", 1, 44100, 0.3},
                        Case{"hot96.wav", 2, 96000, 1.4}}) {
    SCOPED_TRACE(c.name);
    Audio audio = program(c.channels, c.rate, 6.0, c.peak);
    ASSERT_TRUE(writeAudio(path(c.name), audio, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const CommandResult ours = plumbrook({"analyze", c.name, "--report-json", "-"});
    ASSERT_EQ(ours.status, 0) << ours.err;
    Command ffmpeg;
    ffmpeg.program = "ffmpeg";
    ffmpeg.args = {"-nostats", "-hide_banner", "-i", path(c.name), "-filter_complex", "ebur128=peak=true",
                   "-f", "null", "-"};
    const CommandResult theirs = run(ffmpeg);
    ASSERT_EQ(theirs.status, 0) << theirs.err;
    std::smatch integrated, peak;
    const std::string summary = theirs.err.substr(theirs.err.rfind("Summary:"));
    ASSERT_TRUE(std::regex_search(summary, integrated, std::regex("I:\\s+(-?[0-9.]+) LUFS")));
    ASSERT_TRUE(std::regex_search(summary, peak, std::regex("Peak:\\s+(-?[0-9.]+) dBFS")));
    EXPECT_NEAR(jsonFigure(ours.out, "integrated_lufs"), std::stod(integrated[1]), 0.1);
    EXPECT_NEAR(jsonFigure(ours.out, "true_peak_dbtp"), std::stod(peak[1]), 0.1);
    // The loudest momentary and short-term values of its 100 ms log.
    double loudestM = -INFINITY, loudestS = -INFINITY;
    const std::regex step("M:\\s*(-?[0-9.]+) S:\\s*(-?[0-9.]+)");
    for (auto it = std::sregex_iterator(theirs.err.begin(), theirs.err.end(), step); it != std::sregex_iterator(); ++it) {
      loudestM = std::max(loudestM, std::stod((*it)[1]));
      loudestS = std::max(loudestS, std::stod((*it)[2]));
    }
    EXPECT_NEAR(jsonFigure(ours.out, "max_momentary_lufs"), loudestM, 0.1);
    EXPECT_NEAR(jsonFigure(ours.out, "max_short_term_lufs"), loudestS, 0.1);
  }
}

TEST_F(Analyze, a_profile_passes_or_fails_each_file_with_its_reason_and_the_others_go_on) {
  ASSERT_TRUE(writeAudio(path("quiet.wav"), program(2, 48000, 4.0, 0.2), SF_FORMAT_WAV | SF_FORMAT_FLOAT));
  ASSERT_TRUE(writeAudio(path("over.wav"), program(2, 48000, 4.0, 1.5), SF_FORMAT_WAV | SF_FORMAT_FLOAT));
  // The CD profile asks only for a true peak at or below -0.3 dBTP.
  CommandResult r = plumbrook({"analyze", "quiet.wav", "--profile", "cd"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("PASS cd"), std::string::npos) << r.out;

  r = plumbrook({"analyze", "missing.wav", "over.wav", "quiet.wav", "--profile", "streaming"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("'missing.wav'"), std::string::npos) << r.err;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("FAIL streaming: true peak [0-9.]+ dBTP above -1.0"))) << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("FAIL streaming: loudness -[0-9.]+ LUFS, [0-9.]+ LU below -14 \u00b11")))
      << r.out;

  r = plumbrook({"analyze", "quiet.wav", "--profile", "louder"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("unknown profile 'louder' (known: streaming, apple, broadcast, cd)"), std::string::npos) << r.err;
}

TEST_F(Analyze, pictures_are_refused_before_any_work_where_they_cannot_be_written) {
  ASSERT_TRUE(writeAudio(path("a.wav"), program(2, 48000, 1.0), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  ASSERT_TRUE(writeAudio(path("b.wav"), program(2, 48000, 1.0), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"a.wav", "--plot", "nowhere/a.png"}, {"a.wav", "b.wav", "--plot", "one.png"},
        {"a.wav", "sub/a.wav", "--plot", "{stem}.png"}}) {
    std::vector<std::string> command = {"analyze"};
    command.insert(command.end(), args.begin(), args.end());
    const CommandResult r = plumbrook(command);
    EXPECT_EQ(r.status, 2) << args.back();
    EXPECT_EQ(r.out, "") << args.back();
  }
}

TEST_F(Analyze, a_file_too_short_to_measure_gets_a_picture_that_says_so) {
  plugkit::platform::HeadlessSurface probe;
  if (!probe.Valid()) GTEST_SKIP() << "no headless GL: " << probe.Error();
  ASSERT_TRUE(writeAudio(path("blip.wav"), program(2, 48000, 0.2), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  fs::create_directory(path("pictures"));
  const CommandResult drawn = plumbrook({"analyze", "blip.wav", "--plot", "pictures/", "--plot-scale", "0.5"});
  ASSERT_EQ(drawn.status, 0) << drawn.err;
  EXPECT_NE(drawn.out.find("too short to measure loudness: 0.20 s"), std::string::npos) << drawn.out;
  const plugkit::platform::Image image = plugkit::platform::ReadPng(path("pictures/blip.png"));
  EXPECT_EQ(image.width, 800);
  EXPECT_EQ(image.height, 450);
}

TEST_F(Analyze, the_picture_of_a_master_matches_its_reference) {
  ASSERT_TRUE(writeAudio(path("song.wav"), program(2, 48000, 8.0, 0.9), SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  const CommandResult r = plumbrook({"render", "song.wav", "-o", "master.wav", "--target-lufs", "-14", "--set",
                                     "true_peak=on", "--set", "ceiling=-1", "--plot", "master-plot.png", "-q"});
  ASSERT_EQ(r.status, 0) << r.err;
  matchesReference("master-plot.png");
}

TEST_F(Analyze, the_overview_of_an_album_matches_its_reference) {
  ASSERT_TRUE(writeAudio(path("quiet.wav"), program(2, 48000, 4.0, 0.3), SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  ASSERT_TRUE(writeAudio(path("loud.wav"), program(2, 48000, 4.0, 0.9, 11), SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  fs::create_directory(path("pictures"));
  const CommandResult r = plumbrook({"render", "quiet.wav", "loud.wav", "-o", "masters/", "--album", "--target-lufs",
                                     "-16", "--set", "ceiling=-1", "--plot", "pictures/", "-j", "1", "-q"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(path("pictures/quiet.png")) && fs::exists(path("pictures/loud.png")));
  fs::copy_file(path("pictures/album.png"), path("album-overview.png"));
  matchesReference("album-overview.png");
}

}  // namespace
