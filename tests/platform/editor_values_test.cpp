// Typed values and meter feeding through the plug-in on the offline host: gestures the host
// records, clamping, refused text, and the levels of processed audio reaching the meters.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "editor/meter_ballistics.h"
#include "editor/meter_feed.h"
#include "editor/typed_value.h"
#include "platform/offline/offline_host.h"
#include "tests/support/fake_editor.h"

using namespace plumbrook;
using plumbrook::offline::OfflineHost;
using quillfen::controls::typed_value::bandValueText;
using quillfen::controls::typed_value::sendTypedText;
using Event = OfflineHost::Event;

namespace {

class EditorValues : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    host_ = OfflineHost::create({}, error);
    ASSERT_TRUE(host_) << error;
  }
  Plumbrook& plugin() { return host_->plugin(); }
  std::vector<Event::Kind> kindsFor(int paramIdx) const {
    std::vector<Event::Kind> kinds;
    for (const Event& e : host_->events())
      if (e.index == paramIdx) kinds.push_back(e.kind);
    return kinds;
  }
  // Runs a stereo sine at a peak level through the chain.
  void play(double peak, int frames) {
    std::vector<double> left(static_cast<size_t>(frames)), right(left.size());
    for (size_t i = 0; i < left.size(); ++i) left[i] = right[i] = peak * std::sin(0.05 * static_cast<double>(i));
    std::vector<double> outL(left.size()), outR(left.size());
    host_->process(std::vector<const double*>{left.data(), right.data()}, std::vector<double*>{outL.data(), outR.data()}, frames);
  }

  std::unique_ptr<OfflineHost> host_;
};

}  // namespace

TEST_F(EditorValues, typed_text_is_one_gesture_clamped_to_the_range) {
  host_->clearEvents();
  const auto shown = sendTypedText(plugin(), kAmount, "500", false);
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ(plugin().GetParam(kAmount)->Value(), 200.0);
  EXPECT_DOUBLE_EQ(*shown, 1.0);
  EXPECT_EQ(kindsFor(kAmount), (std::vector<Event::Kind>{Event::kBeginGesture, Event::kParamChange, Event::kEndGesture}));

  sendTypedText(plugin(), kLimiterThreshold, "\xE2\x88\x92" "40 dB", false);
  EXPECT_EQ(plugin().GetParam(kLimiterThreshold)->Value(), -30.0);
  sendTypedText(plugin(), kGain, "  -  3,5", false);
  EXPECT_DOUBLE_EQ(plugin().GetParam(kGain)->Value(), -3.5);

  sendTypedText(plugin(), kEqHigh, "3", false);
  EXPECT_NEAR(plugin().GetParam(kEqHigh)->Value(), 3.0, 1e-9);
  EXPECT_EQ(bandValueText(plugin().GetParam(kEqHigh)->Value()), "+3.0");
}

TEST_F(EditorValues, text_without_a_number_sends_nothing) {
  host_->clearEvents();
  for (const char* text : {"abc", "", "-", ".", "dB 3"}) {
    EXPECT_FALSE(sendTypedText(plugin(), kGain, text, false).has_value()) << text;
  }
  EXPECT_FALSE(sendTypedText(plugin(), -1, "3", false).has_value());
  EXPECT_TRUE(host_->events().empty());
  EXPECT_EQ(plugin().GetParam(kGain)->Value(), 0.0);
}

TEST_F(EditorValues, typed_threshold_moves_the_ceiling_when_linked) {
  plugin().GetParam(kLimiterLink)->Set(1.0);
  plugin().OnParamChangeUI(kLimiterLink, plugkit::kUI);
  host_->clearEvents();
  sendTypedText(plugin(), kLimiterThreshold, "-6", false);
  EXPECT_NEAR(plugin().GetParam(kLimiterCeiling)->Value(), -6.3, 1e-6);
  // The ceiling moved inside a gesture of its own, nested in the threshold's.
  EXPECT_EQ(kindsFor(kLimiterCeiling),
            (std::vector<Event::Kind>{Event::kBeginGesture, Event::kParamChange, Event::kEndGesture}));
}

TEST_F(EditorValues, band_value_texts) {
  EXPECT_EQ(bandValueText(0.04), "0.0");
  EXPECT_EQ(bandValueText(-0.04), "0.0");
  EXPECT_EQ(bandValueText(2.96), "+3.0");
  EXPECT_EQ(bandValueText(-6.0), "\u22126.0");
}

TEST_F(EditorValues, meters_show_the_levels_played_since_the_last_tick_and_clear_them) {
  test::FakeEditor editor;
  plugin().AttachUI(&editor);  // metering runs only with an open editor
  int64_t now = 0;
  auto clock = [&now] { return now; };
  editor::LevelBallistics input(clock), output(clock);
  editor::ReductionBallistics low(clock), mid(clock), high(clock), limiter(clock);
  bool inputMoved = false, outputMoved = false;
  editor::MeterTargets targets;
  targets.input = [&](float peak, float ms) { inputMoved = input.setLevels(peak, ms, true); };
  targets.glue = {[&](float db) { low.feed(db); }, [&](float db) { mid.feed(db); }, [&](float db) { high.feed(db); }};
  targets.limiter = [&](float db) { limiter.feed(db); };
  targets.output = [&](float peak, float ms) { outputMoved = output.setLevels(peak, ms, true); };

  plugin().GetParam(kLimiterCeiling)->Set(-6.0);
  plugin().prepareAtCurrentSettings();  // start settled at the new ceiling
  play(0.5, 4800);
  now += 20'000'000;
  editor::feedMeters(plugin().meterReadings(), targets);
  EXPECT_TRUE(inputMoved);
  EXPECT_TRUE(outputMoved);
  EXPECT_NEAR(input.peakDb(), -6.02f, 0.1f);
  EXPECT_LE(output.peakDb(), -5.9f);       // held under the ceiling
  EXPECT_GT(input.rmsDb(), -60.0f);
  EXPECT_EQ(plugin().meterReadings().inputPeak.load(), 0.0f);
  EXPECT_EQ(plugin().meterReadings().inputFrames.load(), 0);

  // A missing meter leaves its readings in the record.
  play(0.5, 480);
  editor::MeterTargets withoutOutput = targets;
  withoutOutput.output = {};
  editor::feedMeters(plugin().meterReadings(), withoutOutput);
  EXPECT_GT(plugin().meterReadings().outputPeak.load(), 0.0f);
  plugin().DetachUI();
}
