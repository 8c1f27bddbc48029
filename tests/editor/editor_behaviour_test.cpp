// The open editor through the plug-in on the offline host: status line, accent rebuild, window
// sizes from the settings menu, meters on an injected clock, typed values, Limiter Link drags,
// the preset bar with message boxes, and the update pill against a loopback feed.
#include <gtest/gtest.h>

#include <cmath>

#include "editor/meter_controls.h"
#include "editor/pill_toggle_control.h"
#include "editor/preset_bar_control.h"
#include "editor/ring_knob_control.h"
#include "editor/settings_menu_control.h"
#include "editor/typed_value_controls.h"
#include "editor/update_pill_control.h"
#include "platform/system/http.h"
#include "tests/editor/editor_support.h"
#include "tests/presets/preset_fixture.h"
#include "tests/support/http_test_server.h"
#include "tests/support/scratch_dir.h"
#include "tests/updates/scratch.h"
#include "updates/maker.h"

using namespace plumbrook;
using plugkit::gfx::Color;
using plugkit::gfx::Control;
using plugkit::gfx::MouseMod;
using plugkit::gfx::TextControl;
using Event = offline::OfflineHost::Event;

namespace {

class EditorBehaviour : public test::PresetDirTest {
 protected:
  void SetUp() override {
    test::PresetDirTest::SetUp();
    std::string error;
    host_ = offline::OfflineHost::create({}, error);
    ASSERT_TRUE(host_) << error;
    open_ = std::make_unique<test::OpenEditor>(plugin(), time_);
  }
  void TearDown() override {
    open_.reset();
    host_.reset();
    test::PresetDirTest::TearDown();
  }
  Plumbrook& plugin() { return host_->plugin(); }
  test::OpenEditor& open() { return *open_; }
  /// Chooses a settings menu item by position.
  void chooseSetting(int position) {
    open().platform.menuAnswers = {position};
    open().editor->settingsMenu()->OpenAt({0, 0, 10, 10});
  }
  std::vector<Event::Kind> kindsFor(int paramIdx) const {
    std::vector<Event::Kind> kinds;
    for (const Event& e : host_->events())
      if (e.index == paramIdx) kinds.push_back(e.kind);
    return kinds;
  }

  test::ManualClock time_;
  std::unique_ptr<offline::OfflineHost> host_;
  std::unique_ptr<test::OpenEditor> open_;
};

}  // namespace

TEST_F(EditorBehaviour, status_line_reads_the_latency_in_its_colour) {
  host_->runTimer();
  auto* status = open().tagged<TextControl>(1);
  EXPECT_EQ(status->GetStr(), "Plumbrook 0.3.2 \u00b7 0 samples latency");
  EXPECT_EQ(status->GetText().fg, Color(97, 250, 250, 250));
  open().clickCentre(*open().onParam<quillfen::controls::PillToggleControl>(kLimiterLookahead));
  host_->runTimer();
  EXPECT_EQ(status->GetStr(), "Plumbrook 0.3.2 \u00b7 72 samples latency");
  EXPECT_EQ(status->GetText().fg, Color(255, 255, 157, 46));
  EXPECT_EQ(open().tagged<TextControl>(0)->GetStr(), "PLUMBROOK");
}

TEST_F(EditorBehaviour, an_accent_chosen_in_the_menu_rebuilds_once_and_keeps_the_values) {
  plugin().SetParamFromUI(kGain, plugin().GetParam(kGain)->ToNormalized(6.0));
  const int controls = open().graphics.NControls();
  EXPECT_EQ(open().editor->accent(), Color(255, 21, 232, 121));
  chooseSetting(3);  // Blue
  EXPECT_EQ(plugin().accentIndex(), 3);
  const Control* before = open().graphics.ControlWithTag(2);
  host_->runTimer();
  const Control* after = open().graphics.ControlWithTag(2);
  EXPECT_NE(before, after);  // rebuilt
  host_->runTimer();
  EXPECT_EQ(open().graphics.ControlWithTag(2), after);  // exactly once
  EXPECT_EQ(open().graphics.NControls(), controls);
  EXPECT_EQ(open().editor->accent(), Color(255, 0, 184, 255));
  EXPECT_DOUBLE_EQ(open().onParam<quillfen::controls::RingKnobControl>(kGain)->GetValue(),
                   plugin().GetParam(kGain)->ToNormalized(6.0));
  chooseSetting(3);  // the accent in use: nothing to rebuild
  host_->runTimer();
  EXPECT_EQ(open().graphics.ControlWithTag(2), after);
}

TEST_F(EditorBehaviour, window_sizes_from_the_settings_menu_and_their_check_marks) {
  chooseSetting(9);  // Window 1.5x
  ASSERT_FALSE(open().platform.windowSizes.empty());
  EXPECT_EQ(open().platform.windowSizes.back(), std::make_pair(1320, 573));
  EXPECT_FLOAT_EQ(plugin().editorScale(), 1.5f);
  chooseSetting(10);
  EXPECT_EQ(open().platform.windowSizes.back(), std::make_pair(1760, 764));
  chooseSetting(7);
  EXPECT_EQ(open().platform.windowSizes.back(), std::make_pair(660, 287));
  EXPECT_FLOAT_EQ(open().graphics.GetDrawScale(), 0.75f);

  auto checkedSizes = [&](float scale) {
    open().graphics.Resize(880, 382, scale, false);
    chooseSetting(-1);
    std::vector<int> checked;
    const auto& checks = open().platform.menuChecks.back();
    for (int i = 7; i <= 10; ++i)
      if (checks[static_cast<size_t>(i)]) checked.push_back(i);
    return checked;
  };
  EXPECT_EQ(checkedSizes(1.49f), std::vector<int>{9});
  EXPECT_EQ(checkedSizes(1.51f), std::vector<int>{9});
  EXPECT_EQ(checkedSizes(1.53f), std::vector<int>{});
  EXPECT_EQ(open().platform.menuItems.back().back(), "Plumbrook 0.3.2");
}

TEST_F(EditorBehaviour, meters_follow_the_audio_on_the_idle_ticks_with_their_ballistics) {
  std::vector<double> left(4800, 0.0), right(4800, 0.0), outL(4800), outR(4800);
  for (size_t i = 0; i < left.size(); ++i) left[i] = right[i] = 0.5 * std::sin(0.05 * static_cast<double>(i));
  host_->process({left.data(), right.data()}, {outL.data(), outR.data()}, 4800);
  time_.advanceSeconds(0.02);
  host_->runTimer();
  auto* input = open().tagged<quillfen::controls::limiter_panel::OutputMeterControl>(2);
  EXPECT_NEAR(input->ballistics().holdDb(), -6.02f, 0.1f);
  // Silence for another second on the injected clock: the hold has let go and the bar has fallen
  // 20 dB per second since the last tick that saw the sine.
  std::fill(left.begin(), left.end(), 0.0);
  std::fill(right.begin(), right.end(), 0.0);
  for (int tick = 0; tick < 50; ++tick) {
    time_.advanceSeconds(0.02);
    host_->processBlock(std::array<double*, 2>{left.data(), right.data()}.data(),
                        std::array<double*, 2>{outL.data(), outR.data()}.data(), 0);
    host_->runTimer();
  }
  EXPECT_NEAR(input->ballistics().peakDb(), -6.02f - 20.0f * 1.02f, 0.2f);
  EXPECT_NEAR(input->ballistics().holdDb(), -6.02f, 0.1f);  // held for 1.5 s
  for (int tick = 0; tick < 25; ++tick) {
    time_.advanceSeconds(0.02);
    host_->runTimer();
  }
  EXPECT_EQ(input->ballistics().holdDb(), input->ballistics().peakDb());
  EXPECT_EQ(editor::levelReadout(input->ballistics().holdDb()), "\u221236.4");
}

TEST_F(EditorBehaviour, typed_values_on_captions_and_band_values) {
  using quillfen::controls::typed_value::EqValueControl;
  using quillfen::controls::typed_value::TypedCaptionControl;
  open().platform.textAnswers = {std::string("\u22126 dB")};
  open().clickCentre(*open().onParam<TypedCaptionControl>(kLimiterCeiling));
  EXPECT_EQ(open().platform.textInitials.back(), "-0.3 dB");
  EXPECT_DOUBLE_EQ(plugin().GetParam(kLimiterCeiling)->Value(), -6.0);

  auto* band = open().onParam<EqValueControl>(kEqMid);
  open().platform.textAnswers = {std::string("3")};
  open().clickCentre(*band);
  EXPECT_EQ(open().platform.textInitials.back(), "0.0");
  EXPECT_EQ(band->shownText(), "+3.0");
  const plugkit::gfx::Rect entry = open().platform.popupBounds.back();
  EXPECT_FLOAT_EQ(entry.H(), 18.0f);

  host_->clearEvents();
  open().platform.textAnswers = {std::string("loud")};
  open().clickCentre(*open().onParam<TypedCaptionControl>(kGain));
  EXPECT_EQ(plugin().GetParam(kGain)->Value(), 0.0);
  for (const Event& e : host_->events()) EXPECT_NE(e.kind, Event::kParamChange);
}

TEST_F(EditorBehaviour, dragging_ceiling_with_link_on_moves_threshold_in_its_own_gesture) {
  open().clickCentre(*open().graphics.ControlWithParam(kLimiterLink));
  ASSERT_TRUE(plugin().GetParam(kLimiterLink)->Bool());
  host_->clearEvents();
  const Control* knob = open().onParam<quillfen::controls::RingKnobControl>(kLimiterCeiling);
  MouseMod left;
  left.L = true;
  const float x = knob->GetRECT().MW(), y = knob->GetRECT().MH();
  open().graphics.OnMouseDown(x, y, left);
  for (int step = 1; step <= 10; ++step) open().graphics.OnMouseDrag(x, y + step, 0, 1, left);
  open().graphics.OnMouseUp(x, y + 10, left);

  const double ceiling = plugin().GetParam(kLimiterCeiling)->Value();
  EXPECT_LT(ceiling, -0.3);
  EXPECT_NEAR(plugin().GetParam(kLimiterThreshold)->Value() - ceiling, 0.3, 1e-6);
  const auto ceilingKinds = kindsFor(kLimiterCeiling);
  ASSERT_GE(ceilingKinds.size(), 3u);
  EXPECT_EQ(ceilingKinds.front(), Event::kBeginGesture);
  EXPECT_EQ(ceilingKinds.back(), Event::kEndGesture);
  EXPECT_EQ(std::count(ceilingKinds.begin(), ceilingKinds.end(), Event::kBeginGesture), 1);
  const auto thresholdKinds = kindsFor(kLimiterThreshold);
  EXPECT_EQ(std::count(thresholdKinds.begin(), thresholdKinds.end(), Event::kBeginGesture),
            std::count(thresholdKinds.begin(), thresholdKinds.end(), Event::kEndGesture));
  EXPECT_GE(std::count(thresholdKinds.begin(), thresholdKinds.end(), Event::kParamChange), 1);
}

TEST_F(EditorBehaviour, preset_bar_clicks_save_ask_through_a_real_box_and_step) {
  auto* bar = dynamic_cast<quillfen::controls::PresetBarControl*>(
      open().graphics.GetControl(open().graphics.NControls() - 4));
  ASSERT_NE(bar, nullptr);
  auto clickRegion = [&](int region) {
    const plugkit::gfx::Rect r = bar->regionRect(region);
    open().click(r.MW(), r.MH());
  };
  for (const char* name : {"A", "B"}) {
    open().platform.textAnswers = {std::string(name)};
    clickRegion(editor::kRegionSaveAs);
    host_->runTimer();
  }
  EXPECT_EQ(plugin().presetName(), "B");
  plugin().GetParam(kGain)->Set(5.0);
  open().platform.textAnswers = {std::string("A")};
  open().platform.boxAnswers = {plugkit::MessageBoxResult::kNo};
  clickRegion(editor::kRegionSaveAs);
  host_->runTimer();
  ASSERT_EQ(open().platform.boxMessages.size(), 1u);
  EXPECT_EQ(open().platform.boxMessages[0], "A preset named \"A\" already exists. Replace it?");
  clickRegion(editor::kRegionNext);  // B -> A, as stored
  EXPECT_EQ(plugin().presetName(), "A");
  EXPECT_EQ(plugin().GetParam(kGain)->Value(), 0.0);

  clickRegion(editor::kRegionDelete);
  clickRegion(editor::kRegionDelete);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "A.pbpreset"));
  open().platform.menuAnswers = {0};
  clickRegion(editor::kRegionName);
  EXPECT_EQ(open().platform.menuItems.back(), std::vector<std::string>{"B"});
  EXPECT_EQ(plugin().presetName(), "B");
}

TEST(EditorUpdatePill, appears_with_a_newer_version_on_a_loopback_feed_and_goes_when_switched_off) {
  test::keepRequestsOnLoopback();
  test::HttpTestServer server([](const test::HttpTestServer::Request&) {
    test::HttpTestServer::Response response;
    response.body = R"({"plumbrook":{"version":"0.4.0","page":"/plumbrook"}})";
    return response;
  });
  test::ScratchDir support;
  const std::string closedFeed = ::getenv("QUILLFEN_UPDATES_URL") ? ::getenv("QUILLFEN_UPDATES_URL") : "";
  ::setenv("QUILLFEN_UPDATES_URL", server.url("/updates.json").c_str(), 1);
  Services services;
  services.appSupport = support.path();
  services.fetch = [](const std::string& url, const std::atomic<bool>& cancelled) {
    return platform::getJson(url, 5, &cancelled);
  };
  services.networkAllowed = [] { return true; };
  auto plugin = MakePlugin(std::move(services));
  ::setenv("QUILLFEN_UPDATES_URL", closedFeed.c_str(), 1);
  test::ManualClock time;
  test::OpenEditor open(*plugin, time);
  auto* pill = open.editor->updatePill();
  plugkit::gfx::RectList dirty;
  open.graphics.IsDirty(dirty);
  EXPECT_TRUE(pill->pill().Empty());
  EXPECT_FALSE(pill->IsHit(700, 60));

  plugin->updateCheck()->checkIfDue();  // what the background worker does
  plugin->updateCheck()->reload();
  ASSERT_EQ(server.requests().size(), 1u);
  ASSERT_TRUE(open.graphics.IsDirty(dirty));
  EXPECT_EQ(pill->caption(), "0.4.0 AVAILABLE");
  EXPECT_FALSE(pill->pill().Empty());
  EXPECT_EQ(pill->pill().R, 736.0f);
  // The title gives way to the pill.
  EXPECT_EQ(open.graphics.ControlWithTag(0)->GetRECT().R, pill->pill().L - 10);
  open.click(pill->pill().MW(), pill->pill().MH());
  EXPECT_EQ(open.platform.urls, std::vector<std::string>{std::string(quillfen::updates::kMakerOrigin) + "/plumbrook"});

  open.platform.menuAnswers = {12};  // "Check for updates", checked while on
  open.editor->settingsMenu()->OpenAt({0, 0, 10, 10});
  EXPECT_TRUE(open.platform.menuChecks.back()[12]);
  open.graphics.IsDirty(dirty);
  EXPECT_TRUE(pill->pill().Empty());
  EXPECT_EQ(open.graphics.ControlWithTag(0)->GetRECT().R, 716.0f);
  open.platform.menuAnswers = {-1};
  open.editor->settingsMenu()->OpenAt({0, 0, 10, 10});
  EXPECT_FALSE(open.platform.menuChecks.back()[12]);
}

TEST_F(EditorBehaviour, corner_grip_scales_the_window_between_its_limits) {
  Control* grip = open().graphics.GetControl(open().graphics.NControls() - 1);
  ASSERT_EQ(grip->GetRECT(), plugkit::gfx::Rect(866, 368, 878, 380));
  MouseMod left;
  left.L = true;
  open().graphics.OnMouseDown(872, 374, left);
  // The pointer moves 11 pixels right and 2 down at a time; the window reports it in editor units
  // at the scale of the moment, which changes as the window follows the grip.
  for (int step = 1; step <= 10; ++step) {
    const float scale = open().graphics.GetTotalScale();
    open().graphics.OnMouseDrag((872.f + 11.f * step) / scale, (374.f + 2.f * step) / scale, 0, 0, left);
  }
  open().graphics.OnMouseUp(872, 374, left);
  EXPECT_NEAR(open().graphics.GetDrawScale(), 990.0f / 880.0f, 1e-5f);  // the larger movement, 110 pixels
  EXPECT_EQ(open().platform.windowSizes.back(), std::make_pair(990, 430));

  open().graphics.OnMouseDown(872, 374, left);
  open().graphics.OnMouseDrag(872, 5374, 0, 5000, left);
  open().graphics.OnMouseUp(872, 374, left);
  EXPECT_FLOAT_EQ(open().graphics.GetDrawScale(), 2.0f);
  open().graphics.OnMouseDblClick(872, 374, left);
  EXPECT_FLOAT_EQ(open().graphics.GetDrawScale(), 1.0f);
}
