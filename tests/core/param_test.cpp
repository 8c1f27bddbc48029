// Parameter model: initialisers, shapes, constraint, display and parsing.
#include "core/param.h"

#include <gtest/gtest.h>

#include <cmath>

using plugkit::Param;

TEST(param, bool_displays_and_parses_its_texts) {
  Param p;
  p.InitBool("Switch", false);
  std::string text;
  p.GetDisplay(0.0, false, text);
  EXPECT_EQ(text, "off");
  p.GetDisplay(1.0, false, text);
  EXPECT_EQ(text, "on");
  EXPECT_EQ(p.StringToValue("on"), 1.0);
  EXPECT_EQ(p.StringToValue("off"), 0.0);
  EXPECT_EQ(p.StringToValue("1"), 0.0);  // bools take only their texts
  EXPECT_EQ(p.StringToValue("On"), 0.0);
  EXPECT_EQ(p.Type(), Param::kTypeBool);
  EXPECT_TRUE(p.Stepped());
}

TEST(param, stepped_rounding_applies_to_bools_but_not_continuous_values) {
  Param b;
  b.InitBool("Switch", false);
  b.SetNormalized(0.55);
  EXPECT_EQ(b.Value(), 1.0);
  b.SetNormalized(0.45);
  EXPECT_EQ(b.Value(), 0.0);

  Param gain;
  gain.InitDouble("Gain", 0.0, -24.0, 24.0, 0.1);
  gain.SetNormalized(0.55);
  EXPECT_NEAR(gain.Value(), 2.4, 1e-12);
  gain.Set(1.23456);
  EXPECT_EQ(gain.Value(), 1.23456);  // continuous: not rounded to the step
  gain.Set(99.0);
  EXPECT_EQ(gain.Value(), 24.0);
  gain.Set(-99.0);
  EXPECT_EQ(gain.Value(), -24.0);
}

TEST(param, stepped_rounding_is_half_away_from_zero) {
  Param p;
  p.InitInt("Count", 0, -10, 10);
  p.Set(2.5);
  EXPECT_EQ(p.Value(), 3.0);
  p.Set(-2.5);
  EXPECT_EQ(p.Value(), -3.0);
  p.Set(2.4999);
  EXPECT_EQ(p.Value(), 2.0);
}

TEST(param, init_double_raises_max_to_min_plus_step) {
  Param p;
  p.InitDouble("Narrow", 0.0, 5.0, 4.0, 0.5);
  EXPECT_EQ(p.GetMin(), 5.0);
  EXPECT_EQ(p.GetMax(), 5.5);
  EXPECT_EQ(p.Value(), 5.0);  // default constrained into the range
}

TEST(param, display_precision_follows_the_step) {
  struct Case { double step; int precision; };
  for (Case c : {Case{1.0, 0}, Case{0.1, 1}, Case{0.01, 2}, Case{0.001, 3}, Case{0.5, 1},
                 Case{0.25, 2}, Case{1e-9, 6}, Case{2.0, 0}}) {
    Param p;
    p.InitDouble("x", 0.0, 0.0, 100.0, c.step);
    EXPECT_EQ(p.GetDisplayPrecision(), c.precision) << "step " << c.step;
  }
}

TEST(param, built_in_display_formats_numbers) {
  Param p;
  p.InitDouble("x", 0.0, -10.0, 10.0, 0.1);
  std::string text;
  p.GetDisplay(-0.0, false, text);
  EXPECT_EQ(text, "0.0");
  p.GetDisplay(2.25, false, text);
  EXPECT_EQ(text, "2.2");  // printf rounding of the binary value
  p.GetDisplay(-3.0, false, text);
  EXPECT_EQ(text, "-3.0");

  Param whole;
  whole.InitDouble("w", 0.0, -10.0, 10.0, 1.0);
  whole.GetDisplay(-0.0, false, text);
  EXPECT_EQ(text, "0");
  whole.GetDisplay(2.5, false, text);
  EXPECT_EQ(text, "3");
  whole.GetDisplay(-2.5, false, text);
  EXPECT_EQ(text, "-3");

  Param signedParam;
  signedParam.InitDouble("s", 0.0, -10.0, 10.0, 0.1, "", Param::kFlagSignDisplay);
  signedParam.GetDisplay(1.5, false, text);
  EXPECT_EQ(text, "+1.5");
  signedParam.GetDisplay(0.0, false, text);
  EXPECT_EQ(text, "0.0");

  Param negated;
  negated.InitDouble("n", 0.0, -10.0, 10.0, 0.1, "", Param::kFlagNegateDisplay);
  negated.GetDisplay(1.5, false, text);
  EXPECT_EQ(text, "-1.5");
  negated.GetDisplay(0.0, false, text);
  EXPECT_EQ(text, "0.0");
  EXPECT_EQ(negated.StringToValue("2"), -2.0);
}

TEST(param, display_of_a_normalised_value_converts_through_the_shape) {
  Param p;
  p.InitDouble("x", 0.0, 0.0, 200.0, 0.1);
  std::string text;
  p.GetDisplay(0.25, true, text);
  EXPECT_EQ(text, "50.0");
}

TEST(param, parsing_reads_the_leading_number_and_clamps) {
  Param p;
  p.InitDouble("x", 0.0, -30.0, 0.0, 0.1);
  EXPECT_EQ(p.StringToValue("-6 dB"), -6.0);
  EXPECT_EQ(p.StringToValue("-100"), -30.0);
  EXPECT_EQ(p.StringToValue("junk"), 0.0);
  EXPECT_EQ(p.StringToValue("5"), 0.0);
}

TEST(param, display_texts_are_found_exactly) {
  Param p;
  p.InitEnum("Mode", 1, {"Soft", "Hard", "Brick"});
  EXPECT_EQ(p.DisplayTextCount(), 3);
  double value = -1;
  EXPECT_TRUE(p.FindDisplayText("Brick", &value));
  EXPECT_EQ(value, 2.0);
  EXPECT_FALSE(p.FindDisplayText("brick", &value));
  EXPECT_STREQ(p.GetDisplayText(1.0), "Hard");
  EXPECT_STREQ(p.GetDisplayText(1.5), "");
  EXPECT_STREQ(p.GetLabel(), "");  // current value has a text
  EXPECT_EQ(p.StringToValue("Soft"), 0.0);
  EXPECT_EQ(p.StringToValue("7"), 0.0);  // enums take only their texts
}

TEST(param, label_is_hidden_only_when_the_value_has_a_text) {
  Param p;
  p.InitGain("Level", -6.0, -70.0, 24.0, 0.5);
  EXPECT_STREQ(p.GetLabel(), "dB");
  p.SetDisplayText(-70.0, "-inf");
  p.Set(-70.0);
  EXPECT_STREQ(p.GetLabel(), "");
  std::string text;
  p.GetDisplay(text);
  EXPECT_EQ(text, "-inf");
}

TEST(param, names_are_cut_to_their_field) {
  Param p;
  p.InitDouble("A parameter name that is far too long to fit", 0.0, 0.0, 1.0, 0.1);
  EXPECT_EQ(std::string(p.GetName()).size(), 31u);
}

TEST(param, pow_curve_shape_maps_both_ways_and_reports_its_display_type) {
  Param p;
  p.InitDouble("Curve", 0.0, 0.0, 100.0, 0.1, "", 0, "", Param::ShapePowCurve(2.0));
  EXPECT_NEAR(p.FromNormalized(0.5), 25.0, 1e-12);
  EXPECT_NEAR(p.ToNormalized(25.0), 0.5, 1e-12);
  EXPECT_EQ(Param::ShapePowCurve(3.0).GetDisplayType(), Param::kDisplayCubeRoot);
  EXPECT_EQ(Param::ShapePowCurve(2.0).GetDisplayType(), Param::kDisplaySquareRoot);
  EXPECT_EQ(Param::ShapePowCurve(0.3).GetDisplayType(), Param::kDisplayCubed);
  EXPECT_EQ(Param::ShapePowCurve(0.5).GetDisplayType(), Param::kDisplaySquared);
  EXPECT_EQ(Param::ShapePowCurve(1.0).GetDisplayType(), Param::kDisplayLinear);
}

TEST(param, exp_shape_is_logarithmic_and_guards_a_non_positive_minimum) {
  Param f;
  f.InitFrequency("Freq", 1000.0, 20.0, 20000.0, 1.0);
  EXPECT_NEAR(f.FromNormalized(0.5), std::sqrt(20.0 * 20000.0), 1e-6);
  EXPECT_NEAR(f.ToNormalized(632.455532), 0.5, 1e-6);
  EXPECT_STREQ(f.GetLabel(), "Hz");

  Param z;
  z.InitDouble("Zero", 1.0, 0.0, 1.0, 0.001, "", 0, "", Param::ShapeExp());
  EXPECT_NEAR(z.GetShape().NormalizedToValue(0.0, z), 1e-8, 1e-20);
  EXPECT_NEAR(z.GetShape().NormalizedToValue(1.0, z), 1.0, 1e-12);
}

TEST(param, normalised_conversion_clamps_to_unit_range) {
  Param p;
  p.InitDouble("x", 0.0, -1.0, 1.0, 0.01);
  EXPECT_EQ(p.ToNormalized(5.0), 1.0);
  EXPECT_EQ(p.ToNormalized(-5.0), 0.0);
  EXPECT_EQ(p.FromNormalized(2.0), 1.0);
}

TEST(param, not_a_number_falls_back_to_the_default_and_infinities_clamp) {
  Param p;
  p.InitDouble("x", -0.3, -30.0, 0.0, 0.1);
  p.Set(-5.0);
  p.Set(std::nan(""));
  EXPECT_EQ(p.Value(), -0.3);
  p.Set(INFINITY);
  EXPECT_EQ(p.Value(), 0.0);
  p.Set(-INFINITY);
  EXPECT_EQ(p.Value(), -30.0);
  EXPECT_EQ(p.FromNormalized(std::nan("")), -0.3);
  EXPECT_EQ(p.ToNormalized(std::nan("")), 0.99);
}
