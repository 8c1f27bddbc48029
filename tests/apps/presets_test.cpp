// plumbrook presets: the plug-in's own preset store from the command line, shared with the
// plug-in in a host, and presets rendering exactly like the same settings.
#include <sndfile.h>

#include <fstream>

#include "platform/offline/offline_host.h"
#include "presets/preset_format.h"
#include "tests/apps/cli_fixture.h"
#include "tests/support/fake_editor.h"

namespace plumbrook::test {
namespace {

class Presets : public CliTest {
 protected:
  std::filesystem::path presetDir() const { return dir() / "data" / "Plumbrook" / "Presets"; }
  std::vector<std::string> listed() const {
    const CommandResult r = plumbrook({"presets", "list"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> names;
    std::string line;
    for (char c : r.out) {
      if (c == '\n') {
        names.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    return names;
  }
};

TEST_F(Presets, save_list_show_and_delete) {
  EXPECT_TRUE(listed().empty());
  const CommandResult saved =
      plumbrook({"presets", "save", "  Warm Master ", "--set", "gain=+2", "--set", "EQ Low=1.5", "--set", "link=on"});
  ASSERT_EQ(saved.status, 0) << saved.err;
  EXPECT_TRUE(std::filesystem::is_regular_file(presetDir() / "Warm Master.pbpreset"));
  ASSERT_EQ(plumbrook({"presets", "save", "A/B", "--set", "amount=50"}).status, 0);
  EXPECT_TRUE(std::filesystem::is_regular_file(presetDir() / "A-B.pbpreset"));
  EXPECT_EQ(listed(), (std::vector<std::string>{"A/B", "Warm Master"}));

  const CommandResult shown = plumbrook({"presets", "show", "Warm Master"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("Warm Master"), std::string::npos);
  EXPECT_NE(shown.out.find("2.0 dB"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("+1.5 dB"), std::string::npos) << shown.out;

  ASSERT_EQ(plumbrook({"presets", "delete", "Warm Master"}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(presetDir() / "Warm Master.pbpreset"));
  EXPECT_EQ(listed(), (std::vector<std::string>{"A/B"}));

  const CommandResult missing = plumbrook({"presets", "delete", "Warm Master"});
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.err.find("'Warm Master': no preset of that name"), std::string::npos) << missing.err;
  EXPECT_NE(plumbrook({"presets", "show", "Nothing"}).status, 0);
  EXPECT_NE(plumbrook({"presets", "save", " \t "}).status, 0);
  EXPECT_NE(plumbrook({"presets", "save", "X", "--set", "volume=3"}).status, 0);
  EXPECT_NE(plumbrook({"presets", "rename", "A/B"}).status, 0);
}

TEST_F(Presets, names_with_a_slash_work_by_name_and_control_bytes_never_reach_the_terminal) {
  ASSERT_TRUE(writeAudio(path("in.wav"), program(2, 44100, 0.5), SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  ASSERT_EQ(plumbrook({"presets", "save", "Rock/Pop", "--set", "gain=+3"}).status, 0);
  const CommandResult shown = plumbrook({"presets", "show", "Rock/Pop"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("3.0 dB"), std::string::npos) << shown.out;
  const CommandResult rendered = plumbrook({"render", "in.wav", "-o", "out.wav", "-q", "--preset", "Rock/Pop"});
  EXPECT_EQ(rendered.status, 0) << rendered.err;
  // A file of that name stands aside for the stored preset, and is used when nothing is stored.
  std::filesystem::create_directories(path("Rock"));
  std::ofstream(path("Rock/Pop")) << "not a preset";
  EXPECT_EQ(plumbrook({"presets", "show", "Rock/Pop"}).status, 0);
  EXPECT_NE(plumbrook({"presets", "show", "Rock/Jazz"}).err.find("no preset of that name"), std::string::npos);

  // A shared preset whose name would retitle and clear the terminal.
  std::filesystem::create_directories(presetDir());
  std::ofstream(presetDir() / "evil.pbpreset") << "Plumbrook preset 1\nname=\x1b]0;owned\x07\x1b[2J\xc2\x9b" "1m\nstate=UEJTMQ==\n";
  const CommandResult list = plumbrook({"presets", "list"});
  EXPECT_NE(list.out.find("\\x1b]0;owned\\x07"), std::string::npos) << list.out;
  for (const std::string& text : {list.out, list.err}) {
    for (const char c : text) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n') << text;
    EXPECT_EQ(text.find("\xc2\x9b"), std::string::npos);
  }
}

TEST_F(Presets, fifty_processes_saving_one_name_all_succeed) {
  constexpr int kSavers = 50;
  std::vector<pid_t> savers;
  for (int i = 0; i < kSavers; ++i)
    savers.push_back(start(command({"presets", "save", "Shared", "--yes", "--set", "gain=" + std::to_string(i % 10)})));
  int failed = 0;
  for (pid_t pid : savers) failed += finish(pid) != 0;
  EXPECT_EQ(failed, 0);
  const CommandResult shown = plumbrook({"presets", "show", "Shared"});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(listed(), (std::vector<std::string>{"Shared"}));
  for (const auto& entry : std::filesystem::directory_iterator(presetDir()))
    EXPECT_EQ(entry.path().filename().string().find("partial"), std::string::npos) << entry.path();
}

TEST_F(Presets, replacing_another_preset_asks_and_only_yes_replaces_it) {
  ASSERT_EQ(plumbrook({"presets", "save", "Loud", "--set", "gain=3"}).status, 0);
  const std::string before = fileBytes((presetDir() / "Loud.pbpreset").string());
  const CommandResult refused = plumbrook({"presets", "save", "Loud", "--set", "gain=6"});
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.err.find("Save preset: A preset named \"Loud\" already exists. Replace it?"), std::string::npos)
      << refused.err;
  EXPECT_EQ(fileBytes((presetDir() / "Loud.pbpreset").string()), before);

  const CommandResult replaced = plumbrook({"presets", "save", "Loud", "--set", "gain=6", "--yes"});
  ASSERT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_NE(fileBytes((presetDir() / "Loud.pbpreset").string()), before);
  EXPECT_NE(plumbrook({"presets", "show", "Loud"}).out.find("6.0 dB"), std::string::npos);
  // Editing the current preset (loaded by --preset) re-saves it without a question.
  ASSERT_EQ(plumbrook({"presets", "save", "Loud", "--preset", "Loud", "--set", "gain=5"}).status, 0);
  EXPECT_NE(plumbrook({"presets", "show", "Loud"}).out.find("5.0 dB"), std::string::npos);
}

TEST_F(Presets, a_saved_preset_renders_exactly_like_its_settings) {
  ASSERT_TRUE(writeAudio(path("in.wav"), program(2, 44100, 1.5, 0.95), SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  const std::vector<std::string> settings = {"--set", "gain=1.7",      "--set", "amount=140",     "--set",
                                             "eq_high=-1.25", "--set", "ceiling=-1.5", "--set", "true_peak=on"};
  std::vector<std::string> save = {"presets", "save", "Glassy"};
  save.insert(save.end(), settings.begin(), settings.end());
  ASSERT_EQ(plumbrook(save).status, 0);

  std::vector<std::string> direct = {"render", "in.wav", "-o", "direct.wav", "-q"};
  direct.insert(direct.end(), settings.begin(), settings.end());
  ASSERT_EQ(plumbrook(direct).status, 0);
  const CommandResult byName = plumbrook({"render", "in.wav", "-o", "name.wav", "-q", "--preset", "Glassy"});
  ASSERT_EQ(byName.status, 0) << byName.err;
  const std::string file = (presetDir() / "Glassy.pbpreset").string();
  ASSERT_EQ(plumbrook({"render", "in.wav", "-o", "file.wav", "-q", "--preset", file}).status, 0);
  ASSERT_EQ(plumbrook({"render", "in.wav", "-o", "plain.wav", "-q"}).status, 0);

  const Audio d = readAudio(path("direct.wav"));
  EXPECT_EQ(readAudio(path("name.wav")).samples, d.samples);
  EXPECT_EQ(readAudio(path("file.wav")).samples, d.samples);
  EXPECT_NE(readAudio(path("plain.wav")).samples, d.samples);
}

TEST_F(Presets, presets_travel_between_the_plug_in_and_the_command_line) {
  // The plug-in in a host, with its editor open, saving into the same store.
  setenv("XDG_DATA_HOME", (dir() / "data").c_str(), 1);
  std::string error;
  auto host = offline::OfflineHost::create({}, error);
  ASSERT_TRUE(host) << error;
  FakeEditor editor;
  host->plugin().AttachUI(&editor);
  host->setParameter(kLimiterCeiling, -4.0);
  host->setParameter(kEqMid, 2.5);
  host->plugin().savePreset("From The Session", false);
  ASSERT_TRUE(editor.boxes.empty()) << editor.boxes.front().message;

  const CommandResult shown = plumbrook({"presets", "show", "From The Session"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("-4.0 dB"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("+2.5 dB"), std::string::npos) << shown.out;

  // And back: a preset saved on the command line loads in the plug-in.
  ASSERT_EQ(plumbrook({"presets", "save", "From The Shell", "--set", "amount=25", "--set", "bypass=on"}).status, 0);
  bool found = false;
  for (const auto& preset : host->plugin().savedPresets()) {
    if (preset.name != "From The Shell") continue;
    found = true;
    host->plugin().loadPreset(preset);
  }
  ASSERT_TRUE(found);
  EXPECT_TRUE(editor.boxes.empty());
  EXPECT_DOUBLE_EQ(host->plugin().GetParam(kAmount)->Value(), 25.0);
  EXPECT_TRUE(host->plugin().GetParam(kBypass)->Bool());
  EXPECT_EQ(host->plugin().presetName(), "From The Shell");
  host->plugin().DetachUI();
  unsetenv("XDG_DATA_HOME");
}

TEST_F(Presets, damaged_presets_are_reported_with_the_plug_in_s_messages) {
  std::filesystem::create_directories(presetDir());
  std::ofstream(presetDir() / "Cut.pbpreset") << "Plumbrook preset 1\nname=Cut\nstate=MVNCUAEAAAA=\n";
  const CommandResult r = plumbrook({"presets", "show", "Cut"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("Load preset: Could not load the preset: its state is damaged."), std::string::npos) << r.err;
  // A directory in the way of the preset file: the write fails and says where.
  std::filesystem::create_directories(presetDir() / "Blocked.pbpreset");
  const CommandResult blocked = plumbrook({"presets", "save", "Blocked"});
  EXPECT_EQ(blocked.status, 0) << blocked.err;  // saved to the first free alternative instead
  EXPECT_TRUE(std::filesystem::is_regular_file(presetDir() / "Blocked-1.pbpreset"));
  std::filesystem::permissions(presetDir(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  if (access(presetDir().c_str(), W_OK) != 0) {  // root may write anyway
    const CommandResult denied = plumbrook({"presets", "save", "Denied"});
    EXPECT_NE(denied.status, 0);
    EXPECT_NE(denied.err.find("Save preset: Could not save the preset: could not write"), std::string::npos) << denied.err;
  }
  std::filesystem::permissions(presetDir(), std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace plumbrook::test
