// The layout data: knob group rectangles, band columns, section order, shades and tags.
#include <gtest/gtest.h>

#include <set>

#include "editor/editor_layout.h"

using namespace plumbrook;
using namespace plumbrook::editor;

namespace {
::testing::AssertionResult sameRect(const Rect& a, const Rect& b) {
  if (a == b) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << a.L << ", " << a.T << ", " << a.R << ", " << a.B << ") != (" << b.L
                                       << ", " << b.T << ", " << b.R << ", " << b.B << ")";
}
}  // namespace

TEST(layout_tables, knob_groups_land_on_their_rectangles) {
  struct Expected {
    Rect knob, label, caption;
  } expected[4] = {
      {{86, 214, 146, 274}, {66, 279, 166, 295}, {76, 294, 156, 308}},
      {{168, 166, 276, 274}, {172, 279, 272, 295}, {182, 294, 262, 308}},
      {{581, 148, 641, 208}, {561, 214, 661, 230}, {571, 232, 651, 246}},
      {{679, 148, 739, 208}, {659, 214, 759, 230}, {669, 232, 749, 246}},
  };
  const int params[4] = {kGain, kAmount, kLimiterThreshold, kLimiterCeiling};
  const KnobGroup* groups[4] = {&kGainGroup, &kAmountGroup, &kThresholdGroup, &kCeilingGroup};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(groups[i]->label);
    EXPECT_EQ(groups[i]->param, params[i]);
    EXPECT_TRUE(sameRect(groups[i]->knob(), expected[i].knob));
    EXPECT_TRUE(sameRect(groups[i]->labelRect(), expected[i].label));
    EXPECT_TRUE(sameRect(groups[i]->caption(), expected[i].caption));
  }
}

TEST(layout_tables, band_columns_step_by_44_units) {
  EXPECT_TRUE(sameRect(bandColumn(0).meter(), {298, 142, 332, 322}));
  EXPECT_TRUE(sameRect(bandColumn(1).meterBar(), {352, 158, 364, 278}));
  EXPECT_TRUE(sameRect(bandColumn(2).knob(), {390, 116, 414, 140}));
  EXPECT_TRUE(sameRect(bandColumn(2).value(), {380, 141, 424, 153}));
}

template <class Row>
constexpr size_t kind = SectionRow(std::in_place_type<Row>).index();

TEST(layout_tables, sections_are_in_drawing_order_with_unique_tags) {
  std::vector<size_t> order;
  std::set<int> tagsSeen;
  for (const SectionRow& row : kSections) {
    order.push_back(row.index());
    std::visit(
        [&](const auto& r) {
          if constexpr (requires { r.tag; }) {
            if (r.tag != tags::kNone) {
              EXPECT_TRUE(tagsSeen.insert(r.tag).second) << r.tag;
            }
          }
        },
        row);
  }
  using namespace rows;
  const std::vector<size_t> expected = {
      kind<Heading>, kind<LevelMeter>, kind<Knobs>, kind<Divider>, kind<Heading>, kind<Knobs>, kind<CentreTick>,
      kind<ScaleLabels>, kind<Bands>, kind<Divider>, kind<Heading>, kind<Pill>, kind<WidthReadout>,
      kind<Divider>, kind<Heading>, kind<Pill>, kind<Knobs>, kind<Knobs>, kind<LinkLock>, kind<Pill>, kind<Pill>,
      kind<HeldNote>, kind<ReductionMeter>, kind<LevelMeter>, kind<Shade>, kind<Shade>, kind<Shade>};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(tagsSeen, (std::set<int>{2, 6, 7, 8, 9, 10}));  // 3-5 come from the band loop
  // The shades are last, so they cover everything in their sections.
  EXPECT_STREQ(std::get<Shade>(kSections[24]).group, kWidthShade);
  EXPECT_STREQ(std::get<Shade>(kSections[26]).group, kBypassShade);
  EXPECT_TRUE(sameRect(std::get<Shade>(kSections[26]).rect, kSectionsPanel));
}

TEST(layout_tables, shades_follow_their_switches) {
  EXPECT_TRUE(shadeShown(kBypass, true));
  EXPECT_FALSE(shadeShown(kBypass, false));
  EXPECT_TRUE(shadeShown(kWidthActive, false));
  EXPECT_FALSE(shadeShown(kLimiterActive, true));
}

TEST(layout_tables, title_gives_way_to_the_update_pill_and_logo_keeps_its_aspect) {
  EXPECT_TRUE(sameRect(titleRectBeside({}), {28, 48, 716, 82}));
  EXPECT_TRUE(sameRect(titleRectBeside({620, 47, 736, 77}), {28, 48, 610, 82}));
  EXPECT_TRUE(sameRect(logoRect(200, 40), {28, 344, 138, 366}));
}

TEST(layout_tables, accents_and_out_of_range_indices) {
  EXPECT_EQ(accentColour(3, 255), (Color{255, 0, 184, 255}));
  EXPECT_EQ(accentColour(5, 61), (Color{61, 21, 232, 121}));  // no track colour: green
  EXPECT_EQ(accentColour(7, 255), accentColour(0, 255));
}
