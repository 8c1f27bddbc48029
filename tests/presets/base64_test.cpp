// Base64 of preset states: the fixed RFC 4648 vectors, strict rejection, random round trips.
#include "presets/base64.h"
#include "tests/presets/preset_fixture.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using quillfen::presets::fromBase64;
using quillfen::presets::toBase64;

namespace {

std::vector<uint8_t> bytes(std::string const& text) { return {text.begin(), text.end()}; }

}  // namespace

TEST(base64_test, rfc4648_vectors_both_ways) {
  struct Case {
    char const* plain;
    char const* encoded;
  };
  for (Case const c : {Case{"", ""}, Case{"f", "Zg=="}, Case{"fo", "Zm8="}, Case{"foo", "Zm9v"},
                       Case{"foob", "Zm9vYg=="}, Case{"fooba", "Zm9vYmE="}, Case{"foobar", "Zm9vYmFy"}}) {
    EXPECT_EQ(toBase64(bytes(c.plain)), c.encoded) << c.plain;
    std::vector<uint8_t> out{1, 2, 3};
    EXPECT_TRUE(fromBase64(c.encoded, out)) << c.encoded;
    EXPECT_EQ(out, bytes(c.plain)) << c.encoded;
  }
}

TEST(base64_test, decodes_one_two_and_three_byte_groups) {
  std::vector<uint8_t> out;
  ASSERT_TRUE(fromBase64("QUJD", out));
  EXPECT_EQ(out, bytes("ABC"));
  ASSERT_TRUE(fromBase64("QQ==", out));
  EXPECT_EQ(out, bytes("A"));
  ASSERT_TRUE(fromBase64("QUI=", out));
  EXPECT_EQ(out, bytes("AB"));
  // Every byte value and both ends of the alphabet.
  ASSERT_TRUE(fromBase64("+/+/", out));
  EXPECT_EQ(out, (std::vector<uint8_t>{0xFB, 0xFF, 0xBF}));
  ASSERT_TRUE(fromBase64("AAAA", out));
  EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 0}));
}

TEST(base64_test, unused_low_bits_of_padded_group_are_ignored) {
  std::vector<uint8_t> out;
  ASSERT_TRUE(fromBase64("QR==", out));  // 'R' carries bits beyond the one byte
  EXPECT_EQ(out, bytes("A"));
  ASSERT_TRUE(fromBase64("QUJ=", out));
  EXPECT_EQ(out, bytes("AB"));
}

TEST(base64_test, rejects_bad_length_stray_characters_and_misplaced_padding) {
  for (char const* bad : {"QQ=", "Q", "QUJDQ", "Q===", "QU=D", "=QUJ", "====", "QQ==QUJD", "QU JD", "QU D",
                          "QUJD ", " QUJD", "QUJ\n", "QU-D", "QU_D", "QUJ\r", "QUJ.", "Q\x80JD"}) {
    std::vector<uint8_t> out{9, 9};
    std::string const text(bad);
    EXPECT_FALSE(fromBase64(text, out)) << '"' << text << '"';
    EXPECT_TRUE(out.empty()) << "a failed decode leaves no partial bytes: " << text;
  }
  std::vector<uint8_t> out;
  EXPECT_FALSE(fromBase64(std::string("QUJ\0", 4), out)) << "an embedded NUL is not Base64";
}

TEST(base64_test, random_bytes_round_trip_with_the_expected_length) {
  uint32_t const seed = plumbrook::test::seedForTest();
  SCOPED_TRACE("seed " + std::to_string(seed) + " (replay with PLUMBROOK_SEED)");
  std::mt19937 random(seed);
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<uint8_t> data(random() % 700);
    for (auto& b : data) b = static_cast<uint8_t>(random());
    std::string const text = toBase64(data);
    ASSERT_EQ(text.size(), (data.size() + 2) / 3 * 4);
    ASSERT_EQ(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    std::vector<uint8_t> back;
    ASSERT_TRUE(fromBase64(text, back)) << text;
    ASSERT_EQ(back, data) << "size " << data.size();
  }
}
