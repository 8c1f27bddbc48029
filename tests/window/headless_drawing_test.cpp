// Real drawing through NanoVG on Mesa (EGL, surfaceless): rectangles, arc end points and centred text
// land where they should at several scales; layers composite; PNG files round-trip.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "gfx/svg_control.h"
#include "platform/window/headless_surface.h"
#include "tests/support/gfx_doubles.h"
#include "tests/support/scratch_dir.h"

namespace plugkit::platform {
namespace {

using gfx::Color;
using gfx::Rect;

std::string resourceDir() {
  const char* build = std::getenv("PLUMBROOK_BUILD_DIR");
  return build ? std::string(build) + "/resources" : "resources";
}

bool near(const unsigned char* px, const Color& c, int tolerance = 8) {
  return std::abs(px[0] - c.R) <= tolerance && std::abs(px[1] - c.G) <= tolerance && std::abs(px[2] - c.B) <= tolerance;
}

// A control that runs a drawing function.
class Painter : public gfx::Control {
 public:
  Painter(const Rect& r, std::function<void(gfx::Graphics&)> f) : Control(r), f_(std::move(f)) {}
  void Draw(gfx::Graphics& g) override { f_(g); }

 private:
  std::function<void(gfx::Graphics&)> f_;
};

class HeadlessDrawingTest : public ::testing::TestWithParam<float> {
 protected:
  void SetUp() override {
    if (!surface.Valid()) GTEST_SKIP() << "no headless GL: " << surface.Error();
  }
  Image render(std::function<void(gfx::Graphics&)> paint, int w = 100, int h = 80) {
    auto g = surface.CreateGraphics(delegate, w, h, GetParam(), resourceDir());
    EXPECT_NE(g, nullptr);
    g->AttachBackground(gfx::kColorBlack);
    g->AttachControl(std::make_unique<Painter>(g->GetBounds(), std::move(paint)));
    surface.Render(*g);
    return surface.ReadPixels();
  }
  int px(float units) const { return static_cast<int>(std::floor(units * GetParam())); }

  HeadlessSurface surface;
  plumbrook::test::GfxDelegate delegate;
};

TEST_P(HeadlessDrawingTest, FilledRectangleCoversExactlyItsPixels) {
  const Image img = render([](gfx::Graphics& g) { g.FillRect(gfx::kColorRed, Rect(20, 20, 60, 40)); });
  const float s = GetParam();
  ASSERT_EQ(img.width, static_cast<int>(std::lround(100 * s)));
  ASSERT_EQ(img.height, static_cast<int>(std::lround(80 * s)));
  // Inside, one pixel from each edge, and outside, one pixel beyond each edge.
  const int l = static_cast<int>(std::ceil(20 * s)), r = static_cast<int>(std::floor(60 * s)) - 1;
  const int t = static_cast<int>(std::ceil(20 * s)), b = static_cast<int>(std::floor(40 * s)) - 1;
  for (auto [x, y] : {std::pair{l, t}, {r, t}, {l, b}, {r, b}, {px(40), px(30)}})
    EXPECT_TRUE(near(img.At(x, y), gfx::kColorRed)) << x << "," << y;
  for (auto [x, y] : {std::pair{l - 2, t}, {r + 2, t}, {l, t - 2}, {l, b + 2}})
    EXPECT_TRUE(near(img.At(x, y), gfx::kColorBlack)) << x << "," << y;
}

TEST_P(HeadlessDrawingTest, ArcEndsAtItsAnglesAndLeavesTheGapOpen) {
  const Image img = render([](gfx::Graphics& g) { g.DrawArc(gfx::kColorWhite, 50, 40, 25, -135, 135, nullptr, 4.f); });
  const float s = GetParam();
  const float d = 25.f * std::sqrt(0.5f);
  auto at = [&](float x, float y) { return img.At(static_cast<int>(x * s), static_cast<int>(y * s)); };
  // Just inside each end point (5 degrees from the end) the stroke is lit.
  const float a1 = (-130.f - 90.f) * 3.14159265f / 180.f, a2 = (130.f - 90.f) * 3.14159265f / 180.f;
  EXPECT_GT(at(50 + 25 * std::cos(a1), 40 + 25 * std::sin(a1))[0], 150);
  EXPECT_GT(at(50 + 25 * std::cos(a2), 40 + 25 * std::sin(a2))[0], 150);
  EXPECT_GT(at(50, 15)[0], 150);  // over the top
  EXPECT_LT(at(50, 65)[0], 20);   // the gap at the bottom
  // 10 degrees past each end is dark.
  const float b1 = (-145.f - 90.f) * 3.14159265f / 180.f;
  EXPECT_LT(at(50 + 25 * std::cos(b1), 40 + 25 * std::sin(b1))[0], 40);
  (void)d;
}

TEST_P(HeadlessDrawingTest, CentredTextIsCentredInItsRectangle) {
  const Rect box(10, 20, 90, 60);
  const Image img = render([&](gfx::Graphics& g) {
    g.DrawText(gfx::TextStyle(24.f, gfx::kColorWhite), "HOH", box);
  });
  int minX = img.width, maxX = -1, minY = img.height, maxY = -1;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (img.At(x, y)[0] > 128) minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
  ASSERT_GE(maxX, 0) << "no text drawn (fonts missing from " << resourceDir() << "?)";
  const float s = GetParam();
  EXPECT_NEAR((minX + maxX + 1) / 2.f, box.MW() * s, 1.5f * s + 1.f);
  // Capitals sit around the middle line (they have no descender, so allow their offset).
  EXPECT_NEAR((minY + maxY + 1) / 2.f, box.MH() * s, 2.5f * s + 1.f);
  EXPECT_GT(maxY - minY, 12 * s);  // cap height of 24-unit text
}

TEST_P(HeadlessDrawingTest, ALayerDrawnOnceCompositesWhereItWasMade) {
  gfx::LayerPtr layer;
  const Image img = render([&](gfx::Graphics& g) {
    if (!g.CheckLayer(layer)) {
      g.StartLayer(nullptr, Rect(10, 10, 40, 30));
      g.FillRect(gfx::kColorGreen, Rect(10, 10, 25, 30));
      g.FillRect(gfx::kColorBlue, Rect(25, 10, 40, 30));
      layer = g.EndLayer();
    }
    g.DrawLayer(layer);
  });
  EXPECT_TRUE(near(img.At(px(15), px(20)), gfx::kColorGreen));
  EXPECT_TRUE(near(img.At(px(35), px(12)), gfx::kColorBlue));  // not upside down or mirrored
  EXPECT_TRUE(near(img.At(px(45), px(20)), gfx::kColorBlack));
}

TEST_P(HeadlessDrawingTest, PngFilesRoundTrip) {
  const Image img = render([](gfx::Graphics& g) { g.FillCircle(gfx::kColorYellow, 50, 40, 20); });
  plumbrook::test::ScratchDir dir;
  const std::string path = (dir.path() / "circle.png").string();
  ASSERT_TRUE(WritePng(img, path));
  const Image back = ReadPng(path);
  EXPECT_EQ(back.width, img.width);
  EXPECT_EQ(back.rgba, img.rgba);
  EXPECT_EQ(ReadPng((dir.path() / "missing.png").string()).width, 0);
}

TEST_P(HeadlessDrawingTest, TheLockupDrawsInsideItsBounds) {
  gfx::ClearSvgCache();
  int lit = 0, outside = 0;
  const Rect bounds(10, 20, 10 + 257 * 0.3f, 20 + 40 * 0.3f);
  const Image img = render([&](gfx::Graphics& g) {
    const gfx::Svg svg = g.LoadSVG("plumbrook-lockup.svg");
    ASSERT_TRUE(svg.IsValid()) << "artwork missing from " << resourceDir();
    g.DrawSVG(svg, bounds);
  });
  const float s = GetParam();
  const Rect px(bounds.L * s - 2, bounds.T * s - 2, bounds.R * s + 2, bounds.B * s + 2);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const unsigned char* p = img.At(x, y);
      if (p[0] + p[1] + p[2] < 30) continue;
      ++lit;
      outside += !px.Contains(static_cast<float>(x), static_cast<float>(y));
    }
  EXPECT_GT(lit, static_cast<int>(bounds.W() * bounds.H() * s * s * 0.1f));
  EXPECT_EQ(outside, 0);
}

INSTANTIATE_TEST_SUITE_P(Scales, HeadlessDrawingTest, ::testing::Values(0.75f, 1.f, 1.5f, 2.f));

}  // namespace
}  // namespace plugkit::platform
