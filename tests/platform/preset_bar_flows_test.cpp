// The preset bar's flows on the plug-in's real preset operations and files: browse, save,
// save as, overwrite with a scripted answer, and the two-click delete.
#include <gtest/gtest.h>

#include "editor/preset_bar_model.h"
#include "platform/offline/offline_host.h"
#include "tests/platform/hosted_preset_test.h"
#include "tests/support/fake_editor.h"

using namespace plumbrook;
using namespace plumbrook::editor;
using plumbrook::offline::OfflineHost;
using plugkit::MessageBoxResult;
using Request = PresetBarModel::Request;

namespace {

class PresetBarFlows : public test::HostedPresetTest {
 protected:
  void SetUp() override {
    test::HostedPresetTest::SetUp();
    if (HasFatalFailure()) return;
    plugin().AttachUI(&editor_);
    bar_.emplace(plugin().presetHooks());
  }
  void TearDown() override {
    bar_.reset();
    plugin().DetachUI();
    test::HostedPresetTest::TearDown();
  }
  void saveAs(const std::string& name) {
    ASSERT_EQ(bar_->mouseDown(kRegionSaveAs), Request::kPromptName);
    bar_->nameEntered(name);
    host_->runTimer();  // a save that must ask waits for the idle tick
  }
  void storeThree() {
    for (const char* name : {"A", "B", "C"}) {
      plugin().GetParam(kGain)->Set(name[0] - 'A' + 1.0);
      saveAs(name);
    }
  }

  test::FakeEditor editor_;
  std::optional<PresetBarModel> bar_;
};

}  // namespace

TEST_F(PresetBarFlows, arrows_and_list_browse_the_stored_presets) {
  storeThree();
  EXPECT_EQ(bar_->names(), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(bar_->current(), "C");
  bar_->mouseDown(kRegionNext);
  EXPECT_EQ(bar_->current(), "A");
  EXPECT_EQ(plugin().GetParam(kGain)->Value(), 1.0);
  bar_->mouseDown(kRegionPrevious);
  bar_->mouseDown(kRegionPrevious);
  EXPECT_EQ(bar_->current(), "B");
  EXPECT_EQ(plugin().GetParam(kGain)->Value(), 2.0);

  ASSERT_EQ(bar_->mouseDown(kRegionName), Request::kOpenList);
  EXPECT_EQ(bar_->namesForMenu().size(), 3u);
  bar_->listChosen(2);
  EXPECT_EQ(bar_->current(), "C");
  bar_->listChosen(-1);  // dismissed
  EXPECT_EQ(bar_->current(), "C");
  EXPECT_TRUE(editor_.boxes.empty());
}

TEST_F(PresetBarFlows, save_rewrites_the_current_preset_without_asking) {
  bar_->mouseDown(kRegionSave);  // no current preset: nothing
  EXPECT_TRUE(bar_->names().empty());
  saveAs("  Warm  ");
  EXPECT_EQ(bar_->current(), "Warm");
  plugin().GetParam(kGain)->Set(4.0);
  host_->runTimer();
  EXPECT_TRUE(bar_->modified());
  bar_->mouseDown(kRegionSave);
  host_->runTimer();
  EXPECT_FALSE(bar_->modified());
  EXPECT_TRUE(editor_.boxes.empty());
  bar_->mouseDown(kRegionNext);  // reload the file: the new gain was stored
  EXPECT_EQ(plugin().GetParam(kGain)->Value(), 4.0);

  saveAs(" \t ");  // only spaces: nothing
  EXPECT_EQ(bar_->names(), (std::vector<std::string>{"Warm"}));
}

TEST_F(PresetBarFlows, save_as_an_existing_name_asks_and_follows_the_answer) {
  storeThree();
  plugin().GetParam(kGain)->Set(9.0);
  editor_.answers = {MessageBoxResult::kNo};
  saveAs("A");
  ASSERT_EQ(editor_.boxes.size(), 1u);
  EXPECT_EQ(editor_.boxes[0].message, "A preset named \"A\" already exists. Replace it?");
  bar_->mouseDown(kRegionNext);  // C -> A, untouched
  EXPECT_EQ(plugin().GetParam(kGain)->Value(), 1.0);

  bar_->mouseDown(kRegionNext);  // A -> B: "A" is another preset again
  plugin().GetParam(kGain)->Set(9.0);
  editor_.answers = {MessageBoxResult::kYes};
  saveAs("A");
  EXPECT_EQ(editor_.boxes.size(), 2u);
  EXPECT_EQ(bar_->current(), "A");
  bar_->mouseDown(kRegionNext);
  bar_->mouseDown(kRegionPrevious);
  EXPECT_EQ(bar_->current(), "A");
  EXPECT_EQ(plugin().GetParam(kGain)->Value(), 9.0);

  saveAs("A");  // the current preset's own name: no question
  EXPECT_EQ(editor_.boxes.size(), 2u);
}

TEST_F(PresetBarFlows, delete_takes_two_clicks_and_is_disarmed_by_moving_away) {
  storeThree();
  bar_->hover(kRegionDelete);
  bar_->mouseDown(kRegionDelete);
  EXPECT_TRUE(bar_->deleteArmed());
  bar_->hover(kRegionSave);  // leaving Delete disarms
  bar_->hover(kRegionDelete);
  EXPECT_FALSE(bar_->deleteArmed());
  bar_->mouseDown(kRegionDelete);
  EXPECT_EQ(bar_->names().size(), 3u);
  bar_->mouseDown(kRegionDelete);
  EXPECT_EQ(bar_->names(), (std::vector<std::string>{"A", "B"}));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "C.pbpreset"));
  EXPECT_EQ(bar_->current(), "C");  // the name stays shown
  bar_->mouseDown(kRegionNext);      // like no current preset: the first
  EXPECT_EQ(bar_->current(), "A");

  bar_->mouseDown(kRegionDelete);
  bar_->mouseOut();
  bar_->mouseDown(kRegionDelete);
  EXPECT_EQ(bar_->names().size(), 2u);
  EXPECT_EQ(bar_->mouseDown(kRegionMenu), Request::kOpenSettings);
}
