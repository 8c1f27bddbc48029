// Preset bar geometry, arrow stepping and name fitting.
#include <gtest/gtest.h>

#include "editor/preset_bar_geometry.h"

using namespace plumbrook::editor;

TEST(preset_bar_geometry, elements_sit_in_order_and_hit_their_own_regions) {
  const PresetBarGeometry bar{{0, 0, 880, 32}};
  const auto rects = bar.layout();
  const float h = 32 - 2 * 5.76f;
  EXPECT_FLOAT_EQ(rects[kRegionPrevious].L, 28 - 0.28f * h);
  EXPECT_FLOAT_EQ(rects[kRegionName].W(), 210.0f);
  EXPECT_FLOAT_EQ(rects[kRegionMenu].R, 852 + 0.27f * h);
  for (int region = kRegionPrevious; region <= kRegionMenu; ++region) {
    const Rect& r = rects[static_cast<size_t>(region)];
    EXPECT_EQ(bar.regionAt((r.L + r.R) / 2, (r.T + r.B) / 2), region);
    EXPECT_FLOAT_EQ(r.H(), h);
    if (region > kRegionPrevious && region < kRegionMenu) {
      EXPECT_GE(r.L, rects[static_cast<size_t>(region) - 1].R);
    }
  }
  EXPECT_EQ(bar.regionAt(rects[kRegionNext].L, 16), kRegionNext);  // left edge inclusive
  EXPECT_EQ(bar.regionAt(2, 16), kRegionNone);
  EXPECT_EQ(bar.regionAt(rects[kRegionName].L + 1, 1), kRegionNone);  // in the padding

  PresetBarGeometry noMenu = bar;
  noMenu.hasMenu = false;
  EXPECT_EQ(noMenu.regionAt((rects[kRegionMenu].L + rects[kRegionMenu].R) / 2, 16), kRegionNone);
}

TEST(preset_bar_geometry, a_narrow_bar_keeps_the_name_box_at_least_square) {
  const PresetBarGeometry bar{{0, 0, 300, 32}};
  const auto rects = bar.layout();
  EXPECT_FLOAT_EQ(rects[kRegionName].W(), rects[kRegionName].H());
}

TEST(preset_bar_stepping, wraps_at_both_ends_and_starts_over_without_a_current_preset) {
  const std::vector<std::string> names = {"A", "B", "C"};
  EXPECT_EQ(steppedPreset(names, "C", +1), "A");
  EXPECT_EQ(steppedPreset(names, "C", -1), "B");
  EXPECT_EQ(steppedPreset(names, "", +1), "A");
  EXPECT_EQ(steppedPreset(names, "", -1), "C");
  EXPECT_EQ(steppedPreset(names, "Deleted", -1), "C");
  EXPECT_FALSE(steppedPreset({}, "A", +1).has_value());
}

TEST(preset_bar_fitting, shortens_by_whole_characters_and_keeps_short_names) {
  auto atMost = [](size_t bytes) { return [bytes](const std::string& s) { return s.size() <= bytes; }; };
  EXPECT_EQ(fittedText("Warm", atMost(10)), "Warm");
  EXPECT_EQ(fittedText("Warm Bus Glue", atMost(9)), "Warm B\u2026");
  // "é" is two bytes: it goes as a whole, never half.
  EXPECT_EQ(fittedText("Caf\u00e9 au lait", atMost(7)), "Caf\u2026");
  EXPECT_EQ(fittedText("Long", atMost(0)), "\u2026");
  EXPECT_EQ(trimmedName(" \tWarm Bus \t"), "Warm Bus");
  EXPECT_EQ(trimmedName("   "), "");
}
