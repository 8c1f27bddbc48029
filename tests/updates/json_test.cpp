// The strict JSON reader and the string quoter.
#include "updates/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace {

using json::Value;
using Kind = json::Value::Kind;

std::optional<Value> read(std::string_view text) { return json::detail::Reader(text).document(); }

std::optional<std::string> readString(std::string_view literal) {
  auto value = read(literal);
  if (!value || value->kind != Kind::String) return std::nullopt;
  return value->text;
}

std::string nested(int levels, std::string_view inner) {
  return std::string(levels, '[') + std::string(inner) + std::string(levels, ']');
}

TEST(json_document, accepts_surrounding_white_space_and_rejects_trailing_content) {
  auto value = read(" \t\r\n {} \n ");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->kind, Kind::Object);
  EXPECT_TRUE(value->object.empty());

  for (std::string_view bad : {"{} x", "", "   ", "{}{}", "1 2", "\f1", "{}\v"}) {
    EXPECT_FALSE(read(bad)) << "'" << bad << "'";
  }
}

TEST(json_document, literals_must_be_exact) {
  auto t = read("true");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->kind, Kind::Boolean);
  EXPECT_TRUE(t->boolean);
  auto f = read("false");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->kind, Kind::Boolean);
  EXPECT_FALSE(f->boolean);
  auto n = read("null");
  ASSERT_TRUE(n);
  EXPECT_EQ(n->kind, Kind::Null);
  for (std::string_view bad : {"tru", "True", "nul", "falsey", "truee", "NULL", "nan", "Infinity"}) {
    EXPECT_FALSE(read(bad)) << bad;
  }
}

TEST(json_document, arrays_and_objects_keep_text_order_and_reject_stray_commas) {
  auto value = read(R"({"b":[1,"x",null,{}], "a" : true})");
  ASSERT_TRUE(value);
  ASSERT_EQ(value->object.size(), 2u);
  EXPECT_EQ(value->object[0].first, "b");
  EXPECT_EQ(value->object[1].first, "a");
  const Value& list = value->object[0].second;
  ASSERT_EQ(list.kind, Kind::Array);
  ASSERT_EQ(list.array.size(), 4u);
  EXPECT_EQ(list.array[0].number, 1.0);
  EXPECT_EQ(list.array[1].text, "x");
  EXPECT_EQ(list.array[2].kind, Kind::Null);
  EXPECT_EQ(list.array[3].kind, Kind::Object);

  for (std::string_view bad : {"[1,2,]", "[01]", "{'a':1}", R"({"a":1,})", "{,}", "[,]", "[1 2]",
                               R"({"a" 1})", R"({"a":1 "b":2})", R"({a:1})", R"({"a":})", "[",
                               "{", R"({"a":1)", "]", "[1,,2]", R"({1:2})"}) {
    EXPECT_FALSE(read(bad)) << bad;
  }
}

TEST(json_document, numbers_follow_the_exact_grammar) {
  auto value = read("[0,-0.5e+3]");
  ASSERT_TRUE(value);
  ASSERT_EQ(value->array.size(), 2u);
  EXPECT_EQ(value->array[0].kind, Kind::Number);
  EXPECT_EQ(value->array[0].number, 0.0);
  EXPECT_EQ(value->array[1].number, -500.0);

  const std::pair<std::string_view, double> good[] = {
      {"-0", -0.0},          {"7", 7.0},         {"1E5", 1e5},   {"2e-3", 2e-3},
      {"123.456e-7", 123.456e-7}, {"1700000000", 1700000000.0}, {"0.1", 0.1},
      {"-12.5E+1", -125.0},
  };
  for (auto [text, expected] : good) {
    auto number = read(text);
    ASSERT_TRUE(number) << text;
    EXPECT_EQ(number->kind, Kind::Number) << text;
    EXPECT_EQ(number->number, expected) << text;
  }
  EXPECT_TRUE(std::signbit(read("-0")->number));

  for (std::string_view bad : {"+1", ".5", "1.", "0x1F", "01", "-", "-a", "1e", "1e+", "1.e3",
                               "--1", "1.5.2", "- 1", "1_000", "0.", "-.5"}) {
    EXPECT_FALSE(read(bad)) << bad;
  }
}

TEST(json_document, numbers_beyond_double_range_saturate_like_strtod) {
  EXPECT_EQ(read("1e400")->number, HUGE_VAL);
  EXPECT_EQ(read("-1e400")->number, -HUGE_VAL);
  EXPECT_EQ(read("1e-400")->number, 0.0);
  EXPECT_EQ(read("0.00001e312")->number, 1e307);
  EXPECT_EQ(read("1e99999999999999999999")->number, HUGE_VAL);
  EXPECT_EQ(read("123e-99999999999999999999")->number, 0.0);
  // The first significant digit decides: 0.000...1e100 with 500 zeros is below the range.
  EXPECT_EQ(read("0." + std::string(500, '0') + "1e100")->number, 0.0);
  EXPECT_EQ(read("0." + std::string(500, '0') + "1e400")->number, 1e-101);
}

TEST(json_string, escapes_decode_to_bytes) {
  EXPECT_EQ(readString(R"("\"\\\/\b\f\n\r\t")"), std::string("\"\\/\b\f\n\r\t"));
  EXPECT_EQ(readString(R"("\u00e9")"), std::string("\xC3\xA9"));
  EXPECT_EQ(readString(R"("\u00E9")"), std::string("\xC3\xA9"));
  EXPECT_EQ(readString(R"("\ud83d\ude00")"), std::string("\xF0\x9F\x98\x80"));
  EXPECT_EQ(readString(R"("\u0000")"), std::string(1, '\0'));
  EXPECT_EQ(readString(R"("\u20AC")"), std::string("\xE2\x82\xAC"));
  // Bytes of 0x80 and above pass through unchecked, even when they are not valid UTF-8.
  EXPECT_EQ(readString("\"\xFF\xC3(\x7F\""), std::string("\xFF\xC3(\x7F"));
}

TEST(json_string, rejects_control_bytes_bad_escapes_and_broken_surrogates) {
  const std::string_view cases[] = {"\"a\tb\"", "\"a\nb\"", std::string_view("\"\0\"", 3), "\"\x1F\"", R"("\x41")",
        R"("\a")", R"("\U00e9")", R"("\ude00")", R"("\ud83d")", R"("\ud83dx")",
        R"("\ud83d\u0041")", R"("\ud83d\ud83d")", R"("\ud83d\\ude00")", R"("\u12")", R"("\u12G4")",
        R"("\u)", "\"abc", "\"abc\\", "'abc'"};
  for (std::string_view bad : cases) {
    EXPECT_FALSE(read(bad)) << bad;
  }
}

TEST(json_string, reader_string_needs_an_opening_quote) {
  std::string out;
  json::detail::Reader reader(" \"a\"");
  EXPECT_FALSE(reader.string(out));
  json::detail::Reader exact("\"a\" rest");
  EXPECT_TRUE(exact.string(out));
  EXPECT_EQ(out, "a");
  EXPECT_EQ(exact.position(), 3u);
}

TEST(json_string, hex4_reads_four_digits_most_significant_first) {
  uint32_t value = 0;
  json::detail::Reader reader("aB09");
  ASSERT_TRUE(reader.hex4(value));
  EXPECT_EQ(value, 0xAB09u);
  EXPECT_EQ(reader.position(), 4u);
  json::detail::Reader shortText("abc");
  EXPECT_FALSE(shortText.hex4(value));
  json::detail::Reader badDigit("0g00");
  EXPECT_FALSE(badDigit.hex4(value));
}

TEST(json_string, append_utf8_switches_length_at_each_boundary) {
  const std::pair<uint32_t, std::string> cases[] = {
      {0x00, std::string(1, '\0')},  {0x7F, "\x7F"},         {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},           {0x800, "\xE0\xA0\x80"}, {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"},
  };
  for (const auto& [codePoint, bytes] : cases) {
    std::string out = "x";
    json::detail::Reader::appendUtf8(out, codePoint);
    EXPECT_EQ(out, "x" + bytes) << std::hex << codePoint;
  }
}

TEST(json_document, nesting_stops_eight_levels_below_the_top) {
  auto deepest = read(nested(8, "1"));
  ASSERT_TRUE(deepest);
  const Value* inner = &*deepest;
  for (int level = 0; level < 8; ++level) {
    ASSERT_EQ(inner->kind, Kind::Array);
    inner = &inner->array.at(0);
  }
  EXPECT_EQ(inner->number, 1.0);

  EXPECT_FALSE(read(nested(9, "1")));
  EXPECT_TRUE(read(nested(9, "")));
  EXPECT_FALSE(read(nested(10, "")));
  EXPECT_FALSE(read(nested(100000, "")));

  std::string objects = "1";
  for (int level = 0; level < 8; ++level) objects = R"({"a":)" + objects + "}";
  EXPECT_TRUE(read(objects));
  EXPECT_FALSE(read(R"({"a":)" + objects + "}"));
}

TEST(json_value, duplicate_keys_are_kept_and_lookup_takes_the_first) {
  auto value = read(R"({"a":"one","a":"two"})");
  ASSERT_TRUE(value);
  ASSERT_EQ(value->object.size(), 2u);
  EXPECT_EQ(value->object[1].second.text, "two");
  EXPECT_EQ(value->string("a"), std::optional<std::string>("one"));

  auto shadowed = read(R"({"a":1,"a":"two"})");
  ASSERT_TRUE(shadowed);
  EXPECT_EQ(shadowed->string("a"), std::nullopt);
  EXPECT_EQ(shadowed->string("b"), std::nullopt);
  EXPECT_EQ(shadowed->string("A"), std::nullopt);

  EXPECT_EQ(read(R"(["a"])")->string("a"), std::nullopt);
  EXPECT_EQ(read(R"("a")")->string("a"), std::nullopt);
  EXPECT_EQ(Value().string(""), std::nullopt);
}

TEST(json_value, copies_are_deep) {
  auto original = read(R"({"list":[{"k":"v"}]})");
  ASSERT_TRUE(original);
  Value copy = *original;
  copy.object[0].second.array[0].object[0].second.text = "changed";
  EXPECT_EQ(original->object[0].second.array[0].string("k"), std::optional<std::string>("v"));
}

TEST(json_quote, escapes_quotes_backslashes_and_control_bytes_only) {
  EXPECT_EQ(json::quote("a\"b\n"), std::string("\"a\\\"b\\n\""));
  EXPECT_EQ(json::quote(""), "\"\"");
  EXPECT_EQ(json::quote("\\\r\t"), R"("\\\r\t")");
  EXPECT_EQ(json::quote(std::string("\x08\x0C\x1F", 3)), R"("\u0008\u000c\u001f")");
  EXPECT_EQ(json::quote(std::string(1, '\0')), R"("\u0000")");
  EXPECT_EQ(json::quote("/\x7F\x80\xFF"), "\"/\x7F\x80\xFF\"");
}

TEST(json_quote, random_bytes_round_trip_through_the_reader) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> length(0, 64);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(static_cast<std::size_t>(length(generator)), '\0');
    for (char& c : bytes) c = static_cast<char>(byte(generator));
    const std::optional<std::string> back = readString(json::quote(bytes));
    ASSERT_TRUE(back) << "round " << round;
    ASSERT_EQ(*back, bytes) << "round " << round;
  }
}

}  // namespace
