// Vector knob: gearing and fine drags, clamped ends, stepped parameters, wheel, the value arc
// from its anchor, the handle look and hits outside the widget square.
#include <gtest/gtest.h>

#include "gfx/graphics_recording.h"
#include "gfx/vector_knob.h"
#include "tests/support/gfx_doubles.h"

namespace plugkit::gfx {
namespace {

using plumbrook::test::GfxDelegate;
using plumbrook::test::ScriptedPlatform;

// The editor's knob: no label or value, widget fraction 1 here so the widget is the control square.
const VectorStyle kPlainStyle = kDefaultStyle.WithShowLabel(false).WithShowValue(false).WithDrawShadows(false).WithDrawFrame(false);

class KnobTest : public ::testing::Test {
 protected:
  KnobTest() : g(delegate, 400, 300) { g.SetPlatform(&platform); }
  VectorKnobControl* knob(int param, float anchor = -135.f, const Rect& r = {0, 0, 40, 40}) {
    return static_cast<VectorKnobControl*>(g.AttachControl(std::make_unique<VectorKnobControl>(
        r, param, "", kPlainStyle, false, false, -135.f, 135.f, anchor, Direction::kVertical, 4.0, 2.f)));
  }
  // Drags vertically by total units in steps of one unit.
  void drag(float total, MouseMod mod = {}) {
    mod.L = true;
    g.OnMouseDown(20, 20, mod);
    const float step = total > 0 ? -1.f : 1.f;  // up is positive travel
    for (int i = 0; i < static_cast<int>(std::abs(total)); ++i) g.OnMouseDrag(20, 20, 0, step, mod);
    g.OnMouseUp(20, 20, mod);
  }

  GfxDelegate delegate;
  ScriptedPlatform platform;
  GraphicsRecording g;
};

TEST_F(KnobTest, ASquareKnobCoversItsRangeInTwentyTimesGearingUnits) {
  VectorKnobControl* k = knob(GfxDelegate::kPlain);
  EXPECT_EQ(k->DragBounds().H(), 20.f);
  drag(40.f);
  EXPECT_NEAR(k->GetValue(), 0.5, 1e-6);
  drag(40.f);
  EXPECT_NEAR(k->GetValue(), 1.0, 1e-6);
}

TEST_F(KnobTest, ShiftOrControlMakesTheDragTenTimesFiner) {
  VectorKnobControl* k = knob(GfxDelegate::kPlain);
  MouseMod fine;
  fine.S = true;
  drag(80.f, fine);
  EXPECT_NEAR(k->GetValue(), 0.1, 1e-6);
  fine.S = false;
  fine.C = true;
  drag(720.f, fine);
  EXPECT_NEAR(k->GetValue(), 1.0, 1e-6);
}

TEST_F(KnobTest, DraggingPastAnEndClampsAndComingBackMovesAtOnce) {
  VectorKnobControl* k = knob(GfxDelegate::kPlain);
  MouseMod m;
  m.L = true;
  g.OnMouseDown(20, 20, m);
  for (int i = 0; i < 200; ++i) g.OnMouseDrag(20, 20, 0, -1, m);  // far past the top
  EXPECT_EQ(k->GetValue(), 1.0);
  g.OnMouseDrag(20, 20, 0, 8, m);  // back down 8 units: 8 / 80 of the range
  EXPECT_NEAR(k->GetValue(), 0.9, 1e-6);
  g.OnMouseUp(20, 20, m);
  EXPECT_EQ(delegate.Count("begin"), 1);
  EXPECT_EQ(delegate.Count("end"), 1);
  EXPECT_EQ(platform.hides, 1);  // the pointer hid for the drag
}

TEST_F(KnobTest, SlowDragsStillMoveASteppedParameter) {
  VectorKnobControl* k = knob(GfxDelegate::kCount);  // 0..10
  MouseMod m;
  m.L = true;
  g.OnMouseDown(20, 20, m);
  std::vector<double> seen;
  for (int i = 0; i < 16; ++i) {
    g.OnMouseDrag(20, 20, 0, -1, m);  // 1/80 of the range each, well under one step (8 units)
    seen.push_back(k->GetValue());
  }
  g.OnMouseUp(20, 20, m);
  for (double v : seen) EXPECT_NEAR(v * 10.0, std::round(v * 10.0), 1e-6);  // always on a step
  EXPECT_NEAR(k->GetValue(), 0.2, 1e-6);
}

TEST_F(KnobTest, WheelMovesOneHundredthOrOneStep) {
  VectorKnobControl* plain = knob(GfxDelegate::kPlain);
  g.OnMouseWheel(20, 20, {}, 3.f);
  EXPECT_NEAR(plain->GetValue(), 0.03, 1e-6);
  MouseMod fine;
  fine.S = true;
  g.OnMouseWheel(20, 20, fine, -1.f);
  EXPECT_NEAR(plain->GetValue(), 0.029, 1e-6);

  VectorKnobControl* count = knob(GfxDelegate::kCount, -135.f, {100, 0, 140, 40});
  count->SetValue(0.5);
  g.OnMouseWheel(120, 20, {}, 0.2f);  // any positive delta: one step up
  EXPECT_NEAR(count->GetValue(), 0.6, 1e-6);
  g.OnMouseWheel(120, 20, {}, -3.f);
  EXPECT_NEAR(count->GetValue(), 0.5, 1e-6);
}

TEST_F(KnobTest, DoubleClickReturnsToTheDefault) {
  VectorKnobControl* k = knob(GfxDelegate::kCount);
  k->SetValue(0.9);
  g.OnMouseDblClick(20, 20, {});
  EXPECT_NEAR(k->GetValue(), 0.5, 1e-6);
}

TEST_F(KnobTest, OnlyTheWidgetSquareHits) {
  // A wide control: the widget is the 40 x 40 square in its middle.
  VectorKnobControl* k = knob(GfxDelegate::kPlain, -135.f, {0, 0, 100, 40});
  EXPECT_EQ(k->WidgetBounds(), Rect(30, 0, 70, 40));
  EXPECT_FALSE(k->IsHit(10, 20));
  EXPECT_TRUE(k->IsHit(50, 20));
  EXPECT_EQ(g.ControlUnderMouse(10, 20, false), nullptr);
}

TEST_F(KnobTest, WidgetFractionAndDragBoundsOfTallAndWideWidgets) {
  auto k = std::make_unique<VectorKnobControl>(Rect(0, 0, 50, 50), -1, "", kPlainStyle.WithWidgetFrac(0.92f));
  k->OnResize();
  EXPECT_NEAR(k->WidgetBounds().W(), 46.f, 1e-4);
  EXPECT_NEAR(k->GetRadius(), 22.f, 1e-4);  // half of 46 minus half the 2-unit track
}

TEST_F(KnobTest, DisabledKnobsGetNoMouseAndDrawADarkerHandle) {
  VectorKnobControl* k = knob(GfxDelegate::kPlain);
  k->SetDisabled(true);
  drag(40.f);
  EXPECT_EQ(k->GetValue(), 0.0);
  g.Clear();
  g.DrawAll();
  const auto fills = g.OpsOf("fill");
  // background panel is absent; fills: knob background, then the handle.
  ASSERT_GE(fills.size(), 2u);
  const FloatColor handle = fills[1].color;
  EXPECT_NEAR(handle.r * 255.f, 200 - 63, 1e-3);
  EXPECT_NEAR(handle.a, 0.25f, 1e-6);  // disabled blend weight
}

// Arc endpoints (degrees, 0 at the top, clockwise) of the single value arc drawn.
struct ArcEnds {
  float x1, y1, x2, y2;
  bool drawn;
};
ArcEnds valueArc(GraphicsRecording& g) {
  g.Clear();
  g.DrawAll();
  // The arc is the first stroked path that contains cubic segments.
  const auto& ops = g.ops;
  for (size_t i = 0; i < ops.size(); ++i) {
    if (ops[i].kind != "cubic") continue;
    const auto& start = ops[i - 1];  // the line or move to the arc's start
    size_t j = i;
    while (j + 1 < ops.size() && ops[j + 1].kind == "cubic") ++j;
    if (ops[j + 1].kind == "composite" && ops[j + 3].kind == "stroke")
      return {start.args[0], start.args[1], ops[j].args[4], ops[j].args[5], true};
    i = j;
  }
  return {0, 0, 0, 0, false};
}

TEST_F(KnobTest, ValueArcGrowsFromItsAnchorOnEitherSide) {
  VectorKnobControl* k = knob(GfxDelegate::kPlain, 0.f);  // centre (20, 20), radius 19
  k->SetValue(0.25);  // -67.5 degrees: the arc runs from the value up to the top
  ArcEnds a = valueArc(g);
  ASSERT_TRUE(a.drawn);
  EXPECT_NEAR(a.x1, 20.f - 19.f * std::sin(67.5f * 3.14159265f / 180.f), 1e-3);
  EXPECT_NEAR(a.x2, 20.f, 1e-3);
  EXPECT_NEAR(a.y2, 1.f, 1e-3);

  k->SetValue(0.75);  // +67.5: from the top to the value
  a = valueArc(g);
  ASSERT_TRUE(a.drawn);
  EXPECT_NEAR(a.x1, 20.f, 1e-3);
  EXPECT_NEAR(a.y1, 1.f, 1e-3);
  EXPECT_GT(a.x2, 20.f);

  k->SetValue(0.5);
  EXPECT_FALSE(valueArc(g).drawn);
}

TEST_F(KnobTest, PointerRunsAlongTheValueAngleFromItsInnerFraction) {
  VectorKnobControl* k = knob(GfxDelegate::kPlain);
  k->SetValue(0.5);  // 0 degrees: straight up
  g.Clear();
  g.DrawAll();
  const auto strokes = g.OpsOf("stroke");
  ASSERT_FALSE(strokes.empty());
  EXPECT_FLOAT_EQ(strokes.back().args[0], 2.5f);
  // The last move/line pair is the pointer: handle radius 15 (r 19 minus 4).
  const auto lines = g.OpsOf("line");
  const auto moves = g.OpsOf("move");
  EXPECT_NEAR(moves.back().args[0], 20.f, 1e-4);
  EXPECT_NEAR(moves.back().args[1], 20.f - 1.5f, 1e-4);
  EXPECT_NEAR(lines.back().args[1], 20.f - 15.f, 1e-4);
}

}  // namespace
}  // namespace plugkit::gfx
