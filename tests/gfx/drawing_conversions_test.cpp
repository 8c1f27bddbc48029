// Conversions every back end shares, checked on the recording back end: colours with blend weights,
// composite operations per call, arcs as Bézier segments, and text anchors.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "gfx/graphics_recording.h"
#include "tests/support/gfx_doubles.h"

namespace plugkit::gfx {
namespace {

class ConversionsTest : public ::testing::Test {
 protected:
  ConversionsTest() : g(delegate, 200, 100) {}
  plumbrook::test::GfxDelegate delegate;
  GraphicsRecording g;
};

TEST_F(ConversionsTest, BlendWeightScalesAlphaOnly) {
  const Blend half{BlendMethod::kSrcOver, 0.5f};
  g.FillRect(Color(128, 255, 0, 0), Rect(0, 0, 10, 10), &half);
  const auto fill = g.OpsOf("fill").at(0);
  EXPECT_NEAR(fill.color.a, 64.f / 255.f, 1e-6);
  EXPECT_FLOAT_EQ(fill.color.r, 1.f);
  EXPECT_FLOAT_EQ(fill.color.g, 0.f);
  g.FillRect(Color(128, 255, 0, 0), Rect(0, 0, 10, 10));
  EXPECT_NEAR(g.OpsOf("fill").at(1).color.a, 128.f / 255.f, 1e-6);
}

TEST_F(ConversionsTest, CompositeOperationIsSetForOneCallAndResetAfterIt) {
  g.FillCircle(kColorWhite, 50, 50, 10, &kBlendMask);
  g.DrawLine(kColorWhite, 0, 0, 10, 10, &kBlendUnder);
  const Blend add{BlendMethod::kAdd, 1.f};
  g.DrawText(kDefaultText, "x", Rect(0, 0, 20, 20), &add);
  const Blend xorBlend{BlendMethod::kXOR, 1.f};
  g.FillRect(kColorWhite, Rect(0, 0, 1, 1), &xorBlend);
  const auto ops = g.OpsOf("composite");
  ASSERT_EQ(ops.size(), 8u);
  EXPECT_EQ(ops[0].composite.operation, 5);  // destination-in
  EXPECT_EQ(ops[2].composite.operation, 4);  // destination-over
  EXPECT_EQ(ops[4].composite.kind, CompositeOp::Kind::kBlendFunc);
  EXPECT_EQ(ops[4].composite.srcFactor, 0x40);
  EXPECT_EQ(ops[4].composite.dstFactor, 0x100);
  EXPECT_EQ(ops[6].composite.operation, 10);  // xor
  for (size_t i = 1; i < ops.size(); i += 2) {
    EXPECT_EQ(ops[i].composite.kind, CompositeOp::Kind::kOperation);
    EXPECT_EQ(ops[i].composite.operation, 0) << "call " << i / 2 << " left its composite operation set";
  }
  // The reset follows the drawing call itself.
  size_t fillAt = 0, resetAt = 0;
  for (size_t i = 0; i < g.ops.size(); ++i) {
    if (g.ops[i].kind == "fill" && !fillAt) fillAt = i;
    if (g.ops[i].kind == "composite" && fillAt && !resetAt) resetAt = i;
  }
  EXPECT_EQ(resetAt, fillAt + 1);
}

TEST_F(ConversionsTest, FillRuleAndStrokeWinding) {
  g.PathRect(Rect(0, 0, 10, 10));
  g.PathFill(kColorBlack, {FillRule::kEvenOdd, false});
  EXPECT_EQ(g.OpsOf("fill").at(0).winding, 2);
  g.PathRect(Rect(0, 0, 10, 10));
  g.PathFill(kColorBlack, {FillRule::kWinding, true});
  EXPECT_EQ(g.OpsOf("fill").at(1).winding, 1);
  EXPECT_NE(g.ops.back().kind, "clear");  // preserved
  g.PathStroke(kColorBlack, 2.f);
  EXPECT_EQ(g.OpsOf("winding").back().winding, 1);
  EXPECT_EQ(g.ops.back().kind, "clear");
}

TEST_F(ConversionsTest, DottedLinesAreStrokedDashes) {
  g.DrawDottedLine(kColorWhite, 0, 5, 10, 5, nullptr, 1.f, 2.f);
  const auto moves = g.OpsOf("move");
  const auto lines = g.OpsOf("line");
  ASSERT_EQ(moves.size(), 3u);  // dashes at 0..2, 4..6, 8..10
  EXPECT_FLOAT_EQ(moves[1].args[0], 4.f);
  EXPECT_FLOAT_EQ(lines[2].args[0], 10.f);
  EXPECT_EQ(g.OpsOf("stroke").size(), 1u);
}

TEST_F(ConversionsTest, ShapesAndTextsWhollyOutsideTheClipAreSkipped) {
  struct Case {
    const char* what;
    std::function<void()> draw;
    bool drawn;
  };
  const Case cases[] = {
      {"rect whose edge reaches in", [&] { g.FillRect(kColorWhite, Rect(20, 40, 29.5f, 50)); }, true},
      {"rect outside", [&] { g.FillRect(kColorWhite, Rect(0, 0, 10, 10)); }, false},
      {"thick line reaching in", [&] { g.DrawLine(kColorWhite, 0, 27, 100, 27, nullptr, 8.f); }, true},
      {"line outside", [&] { g.DrawLine(kColorWhite, 0, 5, 100, 5); }, false},
      {"long text overflowing its box into the clip", [&] { g.DrawText(kDefaultText, "a long caption", Rect(0, 35, 10, 45)); }, true},
      {"text outside", [&] { g.DrawText(kDefaultText, "-12", Rect(120, 80, 140, 90)); }, false},
      {"right-aligned text ending left of the clip", [&] { g.DrawText(kDefaultText.WithAlign(Align::kFar), "-12", Rect(-40, 40, -15, 50)); }, false},
  };
  for (const Case& c : cases) {
    g.ops.clear();
    g.PathClipRegion(Rect(30, 30, 70, 70));
    c.draw();
    EXPECT_EQ(!g.OpsOf("fill").empty() || !g.OpsOf("stroke").empty() || !g.OpsOf("text").empty(), c.drawn) << c.what;
  }
  // Under a transform the clip cannot be compared with the shape: it is drawn.
  g.ops.clear();
  g.PathTransformSave();
  g.PathTransformRotate(30.f);
  g.FillRect(kColorWhite, Rect(0, 0, 10, 10));
  g.PathTransformRestore();
  EXPECT_EQ(g.OpsOf("fill").size(), 1u);
  g.PathClipRegion();
}

TEST_F(ConversionsTest, ArcOverTheTopStartsLowerLeftAndEndsLowerRight) {
  const auto segs = ArcToBeziers(100, 100, 50, -135, 135, Winding::kCW);
  ASSERT_EQ(segs.size(), 3u);  // 270 degrees in 90-degree segments
  const float d = 50.f * std::sqrt(0.5f);
  EXPECT_NEAR(segs.front().x1, 100 - d, 1e-3);
  EXPECT_NEAR(segs.front().y1, 100 + d, 1e-3);
  EXPECT_NEAR(segs.back().x2, 100 + d, 1e-3);
  EXPECT_NEAR(segs.back().y2, 100 + d, 1e-3);
  EXPECT_NEAR(segs[1].y2, 100 - d, 1e-3);  // passes over the top
  // Handle length 4/3 (1 - cos h) / sin h of the radius, h = 45 degrees.
  const float k = 4.f / 3.f * (1.f - std::cos(0.785398f)) / std::sin(0.785398f);
  EXPECT_NEAR(std::hypot(segs[0].cx1 - segs[0].x1, segs[0].cy1 - segs[0].y1), k * 50.f, 1e-3);
  // Every point of the curve stays on the circle to within a small fraction of the radius.
  for (const auto& s : segs) {
    for (float t = 0.f; t <= 1.f; t += 0.125f) {
      const float u = 1.f - t;
      const float x = u * u * u * s.x1 + 3 * u * u * t * s.cx1 + 3 * u * t * t * s.cx2 + t * t * t * s.x2;
      const float y = u * u * u * s.y1 + 3 * u * u * t * s.cy1 + 3 * u * t * t * s.cy2 + t * t * t * s.y2;
      EXPECT_NEAR(std::hypot(x - 100, y - 100), 50.f, 0.02f);
    }
  }
}

TEST_F(ConversionsTest, ArcSweepIsLimitedToOneTurnInAtMostFiveSegments) {
  EXPECT_EQ(ArcToBeziers(0, 0, 1, 0, 720, Winding::kCW).size(), 4u);
  EXPECT_LE(ArcToBeziers(0, 0, 1, 0, 359, Winding::kCW).size(), 5u);
  const auto tiny = ArcToBeziers(0, 0, 1, 10, 10.5f, Winding::kCW);
  ASSERT_EQ(tiny.size(), 1u);
  const auto ccw = ArcToBeziers(0, 0, 10, 90, 0, Winding::kCCW);  // from 3 o'clock back to the top
  EXPECT_NEAR(ccw.back().x2, 0.f, 1e-4);
  EXPECT_NEAR(ccw.back().y2, -10.f, 1e-4);
}

TEST_F(ConversionsTest, TextIsAnchoredByItsAlignments) {
  const Rect r(10, 20, 110, 60);
  struct Case {
    Align h;
    VAlign v;
    float x, y;
  };
  const Case cases[] = {{Align::kNear, VAlign::kTop, 10, 20},
                        {Align::kCenter, VAlign::kMiddle, 60, 40},
                        {Align::kFar, VAlign::kBottom, 110, 60}};
  for (const Case& c : cases) {
    g.Clear();
    g.DrawText(kDefaultText.WithAlign(c.h).WithVAlign(c.v), "abc", r);
    const auto text = g.OpsOf("text").at(0);
    EXPECT_FLOAT_EQ(text.anchor.x, c.x);
    EXPECT_FLOAT_EQ(text.anchor.y, c.y);
    EXPECT_EQ(text.anchor.align, c.h);
    EXPECT_EQ(text.anchor.valign, c.v);
  }
  Rect measured = r;
  EXPECT_FLOAT_EQ(g.MeasureText(kDefaultText, "abcd", measured), 28.f);
  EXPECT_FLOAT_EQ(measured.MW(), 60.f);  // centred text is measured around the centre
  EXPECT_FLOAT_EQ(measured.MH(), 40.f);
}

TEST_F(ConversionsTest, RotatedTextTurnsAboutItsAnchorAndMeasuresItsRotatedBox) {
  const TextStyle upright = kDefaultText.WithAlign(Align::kCenter);
  TextStyle turned = upright;
  turned.angleDeg = 90.f;
  g.DrawText(turned, "abcd", Rect(0, 0, 100, 100));
  const auto transforms = g.OpsOf("transform");
  ASSERT_EQ(transforms.size(), 3u);
  EXPECT_FLOAT_EQ(transforms[0].args[4], 50.f);
  EXPECT_NEAR(transforms[1].args[1], 1.f, 1e-6);  // sin 90
  EXPECT_EQ(g.ops.back().kind, "restore");
  Rect m(0, 0, 100, 100);
  g.MeasureText(turned, "abcd", m);
  EXPECT_NEAR(m.W(), 14.f, 1e-4);
  EXPECT_NEAR(m.H(), 28.f, 1e-4);
}

}  // namespace
}  // namespace plugkit::gfx
