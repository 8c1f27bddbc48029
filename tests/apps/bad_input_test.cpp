// plumbrook render refuses bad input with one line naming what is wrong, a failing exit status,
// and no output file; it never touches the input or an existing output.
#include <sndfile.h>
#include <sys/stat.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "tests/apps/cli_fixture.h"

namespace plumbrook::test {
namespace {

class BadInput : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    ASSERT_TRUE(writeAudio(path("in.wav"), program(2, 48000, 0.5), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  }

  // Runs a render that must fail; checks the one-line message holds every fragment.
  void expectRefused(const std::vector<std::string>& args, const std::vector<std::string>& fragments) {
    SCOPED_TRACE(::testing::PrintToString(args));
    std::vector<std::string> full = {"render"};
    full.insert(full.end(), args.begin(), args.end());
    const CommandResult r = plumbrook(full);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << r.err;
    EXPECT_EQ(r.err.rfind("plumbrook render: ", 0), 0u) << r.err;
    for (const std::string& fragment : fragments) EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(path("out.wav")));
    for (const std::string& name : files()) EXPECT_EQ(name.find("partial"), std::string::npos) << name;
  }
};

TEST_F(BadInput, unreadable_or_unsupported_input) {
  expectRefused({"missing.wav", "-o", "out.wav"}, {"'missing.wav'", "no such file"});
  std::ofstream(path("notes.txt")) << "these are not samples\n";
  expectRefused({"notes.txt", "-o", "out.wav"}, {"'notes.txt'", "not a supported audio file"});
  std::filesystem::create_directory(path("folder"));
  expectRefused({"folder", "-o", "out.wav"}, {"'folder'", "directory"});
  std::ofstream(path("empty.wav")).flush();
  expectRefused({"empty.wav", "-o", "out.wav"}, {"'empty.wav'"});
  expectRefused({"/dev/zero", "-o", "out.wav"}, {"'/dev/zero'", "it is not a regular file"});
}

TEST_F(BadInput, more_than_two_channels) {
  Audio quad = program(2, 48000, 0.2);
  quad.channels = 4;
  quad.samples.resize(quad.samples.size() / 4 * 4);
  ASSERT_TRUE(writeAudio(path("quad.wav"), quad, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  expectRefused({"quad.wav", "-o", "out.wav"}, {"'quad.wav'", "4 channels", "mono and stereo"});
}

TEST_F(BadInput, unknown_parameters_and_unparsable_values) {
  expectRefused({"in.wav", "-o", "out.wav", "--set", "loudness=3"}, {"'loudness=3'", "unknown parameter 'loudness'"});
  expectRefused({"in.wav", "-o", "out.wav", "--set", "gain=loud"}, {"'gain=loud'", "'loud' is not a number"});
  expectRefused({"in.wav", "-o", "out.wav", "--set", "Limiter Ceiling="}, {"'' is not a number"});
  expectRefused({"in.wav", "-o", "out.wav", "--set", "bypass=maybe"}, {"'maybe'", "Bypass", "on", "off"});
  expectRefused({"in.wav", "-o", "out.wav", "--set", "gain"}, {"'gain'", "NAME=VALUE"});
}

TEST_F(BadInput, bad_options) {
  expectRefused({"in.wav", "-o", "out.wav", "--volume", "3"}, {"unknown option '--volume'"});
  expectRefused({"in.wav", "-o"}, {"-o needs a value"});
  expectRefused({"in.wav", "-o", "out.wav", "--block", "0"}, {"--block '0'"});
  expectRefused({"in.wav", "-o", "out.wav", "--bits", "12"}, {"--bits '12'"});
  expectRefused({"in.wav", "-o", "out.wav", "--format", "tape"}, {"--format 'tape'", "unknown format"});
  expectRefused({"in.wav", "-o", "out.wav", "--target-lufs", "loud"}, {"--target-lufs 'loud'"});
  expectRefused({"in.wav", "-o", "out.wav", "--target-lufs", "6"}, {"--target-lufs '6'"});
  expectRefused({"in.wav", "other.wav", "-o", "out.wav"}, {"several inputs need an output folder", "'out.wav' names a file"});
  expectRefused({"in.wav", "-o", "out.wav", "--album"}, {"--album needs a loudness"});
  expectRefused({"in.wav", "-o", "out.wav", "--shard", "4/3"}, {"--shard '4/3'"});
  expectRefused({"in.wav", "-o", "out.wav", "--rate", "4000"}, {"--rate '4000'", "8000 to 384000"});
  expectRefused({"in.wav", "-o", "out.wav", "-j", "0"}, {"-j '0'"});
  expectRefused({"in.wav"}, {"no output file"});
}

TEST_F(BadInput, missing_preset_and_damaged_preset_or_state_files) {
  expectRefused({"in.wav", "-o", "out.wav", "--preset", "Nowhere"}, {"--preset 'Nowhere'", "no preset"});
  expectRefused({"in.wav", "-o", "out.wav", "--preset", "gone.pbpreset"}, {"--preset 'gone.pbpreset'"});
  std::ofstream(path("notpreset.pbpreset")) << "hello\n";
  expectRefused({"in.wav", "-o", "out.wav", "--preset", "notpreset.pbpreset"},
                {"Could not load the preset: not an Plumbrook preset: notpreset.pbpreset"});
  std::ofstream(path("nostate.pbpreset")) << "Plumbrook preset 1\nname=Broken\nstate=QUJD\n";
  expectRefused({"in.wav", "-o", "out.wav", "--preset", "./nostate.pbpreset"},
                {"Could not load the preset: it does not hold an Plumbrook state."});
  // "PBS1", version 1 and then nothing: the state chunk is cut short.
  std::ofstream(path("cut.pbpreset")) << "Plumbrook preset 1\nname=Cut\nstate=MVNCUAEAAAA=\n";
  expectRefused({"in.wav", "-o", "out.wav", "--preset", "cut.pbpreset"},
                {"Could not load the preset: its state is damaged."});

  expectRefused({"in.wav", "-o", "out.wav", "--state", "none.state"}, {"--state 'none.state'", "no such file"});
  ASSERT_EQ(mkfifo(path("fifo.state").c_str(), 0600), 0);
  expectRefused({"in.wav", "-o", "out.wav", "--state", "fifo.state"}, {"--state 'fifo.state'", "not a regular file (a FIFO)"});
  std::ofstream(path("text.state")) << "not a state at all";
  expectRefused({"in.wav", "-o", "out.wav", "--state", "text.state"}, {"--state 'text.state'", "Plumbrook state"});
  {
    std::ofstream cut(path("cut.state"), std::ios::binary);
    const char bytes[] = {'1', 'S', 'B', 'P', 1, 0, 0, 0, 5, 0, 0, 0};
    cut.write(bytes, sizeof bytes);
  }
  expectRefused({"in.wav", "-o", "out.wav", "--state", "cut.state"}, {"--state 'cut.state'", "damaged"});
}

TEST_F(BadInput, output_in_a_missing_directory) {
  expectRefused({"in.wav", "-o", "nowhere/out.wav"}, {"'nowhere/out.wav'", "directory 'nowhere' does not exist"});
  expectRefused({"in.wav", "-o", "out.wav", "--report-json", "nowhere/r.json"},
                {"'nowhere/r.json'", "does not exist"});
}

TEST_F(BadInput, the_input_is_never_written_even_as_the_output) {
  const std::string before = fileBytes(path("in.wav"));
  const CommandResult r = plumbrook({"render", "in.wav", "-o", "in.wav"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("'in.wav' is the input"), std::string::npos) << r.err;
  std::filesystem::create_symlink(path("in.wav"), path("link.wav"));
  EXPECT_NE(plumbrook({"render", "in.wav", "-o", "link.wav"}).status, 0);
  EXPECT_NE(plumbrook({"render", "link.wav", "-o", "./in.wav"}).status, 0);
  EXPECT_EQ(fileBytes(path("in.wav")), before);
}

// Files the user did not mean to give away: a write-protected master and a victim's file behind a
// link someone else planted in a shared folder.
TEST_F(BadInput, protected_files_and_planted_links_are_not_replaced) {
  // Root may write anything, so the tool runs as an ordinary user where the test is root.
  const bool root = ::geteuid() == 0;
  const std::filesystem::path shared = dir() / "shared";
  std::filesystem::create_directory(shared);
  std::filesystem::permissions(dir(), std::filesystem::perms::all);
  std::filesystem::permissions(shared, std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
  std::filesystem::copy_file(path("in.wav"), shared / "in.wav");
  std::filesystem::permissions(shared / "in.wav", std::filesystem::perms::all);
  auto renderAsUser = [&](std::vector<std::string> args) {
    Command c = command(args);
    if (root) {
      args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", c.program});
      c.program = "/usr/bin/setpriv";
      c.args = args;
    }
    return run(c);
  };
  const std::string master = (shared / "master.wav").string();
  std::ofstream(master) << "the approved master";
  if (root) {
    ASSERT_EQ(::chown(master.c_str(), 65534, 65534), 0);
  }
  ::chmod(master.c_str(), 0444);
  const CommandResult refused = renderAsUser({"render", "shared/in.wav", "-o", master, "-q"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("Permission denied (--force replaces it)"), std::string::npos) << refused.err;
  EXPECT_EQ(fileBytes(master), "the approved master");
  const CommandResult forced = renderAsUser({"render", "shared/in.wav", "-o", master, "-q", "--force"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(readAudio(master).frames(), readAudio(path("in.wav")).frames());

  // Another user's link in the sticky folder is not followed, whoever runs the tool.
  if (!root) GTEST_SKIP() << "planting another user's link needs root";
  std::ofstream(path("victim.wav")) << "the victim's file";
  const std::filesystem::path planted = shared / "planted.wav";
  std::filesystem::create_symlink(path("victim.wav"), planted);
  ASSERT_EQ(::lchown(planted.c_str(), 4242, 4242), 0) << "the test needs to own the link as another user";
  const CommandResult linked = plumbrook({"render", "in.wav", "-o", planted.string(), "-q"});
  EXPECT_EQ(linked.status, 1);
  EXPECT_NE(linked.err.find("symbolic link owned by another user"), std::string::npos) << linked.err;
  EXPECT_EQ(fileBytes(path("victim.wav")), "the victim's file");
  EXPECT_TRUE(std::filesystem::is_symlink(planted));
}

// Names and arguments from outside reach the terminal with their control bytes shown as \xNN.
TEST_F(BadInput, control_bytes_never_reach_the_terminal) {
  const std::string esc = "\x1b[2J";
  std::filesystem::copy_file(path("in.wav"), path("in" + esc + ".wav"));
  const std::vector<std::vector<std::string>> commands = {
      {"render", "in" + esc + ".wav", "-o", "o" + esc + ".wav", "--report"},
      {"render", "gone" + esc + ".wav", "-o", "out.wav"},
      {"render", "in.wav", "-o", "no" + esc + "/out.wav"},
      {"render", "in.wav", "-o", "out.wav", "--set", "gain" + esc + "=1"},
      {"render", "in.wav", "-o", "out.wav", "--preset", esc},
      {"render", "in.wav", "-o", "out.wav", "--bogus" + esc},
      {"snapshot", "-o", "x.png", "--accent", esc + "evil"},
      {"snapshot", "-o", "no" + esc + "/x.png"},
      {"snapshot", "-o", "x.png", "--set", esc + "=1"},
      {"snapshot", "-o", "x.png", "--preset", esc},
      {"params", esc},
      {esc},
  };
  for (const std::vector<std::string>& args : commands) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const CommandResult r = plumbrook(args);
    EXPECT_FALSE(r.out.empty() && r.err.empty());
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
  }
}

TEST_F(BadInput, a_failed_render_leaves_an_existing_output_alone) {
  // Pink noise far below the ceiling cannot be raised to -1 LUFS under a -12 dB ceiling: the
  // loudness passes run, write their temporary files, and then the command fails.
  ASSERT_TRUE(writeAudio(path("quiet.wav"), makeAudio({pinkNoise(3, 48000, 0.05), pinkNoise(4, 48000, 0.05)}, 48000),
                         SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  std::ofstream(path("good.wav")) << "the previous master";
  const CommandResult r =
      plumbrook({"render", "quiet.wav", "-o", "good.wav", "--set", "ceiling=-12", "--target-lufs", "-1"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("out of reach"), std::string::npos) << r.err;
  EXPECT_EQ(fileBytes(path("good.wav")), "the previous master");
  for (const std::string& name : files()) EXPECT_EQ(name.find("partial"), std::string::npos) << name;
}

class Interrupted : public CliTest {
 protected:
  // Starts a long render onto an existing output, waits until it is writing, and signals it.
  void interrupt(int signalNumber) {
    ASSERT_TRUE(writeAudio(path("long.wav"), program(2, 48000, 90.0, 0.5), SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    std::ofstream(path("out.wav")) << "the previous master";
    const pid_t pid = start(command({"render", "long.wav", "-o", "out.wav", "--report"}));
    ASSERT_GT(pid, 0);
    bool writing = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!writing && std::chrono::steady_clock::now() < deadline) {
      for (const std::string& name : files()) {
        std::error_code ec;
        if (name.find("partial") != std::string::npos && std::filesystem::file_size(path(name), ec) > 1000000)
          writing = true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(pid, signalNumber);
    const int status = finish(pid);
    ASSERT_TRUE(writing) << "the render never started writing";
    EXPECT_EQ(status, 128 + signalNumber) << "the render ended before the signal";
    EXPECT_EQ(fileBytes(path("out.wav")), "the previous master");
  }
};

TEST_F(Interrupted, killed_render_leaves_the_output_name_untouched) {
  interrupt(SIGKILL);
  // A killed process cannot clean up: its hidden partial file remains, never the output, until
  // the next render into the folder removes it.
  ASSERT_TRUE(writeAudio(path("short.wav"), program(2, 48000, 0.5), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  ASSERT_EQ(plumbrook({"render", "short.wav", "-o", "other.wav", "-q"}).status, 0);
  for (const std::string& name : files()) EXPECT_EQ(name.find("partial"), std::string::npos) << name;
}

TEST_F(Interrupted, terminated_render_also_removes_its_partial_file) {
  interrupt(SIGTERM);
  for (const std::string& name : files()) EXPECT_EQ(name.find("partial"), std::string::npos) << name;
}

}  // namespace
}  // namespace plumbrook::test
