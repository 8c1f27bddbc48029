// While audio plays the meters redraw only the strips their readings moved; after any number of
// such frames the window must hold exactly what drawing everything again would give.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "plugin/plumbrook.h"
#include "editor/editor_drawing.h"
#include "editor/meter_controls.h"
#include "editor/settings_menu_control.h"
#include "editor/typed_value_controls.h"
#include "platform/window/editor_view.h"
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

// The editor drawn headless at the test's scale, its meters on a clock the test moves.
class HeadlessEditor : public ::testing::TestWithParam<float> {
 protected:
  void SetUp() override {
    plugin->InitializeIO(2, 2);
    plugin->SetHostSampleRate(48000.0);
    if (!surface.Valid()) GTEST_SKIP() << "no headless GL: " << surface.Error();
    const auto resources = plumbrook::editor::defaultResources();
    graphics = surface.CreateGraphics(*plugin, plumbrook::kDesignWidth, plumbrook::kDesignHeight, GetParam(),
                                      resources.regularFont.parent_path().string());
    ASSERT_TRUE(graphics);
    editor = std::make_unique<plumbrook::editor::PlumbrookEditor>(*plugin, *graphics, resources, time.clock());
  }
  void TearDown() override { editor.reset(); }

  std::unique_ptr<Plumbrook> plugin = plumbrook::MakePlugin();
  plugkit::platform::HeadlessSurface surface;
  plumbrook::test::ManualClock time;
  std::unique_ptr<plugkit::platform::GraphicsGL> graphics;
  std::unique_ptr<plumbrook::editor::PlumbrookEditor> editor;
};

class MeterRedraw : public HeadlessEditor {};

TEST_P(MeterRedraw, frames_of_moved_strips_add_up_to_a_full_redraw) {
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
}

INSTANTIATE_TEST_SUITE_P(Scales, MeterRedraw, ::testing::Values(1.0f, 1.5f, 2.0f));

// Whatever the user or host does, each frame drawn in parts must leave exactly what drawing
// everything again gives: shades and notes shown and hidden, hover on and off every control, a
// pop-up opened and cancelled, a value typed, a resize granted and one refused, meters moving (also
// under an open menu or text entry, where they still make frames of their own parts).
class ScriptedSession : public HeadlessEditor {};

TEST_P(ScriptedSession, every_frame_drawn_in_parts_adds_up_to_a_full_redraw) {
  plugkit::platform::EditorView view(*graphics);
  surface.Render(*graphics, true);

  int tick = 0;
  enum Frame { kAny, kInParts };
  auto frame = [&](const std::string& step, Frame expected = kAny) {
    const float swing = 0.5f + 0.45f * std::sin(static_cast<float>(++tick) * 0.37f);
    plumbrook::test::storeMeterReadings(plugin->meterReadings(), swing, 6.0f * swing, 9.0f * swing);
    time.advanceSeconds(0.02);
    plugin->OnTimer();
    long drawnArea = 0;
    for (const plugkit::platform::PixelRect& r : surface.Render(*graphics, false, &view))
      drawnArea += static_cast<long>(r.width) * r.height;
    const Image partly = surface.ReadPixels();
    if (expected == kInParts) {
      EXPECT_GT(drawnArea, 0) << step;
      EXPECT_LT(drawnArea, static_cast<long>(partly.width) * partly.height / 2) << step;
    }
    surface.Render(*graphics, true, &view);
    const Image whole = surface.ReadPixels();
    ASSERT_EQ(partly.rgba.size(), whole.rgba.size()) << step;
    EXPECT_EQ(differingPixels(partly, whole), 0) << step;
  };
  const float px = graphics->GetTotalScale();
  auto moveTo = [&](float x, float y) { view.MouseMove(x * px, y * px, {}); };

  for (int param : {plumbrook::kBypass, plumbrook::kWidthActive, plumbrook::kLimiterActive,
                    plumbrook::kLimiterTruePeak}) {
    for (double value : {1.0, 0.0, 1.0}) {
      plugin->SetParameterFromHost(param, value);
      frame("parameter " + std::to_string(param) + " set to " + std::to_string(value));
    }
  }
  for (int i = 1; i < graphics->NControls(); ++i) {
    const plugkit::gfx::Rect r = graphics->GetControl(i)->GetRECT();
    moveTo(r.MW(), r.MH());
    frame("hover on control " + std::to_string(i));
  }
  view.MouseLeave();
  frame("pointer gone");

  plugkit::gfx::Control* gainCaption = nullptr;
  graphics->ForEachControlWithParam(plumbrook::kGain, [&](plugkit::gfx::Control* c) {
    if (dynamic_cast<quillfen::controls::typed_value::TypedCaptionControl*>(c)) gainCaption = c;
  });
  ASSERT_NE(gainCaption, nullptr);
  const plugkit::gfx::Rect caption = gainCaption->GetRECT();
  moveTo(caption.MW(), caption.MH());
  view.MouseDown(caption.MW() * px, caption.MH() * px, plugkit::platform::Button::kLeft, {});
  ASSERT_TRUE(view.OverlayOpen());
  frame("entry open");
  view.KeyDown([] { plugkit::gfx::KeyPress k; k.key = plugkit::gfx::Key::kEscape; return k; }());
  frame("entry cancelled");
  view.MouseDown(caption.MW() * px, caption.MH() * px, plugkit::platform::Button::kLeft, {});
  ASSERT_TRUE(view.OverlayOpen());
  frame("entry open again");
  view.TextInput("3");
  frame("typing", kInParts);
  for (int i = 0; i < 3; ++i) frame("meters under the entry", kInParts);
  view.KeyDown([] { plugkit::gfx::KeyPress k; k.key = plugkit::gfx::Key::kEnter; return k; }());
  EXPECT_DOUBLE_EQ(plugin->GetParam(plumbrook::kGain)->Value(), 3.0);
  frame("value typed");

  // The settings menu over a moving meter, its items highlighted one by one, then dismissed.
  plugkit::gfx::Rect meter;
  graphics->ForEachControl([&](plugkit::gfx::Control* c) {
    if (dynamic_cast<quillfen::controls::limiter_panel::OutputMeterControl*>(c)) meter = c->GetRECT();
  });
  ASSERT_FALSE(meter.Empty());
  editor->settingsMenu()->OpenAt(meter);
  ASSERT_TRUE(view.OverlayOpen());
  const plugkit::gfx::Rect menu = view.CurrentOverlay()->Bounds();
  ASSERT_TRUE(menu.Intersects(meter));
  frame("menu open");
  for (float y = menu.T + 8.f; y < menu.B; y += 11.f) {
    moveTo(menu.MW(), y);
    frame("menu highlight at " + std::to_string(y), kInParts);
  }
  for (int i = 0; i < 3; ++i) frame("meters under the menu", kInParts);
  view.KeyDown([] { plugkit::gfx::KeyPress k; k.key = plugkit::gfx::Key::kEscape; return k; }());
  ASSERT_FALSE(view.OverlayOpen());
  frame("menu dismissed", kInParts);

  const float scale = graphics->GetDrawScale();
  graphics->Resize(graphics->Width(), graphics->Height(), scale == 2.f ? 1.f : 2.f, true);  // refused
  EXPECT_FLOAT_EQ(graphics->GetDrawScale(), scale);
  frame("resize refused");
  graphics->OnWindowResized(1320, 600);  // granted: 1.5 fits
  EXPECT_FLOAT_EQ(graphics->GetDrawScale(), 1.5f);
  frame("resize granted");
  for (int i = 0; i < 20; ++i) frame("meters");
}

INSTANTIATE_TEST_SUITE_P(Scales, ScriptedSession, ::testing::Values(0.75f, 1.0f, 2.0f));

}  // namespace
