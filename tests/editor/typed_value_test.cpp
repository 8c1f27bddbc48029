// The typed-value parser: signs, separators, units, kilo, clamping and texts without a number.
#include "editor/typed_value.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using quillfen::controls::parseTypedValue;

namespace {

constexpr double kWide = 1e9;

std::optional<double> parse(const std::string& text, bool allowKilo = false) {
  return parseTypedValue(text, -kWide, kWide, allowKilo);
}

}  // namespace

TEST(typed_value, accepts_every_minus_sign_and_decimal_separator) {
  const std::string minus = "\xE2\x88\x92";  // U+2212
  for (const std::string& text :
       std::vector<std::string>{minus + "3.5 dB", "-3.5dB", "  -  3,5", minus + " 3,5", "\t-3.5\n"}) {
    const auto value = parse(text);
    ASSERT_TRUE(value.has_value()) << text;
    EXPECT_DOUBLE_EQ(*value, -3.5) << text;
  }
  EXPECT_DOUBLE_EQ(*parse("+2"), 2.0);
  EXPECT_DOUBLE_EQ(*parse("2."), 2.0);
  EXPECT_DOUBLE_EQ(*parse(",75"), 0.75);
  EXPECT_DOUBLE_EQ(*parse(".5"), 0.5);
  EXPECT_DOUBLE_EQ(*parse("-6,0"), -6.0);
  EXPECT_NEAR(*parse("0.001"), 0.001, 1e-15);
  EXPECT_DOUBLE_EQ(*parse("007"), 7.0);
}

TEST(typed_value, ignores_whatever_follows_the_number) {
  EXPECT_DOUBLE_EQ(*parse("-6 dB"), -6.0);
  EXPECT_DOUBLE_EQ(*parse("150 %"), 150.0);
  EXPECT_DOUBLE_EQ(*parse("1.5.7"), 1.5);
  EXPECT_DOUBLE_EQ(*parse("3 4"), 3.0);
  EXPECT_DOUBLE_EQ(*parse("-0"), 0.0);
}

TEST(typed_value, text_without_a_number_gives_nothing) {
  const std::string minus = "\xE2\x88\x92";
  for (const std::string& text : std::vector<std::string>{"abc", "", "   ", "-", "+", ".", ",", "dB 3", "- dB",
                                                          "--3", "+-3", minus, minus + " ", "\xE2\x88", "e5", "k"}) {
    EXPECT_FALSE(parse(text, true).has_value()) << "'" << text << "'";
  }
}

TEST(typed_value, kilo_multiplies_only_when_allowed) {
  EXPECT_DOUBLE_EQ(*parse("12k"), 12.0);
  EXPECT_DOUBLE_EQ(*parse("12k", true), 12000.0);
  EXPECT_DOUBLE_EQ(*parse("12 K", true), 12000.0);
  EXPECT_DOUBLE_EQ(*parse("1,5k Hz", true), 1500.0);
  EXPECT_DOUBLE_EQ(*parse("-2k", true), -2000.0);
  EXPECT_DOUBLE_EQ(*parse("12 Hz k", true), 12.0);
}

TEST(typed_value, clamps_to_the_range_instead_of_refusing) {
  const std::string minus = "\xE2\x88\x92";
  EXPECT_DOUBLE_EQ(*parseTypedValue("500", 0.0, 200.0, false), 200.0);
  EXPECT_DOUBLE_EQ(*parseTypedValue(minus + "40", -30.0, 0.0, false), -30.0);
  EXPECT_DOUBLE_EQ(*parseTypedValue("-0.25", -30.0, 0.0, false), -0.25);
  EXPECT_DOUBLE_EQ(*parseTypedValue("3", -6.0, 6.0, false), 3.0);
  EXPECT_DOUBLE_EQ(*parseTypedValue("99999999999999999999", -24.0, 24.0, false), 24.0);
}

TEST(typed_value, reads_only_the_view_it_is_given) {
  const std::string text = "-12345";
  const auto value = parseTypedValue(std::string_view(text).substr(0, 3), -kWide, kWide, false);
  ASSERT_TRUE(value.has_value());
  EXPECT_DOUBLE_EQ(*value, -12.0);
  // A minus sign cut short at the end of the view is not a sign.
  const std::string cut = "\xE2\x88\x92" "5";
  EXPECT_FALSE(parseTypedValue(std::string_view(cut).substr(0, 2), -kWide, kWide, false).has_value());
}
