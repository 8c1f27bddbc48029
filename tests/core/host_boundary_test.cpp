// Byte chunk, channel I/O texts and the host-to-editor change queue.
#include <gtest/gtest.h>

#include <thread>

#include "core/byte_chunk.h"
#include "core/channel_io.h"
#include "core/param_change_queue.h"

using namespace plugkit;

TEST(byte_chunk, values_round_trip_little_endian) {
  ByteChunk chunk;
  const int32_t tag = 0x50425331;
  const double value = -0.30000001192092896;
  EXPECT_EQ(chunk.Put(&tag), 4);
  EXPECT_EQ(chunk.Put(&value), 12);
  EXPECT_EQ(chunk.GetData()[0], 0x31);
  EXPECT_EQ(chunk.GetData()[3], 0x50);
  int32_t tagOut = 0;
  double valueOut = 0;
  EXPECT_EQ(chunk.Get(&tagOut, 0), 4);
  EXPECT_EQ(chunk.Get(&valueOut, 4), 12);
  EXPECT_EQ(tagOut, tag);
  EXPECT_EQ(valueOut, value);
}

TEST(byte_chunk, reads_past_the_end_fail_and_leave_the_value) {
  ByteChunk chunk;
  const int32_t one = 1;
  chunk.Put(&one);
  double value = 7.0;
  EXPECT_EQ(chunk.Get(&value, 0), -1);
  EXPECT_EQ(value, 7.0);
  int32_t i = 5;
  EXPECT_EQ(chunk.Get(&i, -1), -1);
  EXPECT_EQ(chunk.Get(&i, 1), -1);
  EXPECT_EQ(i, 5);
}

TEST(byte_chunk, strings_are_length_prefixed_without_terminator) {
  ByteChunk chunk;
  EXPECT_EQ(chunk.PutStr("Warm"), 8);
  EXPECT_EQ(chunk.PutStr(""), 12);
  std::string out = "x";
  EXPECT_EQ(chunk.GetStr(out, 0), 8);
  EXPECT_EQ(out, "Warm");
  EXPECT_EQ(chunk.GetStr(out, 8), 12);
  EXPECT_EQ(out, "");
}

TEST(byte_chunk, damaged_strings_do_not_read_outside_the_chunk) {
  ByteChunk chunk;
  const int32_t tooLong = 1000;
  chunk.Put(&tooLong);
  chunk.PutBytes("abc", 3);
  std::string out = "unchanged";
  const int end = chunk.GetStr(out, 0);
  EXPECT_EQ(end, 1004);  // past the end: the next read fails
  EXPECT_EQ(out, "unchanged");
  int32_t next = 0;
  EXPECT_EQ(chunk.Get(&next, end), -1);

  ByteChunk negative;
  const int32_t minusFour = -4;
  negative.Put(&minusFour);
  negative.Put(&minusFour);
  EXPECT_EQ(negative.GetStr(out, 4), -1);  // would point backwards

  ByteChunk withZero;
  const int32_t five = 5;
  withZero.Put(&five);
  withZero.PutBytes("ab\0cd", 5);
  EXPECT_EQ(withZero.GetStr(out, 0), 9);
  EXPECT_EQ(out, "ab");
}

TEST(channel_io, mono_and_stereo_layouts) {
  const ChannelIO io = ParseChannelIO("1-1 2-2");
  ASSERT_EQ(io.configs.size(), 2u);
  EXPECT_EQ(io.maxInputChannels, 2);
  EXPECT_EQ(io.maxOutputChannels, 2);
  EXPECT_EQ(io.maxInputBuses, 1);
  EXPECT_EQ(io.maxOutputBuses, 1);
  EXPECT_TRUE(io.legal(1, 1));
  EXPECT_TRUE(io.legal(2, 2));
  EXPECT_FALSE(io.legal(1, 2));
  EXPECT_FALSE(io.legal(2, 1));
  EXPECT_FALSE(io.legal(0, 0));
}

TEST(channel_io, buses_wildcards_and_empty_sides) {
  const ChannelIO io = ParseChannelIO("2.2-2 *-* 0-2 bad 3-x");
  ASSERT_EQ(io.configs.size(), 3u);
  EXPECT_EQ(io.configs[0].inputBuses.size(), 2u);
  EXPECT_EQ(io.maxInputChannels, 4);
  EXPECT_EQ(io.maxInputBuses, 2);
  EXPECT_TRUE(io.configs[2].inputBuses.empty());
  EXPECT_TRUE(io.legal(7, 3));  // "*-*"
  EXPECT_TRUE(ParseChannelIO("0-2").legal(0, 2));
}

TEST(param_change_queue, keeps_one_slot_free_and_drops_when_full) {
  ParamChangeQueue<512> queue;
  EXPECT_EQ(queue.capacity(), 511u);
  for (int i = 0; i < 511; ++i) EXPECT_TRUE(queue.push({i, i * 0.5}));
  EXPECT_FALSE(queue.push({999, 0.0}));
  ParamChange change;
  for (int i = 0; i < 511; ++i) {
    ASSERT_TRUE(queue.pop(change));
    EXPECT_EQ(change.index, i);
  }
  EXPECT_FALSE(queue.pop(change));
}

TEST(param_change_queue, one_producer_one_consumer_thread_keep_order) {
  ParamChangeQueue<512> queue;
  constexpr int kCount = 200000;
  std::thread producer([&] {
    for (int i = 0; i < kCount;) {
      if (queue.push({i % 13, static_cast<double>(i)})) ++i;
      else std::this_thread::yield();
    }
  });
  int expected = 0;
  ParamChange change;
  while (expected < kCount) {
    if (queue.pop(change)) {
      ASSERT_EQ(change.value, static_cast<double>(expected));
      ASSERT_EQ(change.index, expected % 13);
      ++expected;
    } else {
      std::this_thread::yield();
    }
  }
  producer.join();
  EXPECT_FALSE(queue.pop(change));
}
