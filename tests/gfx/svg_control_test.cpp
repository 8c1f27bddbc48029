// Pictures in the framework: loading through the cache, drawing into bounds, and the layered control.
#include <gtest/gtest.h>

#include <fstream>

#include "gfx/graphics_recording.h"
#include "gfx/svg_control.h"
#include "tests/support/gfx_doubles.h"
#include "tests/support/scratch_dir.h"

namespace plugkit::gfx {
namespace {

const std::string kArtwork = std::string(PLUMBROOK_SOURCE_DIR) + "/editor/resources";

class SvgControlTest : public ::testing::Test {
 protected:
  SvgControlTest() : g(delegate, 400, 200) {
    ClearSvgCache();
    g.SetResourceDir(kArtwork);
  }
  plumbrook::test::GfxDelegate delegate;
  GraphicsRecording g;
};

TEST_F(SvgControlTest, LoadsTheLockupOnceThroughTheCache) {
  const Svg a = g.LoadSVG("plumbrook-lockup.svg", "px", 72.f);
  ASSERT_TRUE(a.IsValid());
  EXPECT_GT(a.W(), a.H());  // a wide lockup
  const Svg b = g.LoadSVG("plumbrook-lockup.svg");
  EXPECT_EQ(a.Picture(), b.Picture());
  EXPECT_FALSE(g.LoadSVG("missing.svg").IsValid());
  EXPECT_FALSE(LoadSvgFile(kArtwork, "other-name.svg", "mm").IsValid());
}

TEST_F(SvgControlTest, BrokenFilesGiveAnInvalidPictureAndAreNotCached) {
  plumbrook::test::ScratchDir dir;
  g.SetResourceDir(dir.path().string());
  std::ofstream(dir.path() / "bad.svg") << "<svg width='10' height='10'><path d='M 0 0 L'/></svg>";
  EXPECT_FALSE(g.LoadSVG("bad.svg").IsValid());
  std::ofstream(dir.path() / "bad.svg") << "<svg width='10' height='10'><rect width='4' height='4'/></svg>";
  EXPECT_TRUE(g.LoadSVG("bad.svg").IsValid());  // the fixed file is read again
}

TEST_F(SvgControlTest, DrawsEveryShapeScaledIntoItsBounds) {
  const Svg svg = g.LoadSVG("plumbrook-lockup.svg");
  ASSERT_TRUE(svg.IsValid());
  int filled = 0, stroked = 0;
  for (const SvgShape& s : svg.Picture()->shapes) {
    filled += s.fill.enabled;
    stroked += s.stroke.enabled && s.strokeWidth > 0.f;
  }
  g.DrawSVG(svg, Rect(10, 20, 10 + svg.W() * 2, 20 + svg.H() * 0.5f), &kBlend50);
  EXPECT_EQ(static_cast<int>(g.OpsOf("fill").size()), filled);
  EXPECT_EQ(static_cast<int>(g.OpsOf("stroke").size()), stroked);
  const auto transforms = g.OpsOf("transform");
  ASSERT_GE(transforms.size(), 2u);
  EXPECT_FLOAT_EQ(transforms[0].args[4], 10.f);
  EXPECT_FLOAT_EQ(transforms[0].args[5], 20.f);
  EXPECT_FLOAT_EQ(transforms[1].args[0], 2.f);
  EXPECT_FLOAT_EQ(transforms[1].args[3], 0.5f);
  for (const auto& f : g.OpsOf("fill")) EXPECT_LE(f.color.a, 0.5f + 1e-6f);  // the blend weight applies
  EXPECT_EQ(g.ops.back().kind, "restore");
}

TEST_F(SvgControlTest, ALayeredPictureIsDrawnOnceUntilTheScaleChanges) {
  const Svg svg = g.LoadSVG("plumbrook-lockup.svg");
  g.AttachControl(std::make_unique<SvgControl>(Rect(0, 0, 200, 50), svg, true));
  g.DrawAll();
  EXPECT_EQ(g.OpsOf("layer").size(), 1u);
  const size_t fills = g.OpsOf("fill").size();
  g.DrawAll();
  EXPECT_EQ(g.OpsOf("layer").size(), 1u);
  EXPECT_EQ(g.OpsOf("fill").size(), fills);  // composited, not redrawn
  EXPECT_EQ(g.OpsOf("drawlayer").size(), 2u);
  g.Resize(400, 200, 2.f, false);
  g.DrawAll();
  EXPECT_EQ(g.OpsOf("layer").size(), 2u);
  EXPECT_EQ(g.OpsOf("deletelayer").size(), 1u);  // the stale layer's target is released
}

}  // namespace
}  // namespace plugkit::gfx
