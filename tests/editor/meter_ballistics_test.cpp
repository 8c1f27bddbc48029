// Meter ballistics on an injected clock, scales, readouts, glue zone and side lift.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "editor/meter_ballistics.h"
#include "editor/meter_controls.h"

using namespace plumbrook::editor;

namespace {

// A clock the test moves by hand.
struct ManualClock {
  int64_t now = 1'000'000'000;
  void advance(double seconds) { now += static_cast<int64_t>(seconds * 1e9); }
  SteadyClock clock() {
    return [this] { return now; };
  }
};

const quillfen::controls::limiter_panel::MeterGeometry kBar{{54, 150, 68, 278}, 22};

}  // namespace

TEST(level_ballistics, silence_reads_minus_infinity_without_a_bar) {
  ManualClock time;
  LevelBallistics meter(time.clock());
  time.advance(0.02);
  EXPECT_FALSE(meter.setLevels(0.0f, 0.0f, true));
  EXPECT_EQ(meter.peakDb(), -60.0f);
  EXPECT_EQ(levelReadout(meter.holdDb()), "-inf");
  EXPECT_EQ(kBar.levelY(meter.peakDb(), 36), kBar.bar.B);  // below the scale: no bar
}

TEST(level_ballistics, a_full_scale_peak_holds_for_one_and_a_half_seconds_while_the_bar_falls) {
  ManualClock time;
  LevelBallistics meter(time.clock());
  time.advance(0.02);
  EXPECT_TRUE(meter.setLevels(1.0f, -1.0f, true));
  EXPECT_EQ(levelReadout(meter.holdDb()), "0.0");
  for (int tick = 0; tick < 70; ++tick) {  // 1.4 s of silence
    time.advance(0.02);
    meter.setLevels(0.0f, -1.0f, true);
  }
  EXPECT_NEAR(meter.peakDb(), -28.0f, 0.01f);  // 20 dB per second
  EXPECT_EQ(meter.holdDb(), 0.0f);
  for (int tick = 0; tick < 10; ++tick) {  // to 1.6 s
    time.advance(0.02);
    meter.setLevels(0.0f, -1.0f, true);
  }
  EXPECT_NEAR(meter.peakDb(), -32.0f, 0.01f);
  EXPECT_EQ(meter.holdDb(), meter.peakDb());  // the hold follows the bar now
  for (int tick = 0; tick < 10; ++tick) {  // to 1.8 s: off the 36 dB scale
    time.advance(0.02);
    meter.setLevels(0.0f, -1.0f, true);
  }
  EXPECT_LE(meter.peakDb(), -36.0f + 0.01f);
}

TEST(level_ballistics, readouts_and_a_long_gap_counts_as_one_second) {
  ManualClock time;
  LevelBallistics meter(time.clock());
  meter.setLevels(0.5f, -1.0f, false);
  EXPECT_EQ(levelReadout(meter.holdDb()), "\u22126.0");
  time.advance(30.0);  // the editor was stalled: the bar falls by one second's worth only
  meter.setLevels(0.0f, -1.0f, false);
  EXPECT_NEAR(meter.peakDb(), -26.02f, 0.01f);
  EXPECT_EQ(levelReadout(-0.04f), "0.0");
  EXPECT_EQ(tickLabel(-24), "\u221224");
  EXPECT_EQ(tickLabel(0), "0");
}

TEST(level_ballistics, rms_smooths_with_a_300_ms_time_constant) {
  ManualClock time;
  LevelBallistics meter(time.clock());
  time.advance(0.3);
  EXPECT_TRUE(meter.setLevels(0.1f, 0.01f, true));  // -20 dB RMS after one time constant
  const float expected = 10.0f * std::log10(0.01f * (1.0f - std::exp(-1.0f)));
  EXPECT_NEAR(meter.rmsDb(), expected, 0.01f);
  time.advance(0.02);
  meter.setLevels(0.1f, -1.0f, true);  // no RMS input: unchanged
  EXPECT_NEAR(meter.rmsDb(), expected, 0.01f);
  // Only the RMS moving still redraws.
  time.advance(0.02);
  EXPECT_TRUE(meter.setLevels(0.1f, 0.01f, true));
}

TEST(reduction_ballistics, rises_at_once_falls_at_30_db_per_second_and_ignores_nan) {
  ManualClock time;
  ReductionBallistics meter(time.clock());
  time.advance(0.02);
  EXPECT_TRUE(meter.feed(2.0f));
  EXPECT_EQ(meter.shownDb(), 2.0f);
  const quillfen::controls::limiter_panel::MeterGeometry band{{298, 158, 310, 278}, 20};
  EXPECT_FLOAT_EQ(band.reductionY(2.0f), 158.0f + 20.0f);  // a sixth of the bar
  time.advance(0.02);
  EXPECT_TRUE(meter.feed(std::numeric_limits<float>::quiet_NaN()));
  EXPECT_NEAR(meter.shownDb(), 1.4f, 1e-4f);
  EXPECT_EQ(meter.holdDb(), 2.0f);
  EXPECT_EQ(reductionReadout(meter.holdDb()), "\u22122.0");
  for (int tick = 0; tick < 100; ++tick) {
    time.advance(0.02);
    meter.feed(0.0f);
  }
  EXPECT_EQ(meter.shownDb(), 0.0f);
  EXPECT_EQ(meter.holdDb(), 0.0f);
  EXPECT_FALSE(meter.feed(0.0f));  // nothing moved, nothing to redraw
  EXPECT_EQ(reductionReadout(0.04f), "0.0");
}

TEST(glue_zone, follows_the_mid_band_curve) {
  EXPECT_FALSE(glueZone(0.0).has_value());
  const auto zone = glueZone(100.0);
  ASSERT_TRUE(zone.has_value());
  EXPECT_NEAR(zone->first, -20.7f, 0.1f);
  EXPECT_NEAR(zone->second, -8.6f, 0.1f);
  // Out-of-range amounts are clamped, not extrapolated.
  EXPECT_EQ(glueZone(500.0), glueZone(200.0));
}

TEST(side_lift, interpolates_between_table_entries) {
  const double a = sideLiftDb(1, 100.0);
  const double b = sideLiftDb(1, 112.5);
  EXPECT_NEAR(sideLiftDb(1, 106.25), (a + b) / 2, 1e-9);
  EXPECT_EQ(sideLiftDb(2, 250.0), sideLiftDb(2, 200.0));
}
