// The plug-in's editor rules through the offline host with a recording editor: window size
// limits and scale, the status line, the accent rebuild, the shades' notifications and the
// rescale on preset load.
#include <gtest/gtest.h>

#include "platform/offline/offline_host.h"
#include "tests/platform/hosted_preset_test.h"
#include "tests/support/fake_editor.h"

using namespace plumbrook;
using plumbrook::offline::OfflineHost;

namespace {

class EditorRules : public test::HostedPresetTest {
 protected:
  void TearDown() override {
    plugin().attachEditor(nullptr);
    test::HostedPresetTest::TearDown();
  }
  void open(float backingScale = 1.0f, float drawScale = 1.0f) {
    editor_.surface.backingScale = backingScale;
    editor_.surface.drawScale = drawScale;
    plugin().attachEditor(&editor_);
  }
  std::pair<int, int> constrained(int w, int h, bool& fitted) {
    fitted = plugin().ConstrainEditorResize(w, h);
    return {w, h};
  }

  test::FakeEditorHalf editor_;
};

}  // namespace

TEST_F(EditorRules, host_resize_requests_are_fitted_to_the_limits_and_aspect) {
  open();
  bool fitted = true;
  EXPECT_EQ(constrained(600, 300, fitted), std::make_pair(660, 287));
  EXPECT_FALSE(fitted);
  EXPECT_EQ(constrained(2000, 900, fitted), std::make_pair(1760, 764));
  EXPECT_FALSE(fitted);
  EXPECT_EQ(constrained(880, 500, fitted), std::make_pair(880, 382));
  EXPECT_FALSE(fitted);
  EXPECT_EQ(constrained(880, 382, fitted), std::make_pair(880, 382));
  EXPECT_TRUE(fitted);

  plugin().attachEditor(nullptr);
  open(2.0f);
  EXPECT_EQ(constrained(5000, 2000, fitted), std::make_pair(3520, 1528));
  EXPECT_EQ(constrained(1760, 764, fitted), std::make_pair(1760, 764));
  EXPECT_TRUE(fitted);
}

TEST_F(EditorRules, parent_resize_sets_the_draw_scale_without_resizing_the_window) {
  open();
  plugin().OnParentWindowResize(600, 300);
  ASSERT_EQ(editor_.resizes.size(), 1u);
  EXPECT_FLOAT_EQ(editor_.resizes[0].drawScale, 0.75f);
  EXPECT_FALSE(editor_.resizes[0].resizeWindow);
  EXPECT_EQ(plugin().GetEditorWidth(), 660);
  EXPECT_EQ(plugin().GetEditorHeight(), 287);
  plugin().OnParentWindowResize(660, 287);  // the same scale again: nothing to redraw
  EXPECT_EQ(editor_.resizes.size(), 1u);

  plugin().attachEditor(nullptr);
  editor_.resizes.clear();
  open(2.0f);
  plugin().OnParentWindowResize(3520, 1528);
  ASSERT_EQ(editor_.resizes.size(), 1u);
  EXPECT_FLOAT_EQ(editor_.resizes[0].drawScale, 2.0f);
  EXPECT_FLOAT_EQ(plugin().platformScale(), 2.0f);
  EXPECT_EQ(plugin().GetEditorWidth(), 3520);
}

TEST_F(EditorRules, editor_scale_and_apply_follow_the_window_rules) {
  plugin().SetEditorSize(0, 0);
  EXPECT_FLOAT_EQ(plugin().editorScale(), 1.0f);
  EXPECT_FLOAT_EQ(plugin().initialDrawScale(), 1.0f);
  plugin().SetEditorSize(1320, 573);
  EXPECT_FLOAT_EQ(plugin().editorScale(), 1.5f);
  EXPECT_NEAR(plugin().initialDrawScale(), 1.5f, 1e-3f);
  plugin().applyEditorScale(2.0f);  // closed: nothing happens
  EXPECT_TRUE(editor_.resizes.empty());

  open();
  plugin().applyEditorScale(1.5f);
  ASSERT_EQ(editor_.resizes.size(), 1u);
  EXPECT_TRUE(editor_.resizes[0].resizeWindow);
  EXPECT_FLOAT_EQ(editor_.resizes[0].drawScale, 573.0f / 382.0f);  // the height decides
  EXPECT_EQ(static_cast<int>(880 * editor_.resizes[0].drawScale), 1320);
  EXPECT_FLOAT_EQ(plugin().editorScale(), 1.5f);
  plugin().applyEditorScale(0.75f);
  EXPECT_FLOAT_EQ(editor_.resizes.back().drawScale, 0.75f);
  plugin().applyEditorScale(5.0f);  // beyond the largest window
  EXPECT_FLOAT_EQ(editor_.resizes.back().drawScale, 2.0f);
}

TEST_F(EditorRules, status_line_shows_the_latency_and_is_written_only_when_it_changes) {
  open();
  host_->runTimer();
  host_->runTimer();
  ASSERT_EQ(editor_.statuses.size(), 1u);
  EXPECT_EQ(editor_.statuses[0].first, "Plumbrook 0.3.2 \u00b7 0 samples latency");
  EXPECT_FALSE(editor_.statuses[0].second);

  plugin().GetParam(kLimiterLookahead)->Set(1.0);
  host_->runTimer();
  ASSERT_EQ(editor_.statuses.size(), 2u);
  EXPECT_EQ(editor_.statuses[1].first, "Plumbrook 0.3.2 \u00b7 72 samples latency");
  EXPECT_TRUE(editor_.statuses[1].second);
  EXPECT_EQ(editor_.idles, 3);

  plugin().attachEditor(nullptr);
  host_->runTimer();
  EXPECT_EQ(editor_.idles, 3);  // a closed editor is left alone
}

TEST_F(EditorRules, an_accent_change_rebuilds_once_and_keeps_the_values) {
  plugin().GetParam(kGain)->Set(6.0);
  plugin().setAccentIndex(3);  // before the editor opens: the layout takes it, no rebuild
  open();
  host_->runTimer();
  EXPECT_EQ(editor_.rebuilds, 0);

  editor_.surface.shown.clear();
  plugin().setAccentIndex(1);
  plugin().setAccentIndex(1);
  host_->runTimer();
  host_->runTimer();
  EXPECT_EQ(editor_.rebuilds, 1);
  EXPECT_EQ(editor_.surface.dirtyMarks, 1);
  ASSERT_EQ(editor_.surface.shown.size(), 13u);
  EXPECT_DOUBLE_EQ(editor_.surface.shown[kGain].normalised, plugin().GetParam(kGain)->ToNormalized(6.0));
  EXPECT_EQ(plugin().GetParam(kGain)->Value(), 6.0);

  plugin().setAccentIndex(1);  // the accent in use: no rebuild
  plugin().setAccentIndex(9);  // out of range: Green
  EXPECT_EQ(plugin().accentIndex(), 0);
  host_->runTimer();
  EXPECT_EQ(editor_.rebuilds, 2);
}

TEST_F(EditorRules, editor_is_shown_every_parameter_change_from_the_host) {
  open();
  editor_.surface.shown.clear();
  host_->setParameter(kWidthActive, 0.0);
  host_->runTimer();
  ASSERT_EQ(editor_.surface.shown.size(), 1u);
  EXPECT_EQ(editor_.surface.shown[0].paramIdx, kWidthActive);
  EXPECT_EQ(editor_.surface.shown[0].normalised, 0.0);
}

TEST_F(EditorRules, loading_a_preset_saved_at_another_size_rescales_the_open_editor) {
  open(1.0f, 1.5f);
  plugin().savePreset("Big", true);
  plugin().attachEditor(nullptr);
  open(1.0f, 1.0f);
  editor_.resizes.clear();
  plugin().loadPresetNamed("Big");
  ASSERT_EQ(editor_.resizes.size(), 1u);
  EXPECT_NEAR(editor_.resizes[0].drawScale, 1.5f, 0.002f);
  EXPECT_TRUE(editor_.resizes[0].resizeWindow);

  plugin().loadPresetNamed("Big");  // already at that size
  EXPECT_EQ(editor_.resizes.size(), 1u);
}
