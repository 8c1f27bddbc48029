// Preset operations of the plug-in on real files: save, load, delete, confirmation, the
// modified mark and the messages shown in the editor.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/offline/offline_host.h"
#include "presets/preset_format.h"
#include "tests/platform/hosted_preset_test.h"
#include "tests/support/fake_editor.h"

using namespace plumbrook;
using plumbrook::offline::OfflineHost;
using plugkit::MessageBoxResult;
using plugkit::MessageBoxType;
using Event = OfflineHost::Event;

namespace {

class PresetOperations : public test::HostedPresetTest {
 protected:
  void TearDown() override {
    plugin().DetachUI();
    test::HostedPresetTest::TearDown();
  }

  void openEditor() { plugin().AttachUI(&editor_); }
  void idle() { host_->runTimer(); }
  quillfen::presets::SavedPreset stored(const std::string& name) {
    for (auto& p : plugin().savedPresets())
      if (p.name == name) return p;
    ADD_FAILURE() << "no preset " << name;
    return {};
  }

  test::FakeEditor editor_;
};

}  // namespace

TEST_F(PresetOperations, save_trims_the_name_and_stores_a_clean_state) {
  plugin().GetParam(kGain)->Set(3.0);
  plugin().savePreset("  Warm\t ", true);
  EXPECT_EQ(plugin().presetName(), "Warm");
  ASSERT_TRUE(std::filesystem::exists(dir_ / "Warm.pbpreset"));
  const auto preset = stored("Warm");
  plugkit::ByteChunk chunk(preset.state.data(), static_cast<int>(preset.state.size()));
  std::string nameInState;
  int32_t mark = -1;
  const int afterName = chunk.GetStr(nameInState, 20);
  chunk.Get(&mark, afterName);
  EXPECT_EQ(nameInState, "Warm");
  EXPECT_EQ(mark, 0);
  idle();
  EXPECT_FALSE(plugin().presetModified());
}

TEST_F(PresetOperations, blank_names_do_nothing_and_show_nothing) {
  openEditor();
  plugin().savePreset(" \t  ", true);
  EXPECT_FALSE(std::filesystem::exists(dir_));
  EXPECT_TRUE(editor_.boxes.empty());
  EXPECT_EQ(plugin().presetName(), "");
}

TEST_F(PresetOperations, resaving_the_current_preset_never_asks) {
  openEditor();
  auto hooks = plugin().presetHooks();
  hooks.save("Warm");
  plugin().GetParam(kAmount)->Set(150.0);
  hooks.save("Warm");
  idle();
  EXPECT_TRUE(editor_.boxes.empty());
  plugin().GetParam(kAmount)->Set(10.0);
  ASSERT_TRUE(plugin().UnserializeState(
                  plugkit::ByteChunk(stored("Warm").state.data(), static_cast<int>(stored("Warm").state.size())), 0) >= 0);
  EXPECT_EQ(plugin().GetParam(kAmount)->Value(), 150.0);
  EXPECT_EQ(hooks.list(), std::vector<std::string>{"Warm"});
}

TEST_F(PresetOperations, saving_over_another_preset_asks_at_the_next_idle_tick) {
  openEditor();
  auto hooks = plugin().presetHooks();
  plugin().GetParam(kGain)->Set(1.0);
  hooks.save("Bright");
  hooks.save("Warm");
  EXPECT_EQ(plugin().presetName(), "Warm");

  plugin().GetParam(kGain)->Set(-5.0);
  hooks.save("Bright");  // another stored preset has this name
  EXPECT_TRUE(editor_.boxes.empty());
  editor_.answers.push_back(MessageBoxResult::kNo);
  idle();
  ASSERT_EQ(editor_.boxes.size(), 1u);
  EXPECT_EQ(editor_.boxes[0].message, "A preset named \"Bright\" already exists. Replace it?");
  EXPECT_EQ(editor_.boxes[0].caption, "Save preset");
  EXPECT_EQ(editor_.boxes[0].type, MessageBoxType::kYesNo);
  EXPECT_EQ(plugin().presetName(), "Warm");  // No: nothing changed
  {
    const auto bright = stored("Bright");
    plugkit::ByteChunk chunk(bright.state.data(), static_cast<int>(bright.state.size()));
    std::string error;
    auto other = OfflineHost::create({}, error);
    other->plugin().UnserializeState(chunk, 0);
    EXPECT_EQ(other->plugin().GetParam(kGain)->Value(), 1.0);
  }

  hooks.save("Bright");
  editor_.answers.push_back(MessageBoxResult::kYes);
  idle();
  EXPECT_EQ(editor_.boxes.size(), 2u);
  EXPECT_EQ(plugin().presetName(), "Bright");
  EXPECT_EQ(plugin().presetNames().size(), 2u);
}

TEST_F(PresetOperations, without_an_editor_a_save_that_needs_confirmation_does_not_happen) {
  auto hooks = plugin().presetHooks();
  plugin().GetParam(kGain)->Set(1.0);
  hooks.save("Bright");
  hooks.save("Other");
  plugin().GetParam(kGain)->Set(7.0);
  hooks.save("Bright");
  idle();
  EXPECT_EQ(plugin().presetName(), "Other");
  std::string error;
  auto check = OfflineHost::create({}, error);
  const auto bright = stored("Bright");
  check->plugin().UnserializeState(plugkit::ByteChunk(bright.state.data(), static_cast<int>(bright.state.size())), 0);
  EXPECT_EQ(check->plugin().GetParam(kGain)->Value(), 1.0);
}

TEST_F(PresetOperations, load_tells_the_host_every_parameter_and_takes_the_file_name) {
  plugin().GetParam(kEqLow)->Set(4.0);
  plugin().savePreset("Low End", false);
  std::filesystem::rename(dir_ / "Low End.pbpreset", dir_ / "Renamed.pbpreset");
  // A file without a name line takes its stem.
  {
    const auto preset = stored("Low End");
    std::ofstream(dir_ / "Stemmed.pbpreset", std::ios::binary)
        << "Plumbrook preset 1\nstate=" << quillfen::presets::toBase64(preset.state) << "\n";
  }
  plugin().GetParam(kEqLow)->Set(0.0);
  plugin().setPresetName("");
  host_->clearEvents();

  plugin().loadPresetNamed("Stemmed");
  EXPECT_EQ(plugin().GetParam(kEqLow)->Value(), 4.0);
  EXPECT_EQ(plugin().presetName(), "Stemmed");
  const auto& ev = host_->events();
  ASSERT_EQ(ev.size(), 39u);
  for (int i = 0; i < 13; ++i) {
    EXPECT_EQ(ev[static_cast<size_t>(i)].kind, Event::kBeginGesture);
    EXPECT_EQ(ev[static_cast<size_t>(13 + i)].kind, Event::kParamChange);
    EXPECT_EQ(ev[static_cast<size_t>(13 + i)].index, i);
    EXPECT_EQ(ev[static_cast<size_t>(26 + i)].kind, Event::kEndGesture);
  }
  idle();
  EXPECT_FALSE(plugin().presetModified());
}

TEST_F(PresetOperations, modified_mark_follows_the_sound_and_sticks) {
  plugin().GetParam(kAmount)->Set(200.0);
  plugin().savePreset("Edge", false);
  idle();  // snapshot taken
  plugin().GetParam(kAmount)->Set(200.0 - 0.0001);
  idle();
  EXPECT_FALSE(plugin().presetModified());  // within one part in a million of 200

  plugin().GetParam(kGain)->Set(0.000002);
  openEditor();
  idle();
  EXPECT_TRUE(plugin().presetModified());
  EXPECT_EQ(editor_.dirtyMarks, 1);
  plugin().GetParam(kGain)->Set(0.0);  // moved back: still modified
  idle();
  EXPECT_TRUE(plugin().presetModified());

  plugin().loadPresetNamed("Edge");
  idle();
  EXPECT_FALSE(plugin().presetModified());
}

TEST_F(PresetOperations, without_a_preset_name_nothing_is_ever_modified) {
  idle();
  plugin().GetParam(kGain)->Set(12.0);
  idle();
  idle();
  EXPECT_FALSE(plugin().presetModified());
}

TEST_F(PresetOperations, load_failures_show_their_messages_and_change_nothing) {
  openEditor();
  plugin().savePreset("Gone", false);
  const auto gone = stored("Gone");
  std::filesystem::remove(gone.path);
  plugin().GetParam(kGain)->Set(2.0);
  plugin().loadPreset(gone);
  ASSERT_EQ(editor_.boxes.size(), 1u);
  EXPECT_EQ(editor_.boxes[0].message, "Could not load the preset: not an Plumbrook preset: Gone.pbpreset");
  EXPECT_EQ(editor_.boxes[0].caption, "Load preset");
  EXPECT_EQ(editor_.boxes[0].type, MessageBoxType::kOK);

  const auto writeState = [&](const std::string& file, const std::vector<uint8_t>& state) {
    std::ofstream(dir_ / file, std::ios::binary)
        << "Plumbrook preset 1\nname=" << file << "\nstate=" << quillfen::presets::toBase64(state) << "\n";
    quillfen::presets::SavedPreset p;
    p.path = dir_ / file;
    return p;
  };
  plugin().loadPreset(writeState("Foreign.pbpreset", {1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(editor_.boxes.back().message, "Could not load the preset: it does not hold an Plumbrook state.");

  plugkit::ByteChunk chunk;
  plugin().SerializeState(chunk);
  std::vector<uint8_t> damaged(chunk.Bytes().begin(), chunk.Bytes().begin() + 60);
  plugin().loadPreset(writeState("Damaged.pbpreset", damaged));
  EXPECT_EQ(editor_.boxes.back().message, "Could not load the preset: its state is damaged.");
  EXPECT_EQ(plugin().presetName(), "Gone");
}

TEST_F(PresetOperations, save_failure_restores_name_and_mark_and_tells) {
  openEditor();
  plugin().savePreset("First", false);
  idle();
  plugin().GetParam(kGain)->Set(5.0);
  idle();
  ASSERT_TRUE(plugin().presetModified());

  // A regular file where the preset directory should be: nothing can be written.
  std::filesystem::remove_all(dir_);
  std::ofstream(dir_) << "not a directory";
  plugin().savePreset("Second", true);
  EXPECT_EQ(plugin().presetName(), "First");
  idle();
  EXPECT_TRUE(plugin().presetModified());
  ASSERT_EQ(editor_.boxes.size(), 1u);
  EXPECT_EQ(editor_.boxes[0].caption, "Save preset");
  EXPECT_EQ(editor_.boxes[0].message.rfind("Could not save the preset: could not write ", 0), 0u)
      << editor_.boxes[0].message;
}

TEST_F(PresetOperations, deleting_the_current_preset_keeps_its_name) {
  openEditor();
  auto hooks = plugin().presetHooks();
  hooks.save("Keep");
  hooks.remove("Keep");
  EXPECT_TRUE(hooks.list().empty());
  EXPECT_EQ(hooks.current(), "Keep");
  hooks.save("Keep");  // writes a new file without asking
  idle();
  EXPECT_TRUE(editor_.boxes.empty());
  EXPECT_EQ(hooks.list(), std::vector<std::string>{"Keep"});

  auto keep = stored("Keep");
  std::filesystem::remove(keep.path);
  plugin().removePreset(keep);
  ASSERT_EQ(editor_.boxes.size(), 1u);
  EXPECT_EQ(editor_.boxes[0].message, "Could not delete the preset: could not delete Keep.pbpreset");
  EXPECT_EQ(editor_.boxes[0].caption, "Delete preset");
}
