// The editor's layout on the recording back end: tagged rectangles, knob groups, attachment
// order, groups, and the shades and note for every combination of the switches.
#include <gtest/gtest.h>

#include <typeinfo>

#include "editor/corner_scale_control.h"
#include "editor/link_lock_control.h"
#include "editor/meter_controls.h"
#include "editor/pill_toggle_control.h"
#include "editor/preset_bar_control.h"
#include "editor/ring_knob_control.h"
#include "editor/settings_menu_control.h"
#include "editor/typed_value_controls.h"
#include "editor/update_pill_control.h"
#include "editor/width_readout_control.h"
#include "tests/editor/editor_support.h"

using namespace plumbrook;
using plugkit::gfx::Control;
using plugkit::gfx::Rect;

namespace {

class EditorLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    host_ = offline::OfflineHost::create({}, error);
    ASSERT_TRUE(host_) << error;
  }
  Plumbrook& plugin() { return host_->plugin(); }

  std::unique_ptr<offline::OfflineHost> host_;
  test::ManualClock time_;
};

// A short name for a control's class, for comparing orders.
std::string kindOf(const Control* c) {
  using namespace quillfen::controls;
  using namespace plumbrook::editor;
  if (dynamic_cast<const limiter_panel::OutputMeterControl*>(c)) return "level";
  if (dynamic_cast<const limiter_panel::ReductionMeterControl*>(c)) return "reduction";
  if (dynamic_cast<const limiter_panel::LinkLockControl*>(c)) return "lock";
  if (dynamic_cast<const RingKnobControl*>(c)) return "knob";
  if (dynamic_cast<const typed_value::TypedCaptionControl*>(c)) return "caption";
  if (dynamic_cast<const typed_value::EqValueControl*>(c)) return "band";
  if (dynamic_cast<const PillToggleControl*>(c)) return "pill";
  if (dynamic_cast<const PresetBarControl*>(c)) return "bar";
  if (dynamic_cast<const UpdatePillControl*>(c)) return "update";
  if (dynamic_cast<const SettingsMenuControl*>(c)) return "settings";
  if (dynamic_cast<const WidthReadoutControl*>(c)) return "readout";
  if (dynamic_cast<const CornerScaleControl*>(c)) return "corner";
  if (dynamic_cast<const plugkit::gfx::PanelControl*>(c)) return c->GetGroup().empty() ? "panel" : c->GetGroup();
  if (dynamic_cast<const plugkit::gfx::TextControl*>(c)) return "text";
  return "?";
}

}  // namespace

TEST_F(EditorLayout, tagged_controls_sit_on_their_rectangles) {
  test::OpenEditor open(plugin(), time_);
  const std::pair<int, Rect> expected[] = {
      {0, {28, 48, 716, 82}},     {1, {300, 347, 852, 363}},  {2, {20, 142, 90, 322}},
      {3, {298, 142, 332, 322}},  {4, {342, 142, 376, 322}},  {5, {386, 142, 420, 322}},
      {6, {772, 142, 806, 322}},  {7, {796, 142, 862, 322}},  {8, {663, 284, 755, 308}},
      {9, {663, 268, 755, 280}},  {10, {444, 172, 548, 308}},
  };
  for (const auto& [tag, rect] : expected) {
    const Control* c = open.graphics.ControlWithTag(tag);
    ASSERT_NE(c, nullptr) << tag;
    EXPECT_EQ(c->GetRECT(), rect) << "tag " << tag;
  }
  EXPECT_EQ(open.graphics.ControlWithTag(11), nullptr);
  EXPECT_EQ(open.graphics.fonts, (std::vector<std::string>{"Roboto-Regular", "RobotoCondensed-Bold"}));
}

TEST_F(EditorLayout, knob_groups_and_band_columns) {
  test::OpenEditor open(plugin(), time_);
  using quillfen::controls::RingKnobControl;
  using quillfen::controls::typed_value::EqValueControl;
  using quillfen::controls::typed_value::TypedCaptionControl;
  const std::tuple<int, Rect, Rect> groups[] = {
      {kGain, {86, 214, 146, 274}, {76, 294, 156, 308}},
      {kAmount, {168, 166, 276, 274}, {182, 294, 262, 308}},
      {kLimiterThreshold, {581, 148, 641, 208}, {571, 232, 651, 246}},
      {kLimiterCeiling, {679, 148, 739, 208}, {669, 232, 749, 246}},
  };
  for (const auto& [param, knob, caption] : groups) {
    ASSERT_NE(open.onParam<RingKnobControl>(param), nullptr) << param;
    EXPECT_EQ(open.onParam<RingKnobControl>(param)->GetRECT(), knob) << param;
    EXPECT_EQ(open.onParam<TypedCaptionControl>(param)->GetRECT(), caption) << param;
  }
  for (int band = 0; band < 3; ++band) {
    const float x = 308.0f + 44.0f * static_cast<float>(band);
    EXPECT_EQ(open.onParam<RingKnobControl>(kEqLow + band)->GetRECT(), Rect(x - 6, 116, x + 18, 140));
    EXPECT_EQ(open.onParam<EqValueControl>(kEqLow + band)->GetRECT(), Rect(x - 16, 141, x + 28, 153));
  }
}

TEST_F(EditorLayout, controls_are_attached_in_drawing_order) {
  test::OpenEditor open(plugin(), time_);
  std::vector<std::string> kinds;
  for (int i = 0; i < open.graphics.NControls(); ++i) kinds.push_back(kindOf(open.graphics.GetControl(i)));
  const std::vector<std::string> expected = {
      "panel", "panel",                                                    // background, sections panel
      "text", "level", "knob", "text", "caption", "panel",                 // IN
      "text", "knob", "text", "caption", "panel", "text", "text", "text", "text",  // GLUE & EQ
      "reduction", "knob", "band", "reduction", "knob", "band", "reduction", "knob", "band", "panel",
      "text", "pill", "readout", "panel",                                  // WIDTH
      "text", "pill", "knob", "text", "caption", "knob", "text", "caption", "lock", "pill", "pill", "text",
      "reduction", "level",                                                // LIMITER
      "width-shade", "limiter-shade", "bypass-shade",
      "text", "pill", "settings", "update", "bar", "text", "text", "corner"};
  EXPECT_EQ(kinds, expected);
  EXPECT_EQ(open.graphics.GetControl(1)->GetRECT(), Rect(14, 96, 866, 328));
}

TEST_F(EditorLayout, shades_and_the_note_follow_every_combination_of_the_switches) {
  for (int mask = 0; mask < 16; ++mask) {
    const bool bypass = mask & 1, width = mask & 2, limiter = mask & 4, truePeak = mask & 8;
    plugin().GetParam(kBypass)->Set(bypass);
    plugin().GetParam(kWidthActive)->Set(width);
    plugin().GetParam(kLimiterActive)->Set(limiter);
    plugin().GetParam(kLimiterTruePeak)->Set(truePeak);
    test::OpenEditor open(plugin(), time_);
    auto hidden = [&](const char* group) {
      bool all = true;
      int n = 0;
      open.graphics.ForEachControlInGroup(group, [&](Control* c) { all = all && c->IsHidden(), ++n; });
      EXPECT_EQ(n, 1) << group;
      return all;
    };
    SCOPED_TRACE(mask);
    EXPECT_EQ(hidden("bypass-shade"), !bypass);
    EXPECT_EQ(hidden("width-shade"), width);
    EXPECT_EQ(hidden("limiter-shade"), limiter);
    EXPECT_EQ(open.graphics.ControlWithTag(9)->IsHidden(), !truePeak);
  }
}

TEST_F(EditorLayout, shades_follow_switch_changes_and_let_clicks_through) {
  test::OpenEditor open(plugin(), time_);
  auto* shade = [&] {
    Control* found = nullptr;
    open.graphics.ForEachControlInGroup("bypass-shade", [&](Control* c) { found = c; });
    return found;
  }();
  ASSERT_TRUE(shade->IsHidden());
  open.clickCentre(*open.onParam<quillfen::controls::PillToggleControl>(kBypass));
  EXPECT_TRUE(plugin().GetParam(kBypass)->Bool());
  EXPECT_FALSE(shade->IsHidden());

  // Under the bypass shade the Width pill still takes the click.
  const Control* widthPill = open.onParam<quillfen::controls::PillToggleControl>(kWidthActive);
  open.clickCentre(*widthPill);
  EXPECT_FALSE(plugin().GetParam(kWidthActive)->Bool());
  Control* widthShade = nullptr;
  open.graphics.ForEachControlInGroup("width-shade", [&](Control* c) { widthShade = c; });
  EXPECT_FALSE(widthShade->IsHidden());

  host_->setParameter(kLimiterTruePeak, 1.0);  // from the host: through the timer
  host_->runTimer();
  EXPECT_FALSE(open.graphics.ControlWithTag(9)->IsHidden());
}
