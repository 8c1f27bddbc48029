// While audio plays the meters redraw only the strips their readings moved; after any number of
// such frames the window must hold exactly what drawing everything again would give.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "plugin/plumbrook.h"
#include "editor/editor_drawing.h"
#include "platform/window/headless_surface.h"
#include "tests/editor/editor_support.h"
#include "tests/support/meter_swing.h"

namespace {

using plugkit::platform::Image;

// Pixels whose channels differ by more than a rounding step.
int differingPixels(const Image& a, const Image& b) {
  int count = 0;
  for (size_t i = 0; i < a.rgba.size(); i += 4)
    for (size_t c = 0; c < 3; ++c)
      if (std::abs(a.rgba[i + c] - b.rgba[i + c]) > 2) {
        ++count;
        break;
      }
  return count;
}

class MeterRedraw : public ::testing::TestWithParam<float> {};

TEST_P(MeterRedraw, frames_of_moved_strips_add_up_to_a_full_redraw) {
  auto plugin = plumbrook::MakePlugin();
  plugin->InitializeIO(2, 2);
  plugin->SetHostSampleRate(48000.0);
  plugkit::platform::HeadlessSurface surface;
  if (!surface.Valid()) GTEST_SKIP() << "no headless GL: " << surface.Error();
  plumbrook::test::ManualClock time;
  const auto resources = plumbrook::editor::defaultResources();
  auto graphics = surface.CreateGraphics(*plugin, plumbrook::kDesignWidth, plumbrook::kDesignHeight, GetParam(),
                                         resources.regularFont.parent_path().string());
  ASSERT_TRUE(graphics);
  auto editor = std::make_unique<plumbrook::editor::PlumbrookEditor>(*plugin, *graphics, resources, time.clock());
  surface.Render(*graphics, true);

  // Levels rising and falling on every meter, ticks 20 ms apart, a frame after each.
  plumbrook::MeterReadings& readings = plugin->meterReadings();
  for (int tick = 0; tick < 120; ++tick) {
    const float swing = 0.5f + 0.45f * std::sin(static_cast<float>(tick) * 0.37f);
    plumbrook::test::storeMeterReadings(readings, swing, 6.0f * swing, 9.0f * swing);
    time.advanceSeconds(0.02);
    plugin->OnTimer();
    surface.Render(*graphics, false);
  }
  const Image partly = surface.ReadPixels();
  surface.Render(*graphics, true);
  const Image whole = surface.ReadPixels();
  ASSERT_EQ(partly.rgba.size(), whole.rgba.size());
  EXPECT_EQ(differingPixels(partly, whole), 0);
  editor.reset();
}

INSTANTIATE_TEST_SUITE_P(Scales, MeterRedraw, ::testing::Values(1.0f, 1.5f, 2.0f));

}  // namespace
