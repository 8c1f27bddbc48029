// The section controls as drawn on the recording back end: forced and inverted pills, the width
// readout on mono tracks and with Width off, the link lock's lines and the ceiling marker.
#include <gtest/gtest.h>

#include <algorithm>

#include "editor/link_lock_control.h"
#include "editor/meter_controls.h"
#include "editor/pill_toggle_control.h"
#include "editor/width_readout_control.h"
#include "editor/meter_ballistics.h"
#include "tests/editor/editor_support.h"

using namespace plumbrook;
using plugkit::gfx::Control;
using plugkit::gfx::FloatColor;
using plugkit::gfx::GraphicsRecording;
using quillfen::controls::PillToggleControl;

namespace {

class SectionControls : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    host_ = offline::OfflineHost::create({}, error);
    ASSERT_TRUE(host_) << error;
    open_ = std::make_unique<test::OpenEditor>(host_->plugin(), time_);
  }
  Plumbrook& plugin() { return host_->plugin(); }
  GraphicsRecording& g() { return open_->graphics; }
  // What a control draws, alone.
  std::vector<GraphicsRecording::Op> drawn(Control& c) {
    g().Clear();
    c.Draw(g());
    return g().ops;
  }
  static std::vector<std::string> texts(const std::vector<GraphicsRecording::Op>& ops) {
    std::vector<std::string> out;
    for (const auto& op : ops)
      if (op.kind == "text") out.push_back(op.text);
    return out;
  }
  static std::vector<FloatColor> fills(const std::vector<GraphicsRecording::Op>& ops) {
    std::vector<FloatColor> out;
    for (const auto& op : ops)
      if (op.kind == "fill") out.push_back(op.color);
    return out;
  }
  static bool sameRgb(const FloatColor& c, int r, int gr, int b) {
    return std::abs(c.r * 255 - r) < 0.5f && std::abs(c.g * 255 - gr) < 0.5f && std::abs(c.b * 255 - b) < 0.5f;
  }

  test::ManualClock time_;
  std::unique_ptr<offline::OfflineHost> host_;
  std::unique_ptr<test::OpenEditor> open_;
};

}  // namespace

TEST_F(SectionControls, lookahead_pill_held_by_true_peak_ignores_clicks_and_shows_dimmed_on) {
  auto* pill = open_->tagged<PillToggleControl>(8);
  auto* truePeak = open_->onParam<PillToggleControl>(kLimiterTruePeak);
  open_->clickCentre(*truePeak);
  ASSERT_TRUE(plugin().GetParam(kLimiterTruePeak)->Bool());
  open_->clickCentre(*pill);
  EXPECT_FALSE(plugin().GetParam(kLimiterLookahead)->Bool());
  const auto ops = drawn(*pill);
  ASSERT_EQ(texts(ops), std::vector<std::string>{"LOOKAHEAD"});
  const auto colours = fills(ops);
  ASSERT_EQ(colours.size(), 2u);  // body, dot
  EXPECT_TRUE(sameRgb(colours[1], 21, 232, 121));  // the accent dot of the highlighted look
  EXPECT_NEAR(colours[1].a, 0.55f, 1e-3f);

  open_->clickCentre(*truePeak);
  open_->clickCentre(*pill);
  EXPECT_TRUE(plugin().GetParam(kLimiterLookahead)->Bool());
  EXPECT_NEAR(fills(drawn(*pill))[1].a, 1.0f, 1e-3f);
}

TEST_F(SectionControls, bypass_pill_highlights_its_off_state) {
  auto* pill = open_->onParam<PillToggleControl>(kBypass);
  auto ops = drawn(*pill);
  EXPECT_EQ(texts(ops), std::vector<std::string>{"ACTIVE"});
  EXPECT_TRUE(sameRgb(fills(ops)[1], 21, 232, 121));
  open_->clickCentre(*pill);
  ops = drawn(*pill);
  EXPECT_EQ(texts(ops), std::vector<std::string>{"BYPASSED"});
  EXPECT_TRUE(sameRgb(fills(ops)[1], 250, 250, 250));
}

TEST_F(SectionControls, width_readout_reads_zero_with_width_off_and_a_note_on_mono_tracks) {
  auto* readout = open_->tagged<editor::WidthReadoutControl>(10);
  auto ops = drawn(*readout);
  EXPECT_EQ(texts(ops), (std::vector<std::string>{"SIDE LIFT", "MID", "+0.0", "HIGH", "+3.0", "set by AMOUNT"}));
  EXPECT_EQ(fills(ops).size(), 3u);  // two tracks and HIGH's bar: a lift shown as +0.0 draws no bar

  host_->setParameter(kWidthActive, 0.0);
  host_->runTimer();
  ops = drawn(*readout);
  EXPECT_EQ(texts(ops), (std::vector<std::string>{"SIDE LIFT", "MID", "+0.0", "HIGH", "+0.0", "set by AMOUNT"}));
  EXPECT_EQ(fills(ops).size(), 2u);  // empty bars

  readout->SetClean();
  plugin().meterReadings().channels.store(1);
  host_->runTimer();
  EXPECT_TRUE(readout->IsDirty());  // redrawn at the next idle tick
  EXPECT_EQ(texts(drawn(*readout)), (std::vector<std::string>{"mono track:", "nothing to widen"}));
}

TEST_F(SectionControls, locked_link_draws_its_lines_to_both_knobs) {
  Control* lock = open_->graphics.ControlWithParam(kLimiterLink);
  const size_t unlockedStrokes = [&] {
    size_t n = 0;
    for (const auto& op : drawn(*lock)) n += op.kind == "stroke";
    return n;
  }();
  open_->clickCentre(*lock);
  std::vector<FloatColor> strokes;
  for (const auto& op : drawn(*lock))
    if (op.kind == "stroke") strokes.push_back(op.color);
  // Locked: the body is filled instead of outlined, and the left leg and two link lines appear.
  EXPECT_EQ(strokes.size(), unlockedStrokes - 1 + 3);
  EXPECT_NEAR(strokes.back().a, 153.0f / 255.0f, 1e-3f);
}

TEST_F(SectionControls, output_meter_draws_the_ceiling_as_a_dashed_line) {
  auto* meter = open_->tagged<quillfen::controls::limiter_panel::OutputMeterControl>(7);
  host_->setParameter(kLimiterCeiling, -6.0);
  host_->runTimer();
  float y = -1;
  int dashes = 0;
  const auto ops = drawn(*meter);
  float lastMoveY = -2, lastLineY = -3;
  int movesInPath = 0;
  for (const auto& op : ops) {
    if (op.kind == "move") lastMoveY = op.args[1], ++movesInPath;
    if (op.kind == "line") lastLineY = op.args[1];
    if (op.kind == "stroke" && sameRgb(op.color, 255, 157, 46)) {
      EXPECT_EQ(lastMoveY, lastLineY);  // horizontal
      y = lastMoveY;
      dashes += movesInPath;
    }
    if (op.kind == "stroke" || op.kind == "fill") movesInPath = 0;
  }
  EXPECT_FLOAT_EQ(y, 150.0f + 128.0f / 6.0f);  // a sixth of the bar down
  EXPECT_EQ(dashes, 6);                          // from L - 4 in steps of 4 while below R + 4
}
