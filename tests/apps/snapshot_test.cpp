// `plumbrook snapshot` run as a user would: pictures at scales 1 and 2 compared with the
// references kept beside this file, and the refusals of bad input. With
// PLUMBROOK_REMAKE_REFERENCES=1 the pictures replace the references instead
// (scripts/remake_editor_references.sh).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/window/headless_surface.h"
#include "tests/apps/cli_fixture.h"
#include "tests/support/picture_match.h"

using namespace plumbrook::test;
using plugkit::platform::Image;

namespace {

namespace fs = std::filesystem;

fs::path referenceDir() { return fs::path(__FILE__).parent_path() / "references"; }

class Snapshot : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    plugkit::platform::HeadlessSurface probe;
    if (!probe.Valid()) GTEST_SKIP() << "no headless GL: " << probe.Error();
  }

  // Runs the command into `name` and compares it with the reference of that name.
  void matchesReference(const std::string& name, std::vector<std::string> args) {
    args.insert(args.begin(), {"snapshot", "-o", path(name)});
    const CommandResult result = plumbrook(args);
    ASSERT_EQ(result.status, 0) << result.err;
    const Image actual = plugkit::platform::ReadPng(path(name));
    ASSERT_GT(actual.width, 0);
    const fs::path reference = referenceDir() / name;
    if (const char* remake = std::getenv("PLUMBROOK_REMAKE_REFERENCES"); remake && std::string(remake) == "1") {
      fs::copy_file(path(name), reference, fs::copy_options::overwrite_existing);
      GTEST_SKIP() << "remade " << reference;
    }
    EXPECT_TRUE(picturesMatch(path(name), reference.string(), name));
  }
};

}  // namespace

TEST_F(Snapshot, the_editor_at_scale_1_matches_its_reference) {
  matchesReference("editor_1x.png", {});
}

TEST_F(Snapshot, the_editor_at_scale_2_with_settings_and_audio_matches_its_reference) {
  ASSERT_TRUE(writeAudio(path("in.wav"), program(2, 48000, 3.0, 0.9), SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  matchesReference("editor_2x.png", {"--scale", "2", "--accent", "Orange", "--set", "gain=+4", "--set",
                                     "width_active=off", "--set", "true_peak=on", "--set", "link=on", "in.wav"});
}

TEST_F(Snapshot, the_picture_has_the_scaled_size) {
  const CommandResult result = plumbrook({"snapshot", "-o", "small.png", "--scale=0.75"});
  ASSERT_EQ(result.status, 0) << result.err;
  const Image image = plugkit::platform::ReadPng(path("small.png"));
  EXPECT_EQ(image.width, 660);
  EXPECT_EQ(image.height, 287);
  EXPECT_EQ(files().size(), 1u);  // no temporary file left behind
}

TEST_F(Snapshot, bad_input_is_refused_and_keeps_an_existing_picture) {
  { std::ofstream(path("keep.png")) << "old"; }
  { std::ofstream(path("bad.state")) << "not a state"; }
  const std::vector<std::vector<std::string>> bad = {
      {"--scale", "0.5"},      {"--scale", "2.5"},        {"--scale", "big"},  {"--accent", "Pink"},
      {"--preset", "Missing"}, {"--state", "bad.state"}, {"--state", "none"}, {"--set", "gain=loud"},
      {"missing.wav"},         {"--bogus"}};
  for (std::vector<std::string> args : bad) {
    args.insert(args.begin(), {"snapshot", "-o", "keep.png"});
    const CommandResult result = plumbrook(args);
    EXPECT_NE(result.status, 0) << args[3];
    EXPECT_NE(result.err.find("plumbrook snapshot: "), std::string::npos) << args[3];
  }
  std::ifstream in(path("keep.png"));
  std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(kept, "old");
  EXPECT_NE(plumbrook({"snapshot"}).status, 0);  // no output named
}

TEST_F(Snapshot, a_link_planted_at_a_temporary_name_is_not_written_through) {
  { std::ofstream(path("victim.txt")) << "keep me"; }
  fs::create_symlink("victim.txt", path("e.png.partial"));
  const CommandResult result = plumbrook({"snapshot", "-o", "e.png", "--scale=0.75"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(fileBytes(path("victim.txt")), "keep me");
  EXPECT_FALSE(fs::is_symlink(path("e.png")));
  EXPECT_EQ(plugkit::platform::ReadPng(path("e.png")).width, 660);
}
