// The editor in a real X11 window under a private Xvfb server, driven by real X events from
// xdotool while the offline host processes audio: drag GAIN, type a CEILING value, step to the
// next preset with the bar's arrow, and choose "Window 1.5x" from the settings menu.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <thread>

#include "editor/editor_drawing.h"
#include "editor/meter_controls.h"
#include "editor/settings_menu_control.h"
#include "editor/preset_bar_control.h"
#include "platform/offline/offline_host.h"
#include "platform/window/editor_window.h"
#include "platform/window/headless_surface.h"
#include "tests/presets/preset_fixture.h"
#include "tests/support/command_runner.h"
#include "tests/support/xvfb.h"

using namespace plumbrook;
using Event = offline::OfflineHost::Event;

namespace {

class EditorWindowTest : public test::PresetDirTest {
 protected:
  void SetUp() override {
    test::PresetDirTest::SetUp();
    if (!xvfb_.Valid()) GTEST_SKIP() << "no Xvfb";
    std::string error;
    host_ = offline::OfflineHost::create({}, error);
    ASSERT_TRUE(host_) << error;
  }
  void TearDown() override {
    editor_.reset();  // the editor goes before the graphics context it lives in
    if (window_) window_->Close();
    window_.reset();
    host_.reset();
    test::PresetDirTest::TearDown();
  }
  Plumbrook& plugin() { return host_->plugin(); }

  // Opens the editor in a window; its meters follow `clock` (the system's by default).
  bool open(editor::SteadyClock clock = editor::systemSteadyClock()) {
    const editor::Resources resources = editor::defaultResources();
    plugkit::platform::EditorWindow::Options options;
    options.scale = plugin().initialDrawScale();
    options.resourceDir = resources.regularFont.parent_path().string();
    window_ = std::make_unique<plugkit::platform::EditorWindow>(plugin(), options, [this, resources, clock](auto& g) {
      editor_.reset();
      editor_ = std::make_unique<editor::PlumbrookEditor>(plugin(), g, resources, clock);
    });
    return window_->Open();
  }
  // Plays audio and runs the window for a while: the host's timer and the frame timer both run.
  void pump(double seconds) {
    std::vector<double> left(480), right(480);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
      for (size_t i = 0; i < left.size(); ++i) left[i] = right[i] = 0.3 * std::sin(0.05 * static_cast<double>(i));
      double* io[2] = {left.data(), right.data()};
      host_->processBlock(io, io, 480);
      window_->Update(0.01);
    }
  }
  // Runs xdotool on the editor's window (coordinates in editor units at the window's scale).
  // xdotool runs while the window keeps handling events and audio keeps playing.
  void xdotool(const std::vector<std::string>& args) {
    const pid_t pid = test::start({"xdotool", args, {}, "", ""});
    ASSERT_GT(pid, 0);
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (waitpid(pid, &status, WNOHANG) != pid && std::chrono::steady_clock::now() < end) pump(0.01);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "xdotool failed";
    pump(0.2);  // let the last events arrive
  }
  std::string wid() const { return std::to_string(window_->NativeWindow()); }
  std::string px(float units) const {
    return std::to_string(static_cast<int>(std::lround(units * window_->GetGraphics()->GetTotalScale())));
  }
  void clickAt(float x, float y) {
    xdotool({"mousemove", "--window", wid(), px(x), px(y), "sleep", "0.05", "click", "1"});
  }
  // A region of the preset bar, in editor units.
  plugkit::gfx::Rect presetBarRegion(int region) const {
    plugkit::gfx::Rect r;
    window_->GetGraphics()->ForEachControl([&](plugkit::gfx::Control* c) {
      if (auto* bar = dynamic_cast<quillfen::controls::PresetBarControl*>(c)) r = bar->regionRect(region);
    });
    return r;
  }
  int count(int paramIdx, Event::Kind kind) const {
    int n = 0;
    for (const Event& e : host_->events()) n += e.index == paramIdx && e.kind == kind;
    return n;
  }

  test::Xvfb xvfb_;
  std::unique_ptr<offline::OfflineHost> host_;
  std::unique_ptr<editor::PlumbrookEditor> editor_;
  std::unique_ptr<plugkit::platform::EditorWindow> window_;
};

}  // namespace

TEST_F(EditorWindowTest, real_x_events_drive_the_editor) {
  plugin().savePreset("A", true);
  plugin().savePreset("B", true);
  ASSERT_TRUE(open()) << window_->Error();
  pump(0.5);
  ASSERT_NE(editor_, nullptr);
  EXPECT_GT(window_->FramesDrawn(), 0);

  // Drag GAIN up by 40 units: the value rises, inside one host gesture.
  host_->clearEvents();
  xdotool({"mousemove", "--window", wid(), px(116), px(244), "sleep", "0.05", "mousedown", "1", "sleep", "0.05",
           "mousemove", "--window", wid(), px(116), px(224), "sleep", "0.05", "mousemove", "--window", wid(),
           px(116), px(204), "sleep", "0.05", "mouseup", "1"});
  EXPECT_GT(plugin().GetParam(kGain)->Value(), 1.0);
  EXPECT_EQ(count(kGain, Event::kBeginGesture), 1);
  EXPECT_EQ(count(kGain, Event::kEndGesture), 1);
  EXPECT_GE(count(kGain, Event::kParamChange), 1);

  // Type a CEILING value into its caption.
  clickAt(709, 239);
  xdotool({"key", "minus", "6", "period", "5"});
  xdotool({"key", "Return"});
  EXPECT_DOUBLE_EQ(plugin().GetParam(kLimiterCeiling)->Value(), -6.5);
  EXPECT_EQ(count(kLimiterCeiling, Event::kBeginGesture), count(kLimiterCeiling, Event::kEndGesture));

  // The bar's next arrow: B -> A.
  ASSERT_EQ(plugin().presetName(), "B");
  const plugkit::gfx::Rect next = presetBarRegion(editor::kRegionNext);
  clickAt(next.MW(), next.MH());
  EXPECT_EQ(plugin().presetName(), "A");

  // "Window 1.5x" from the settings menu, chosen with the keyboard.
  const plugkit::gfx::Rect menu = presetBarRegion(editor::kRegionMenu);
  clickAt(menu.MW(), menu.MH());
  std::vector<std::string> keys = {"key"};
  for (int i = 0; i < 9; ++i) keys.push_back("Down");
  keys.push_back("Return");
  xdotool(keys);
  pump(0.5);
  EXPECT_EQ(test::windowGeometry(wid()), "1320x573");
  EXPECT_FLOAT_EQ(window_->GetGraphics()->GetDrawScale(), 1.5f);
}

// Frames in which meters moved and shades came and went show just the parts that changed, without
// a swap of the whole window, also while a menu is open over a meter; after many of them the
// window must hold exactly what a whole frame shows.
TEST_F(EditorWindowTest, meter_frames_shown_in_parts_add_up_to_a_whole_frame) {
  int64_t nowNs = 1'000'000'000;
  ASSERT_TRUE(open([&nowNs] { return nowNs; })) << window_->Error();
  std::vector<double> left(480), right(480);
  int framesWithMenu = 0, partsWithMenu = 0;
  for (int block = 0; block < 150; ++block) {  // 1.5 s of a swelling and fading tone
    if (block == 90) {
      window_->GetGraphics()->ForEachControl([&](plugkit::gfx::Control* c) {
        if (dynamic_cast<quillfen::controls::limiter_panel::OutputMeterControl*>(c))
          editor_->settingsMenu()->OpenAt(c->GetRECT());
      });
      ASSERT_TRUE(window_->GetView()->OverlayOpen());
    }
    if (block == 100) {  // the menu shown
      framesWithMenu = -window_->FramesDrawn();
      partsWithMenu = -window_->PartialFramesShown();
    }
    const double level = 0.5 + 0.45 * std::sin(0.07 * block);
    for (size_t i = 0; i < left.size(); ++i) left[i] = right[i] = level * std::sin(0.05 * static_cast<double>(i));
    double* io[2] = {left.data(), right.data()};
    host_->processBlock(io, io, 480);
    // Shades and the true-peak note shown and hidden again while the meters move.
    if (block % 10 == 5 && block < 85) {  // each switch on and back off
      static constexpr int kSwitches[] = {kBypass, kWidthActive, kLimiterActive, kLimiterTruePeak};
      const int param = kSwitches[(block / 10) % 4];
      host_->setParameter(param, host_->getParameter(param) > 0.5f ? 0.0 : 1.0);
      host_->runTimer();
    }
    nowNs += 10'000'000;
    window_->Update(0.01);
  }
  for (int i = 0; i < 10; ++i) window_->Update(0.02);  // the last changes shown; audio and clock stand still
  framesWithMenu += window_->FramesDrawn();
  partsWithMenu += window_->PartialFramesShown();
  EXPECT_GT(framesWithMenu, 10);
  EXPECT_EQ(partsWithMenu, framesWithMenu);
  const std::string shown = (support_ / "shown.png").string();
  ASSERT_EQ(test::run({"import", {"-window", wid(), shown}, {}, "", ""}).status, 0);

  // Unmapping and mapping the window makes it expose a whole frame.
  window_->SetVisible(false);
  for (int i = 0; i < 5; ++i) window_->Update(0.02);
  window_->SetVisible(true);
  for (int i = 0; i < 10; ++i) window_->Update(0.02);
  const std::string whole = (support_ / "whole.png").string();
  ASSERT_EQ(test::run({"import", {"-window", wid(), whole}, {}, "", ""}).status, 0);
  const plugkit::platform::Image a = plugkit::platform::ReadPng(shown), b = plugkit::platform::ReadPng(whole);
  ASSERT_EQ(a.rgba.size(), b.rgba.size());
  ASSERT_FALSE(a.rgba.empty());
  int differing = 0;
  for (size_t i = 0; i < a.rgba.size(); i += 4)
    differing += std::abs(a.rgba[i] - b.rgba[i]) + std::abs(a.rgba[i + 1] - b.rgba[i + 1]) +
                     std::abs(a.rgba[i + 2] - b.rgba[i + 2]) > 6;
  EXPECT_EQ(differing, 0);
}
