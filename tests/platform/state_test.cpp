// Saved state: the tagged layout, round trips, plain parameter lists and damaged chunks,
// through the offline host as a host saves and restores a project.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/offline/offline_host.h"
#include "tests/support/fake_editor.h"

using namespace plumbrook;
using plugkit::ByteChunk;
using plumbrook::offline::OfflineHost;
using plumbrook::offline::SavedState;

namespace {

std::unique_ptr<OfflineHost> makeHost() {
  std::string error;
  auto host = OfflineHost::create({}, error);
  EXPECT_TRUE(host) << error;
  return host;
}

template <typename T>
T at(const std::vector<uint8_t>& bytes, size_t offset) {
  T value{};
  std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

// A state chunk written by hand in the tagged layout.
ByteChunk taggedChunk(int32_t accent, int32_t width, int32_t height, const std::string& name,
                      int32_t mark, int32_t count, const std::vector<double>& values) {
  ByteChunk chunk;
  const int32_t tag = kStateTag, version = 1;
  chunk.Put(&tag);
  chunk.Put(&version);
  chunk.Put(&accent);
  chunk.Put(&width);
  chunk.Put(&height);
  chunk.PutStr(name);
  chunk.Put(&mark);
  chunk.Put(&count);
  for (double v : values) chunk.Put(&v);
  const int32_t bypass = 0;
  chunk.Put(&bypass);
  return chunk;
}

std::vector<double> defaultsWith(int idx, double value) {
  auto host = makeHost();
  std::vector<double> values = host->plugin().soundSnapshot();
  values[static_cast<size_t>(idx)] = value;
  return values;
}

}  // namespace

TEST(state_chunk, fresh_instance_layout) {
  auto host = makeHost();
  ByteChunk chunk;
  ASSERT_TRUE(host->plugin().SerializeState(chunk));
  const auto& b = chunk.Bytes();
  ASSERT_EQ(b.size(), 140u);
  EXPECT_EQ(b[0], 0x31);
  EXPECT_EQ(b[1], 0x53);
  EXPECT_EQ(b[2], 0x42);
  EXPECT_EQ(b[3], 0x50);
  EXPECT_EQ(at<int32_t>(b, 4), 1);
  EXPECT_EQ(at<int32_t>(b, 8), 5);     // accent
  EXPECT_EQ(at<int32_t>(b, 12), 880);  // editor size
  EXPECT_EQ(at<int32_t>(b, 16), 382);
  EXPECT_EQ(at<int32_t>(b, 20), 0);    // empty name
  EXPECT_EQ(at<int32_t>(b, 24), 0);    // not modified
  EXPECT_EQ(at<int32_t>(b, 28), 13);
  EXPECT_EQ(at<double>(b, 32 + 2 * 8), 100.0);  // Amount
  EXPECT_EQ(at<double>(b, 32 + 6 * 8), -0.30000001192092896);
  EXPECT_EQ(at<int32_t>(b, 136), 0);  // host bypass
}

TEST(state_chunk, round_trip_restores_values_name_and_mark) {
  auto source = makeHost();
  Plumbrook& p = source->plugin();
  p.GetParam(kGain)->Set(-4.5);
  p.GetParam(kEqHigh)->Set(2.25);
  p.GetParam(kLimiterTruePeak)->Set(1.0);
  p.setPresetName("Warm Bus");
  p.retakePresetSnapshot(true);
  p.setAccentIndex(2);
  source->setHostBypass(true);
  ByteChunk chunk;
  p.SerializeState(chunk);
  EXPECT_EQ(chunk.Size(), 140 + 8);
  EXPECT_EQ(at<int32_t>(chunk.Bytes(), 144), 1);  // host bypass written

  auto target = makeHost();
  Plumbrook& q = target->plugin();
  EXPECT_EQ(q.UnserializeState(chunk, 0), chunk.Size() - 4);
  EXPECT_EQ(q.GetParam(kGain)->Value(), -4.5);
  EXPECT_EQ(q.GetParam(kEqHigh)->Value(), 2.25);
  EXPECT_TRUE(q.GetParam(kLimiterTruePeak)->Bool());
  EXPECT_EQ(q.presetName(), "Warm Bus");
  EXPECT_TRUE(q.presetModified());
  EXPECT_EQ(q.accentIndex(), 2);
  EXPECT_TRUE(q.takeAccentChanged());
  EXPECT_FALSE(q.GetBypassed());  // the host's bypass is not restored from state
}

TEST(state_chunk, plain_parameter_lists_are_read) {
  std::vector<double> values = defaultsWith(kGain, 3.0);
  ByteChunk plain;
  for (double v : values) plain.Put(&v);
  auto host = makeHost();
  EXPECT_EQ(host->plugin().UnserializeState(plain, 0), 104);
  EXPECT_EQ(host->plugin().GetParam(kGain)->Value(), 3.0);

  // 96 bytes: the first twelve are applied, then the read fails.
  ByteChunk shortList;
  values[12] = 5.0;
  values[11] = -2.0;
  for (size_t i = 0; i < 12; ++i) shortList.Put(&values[i]);
  auto other = makeHost();
  EXPECT_EQ(other->plugin().UnserializeState(shortList, 0), -1);
  EXPECT_EQ(other->plugin().GetParam(kGain)->Value(), 3.0);
  EXPECT_EQ(other->plugin().GetParam(kEqMid)->Value(), -2.0);
  EXPECT_EQ(other->plugin().GetParam(kEqHigh)->Value(), 0.0);
}

TEST(state_chunk, plain_values_are_clamped) {
  ByteChunk plain;
  for (int i = 0; i < 13; ++i) {
    const double v = i == kGain ? 500.0 : 0.0;
    plain.Put(&v);
  }
  auto host = makeHost();
  EXPECT_EQ(host->plugin().UnserializeState(plain, 0), 104);
  EXPECT_EQ(host->plugin().GetParam(kGain)->Value(), 24.0);
}

TEST(state_chunk, header_cut_short_falls_back_to_the_plain_format) {
  // Tag and a few header fields only: read as plain values, which are too few.
  ByteChunk cut;
  const int32_t tag = kStateTag, one = 1;
  cut.Put(&tag);
  cut.Put(&one);
  auto host = makeHost();
  EXPECT_EQ(host->plugin().UnserializeState(cut, 0), -1);

  // A name whose stated length runs past the end sends the chunk to the plain format.
  ByteChunk longName = taggedChunk(1, 880, 382, "", 0, 13, defaultsWith(kGain, 1.0));
  int32_t huge = 100000;
  std::memcpy(longName.GetData() + 20, &huge, 4);
  auto other = makeHost();
  other->plugin().setAccentIndex(3);
  other->plugin().takeAccentChanged();
  // 144 bytes read as plain doubles: succeeds with clamped garbage, accent untouched.
  EXPECT_EQ(other->plugin().UnserializeState(longName, 0), 104);
  EXPECT_EQ(other->plugin().accentIndex(), 3);

  // A negative count also goes to the plain format.
  ByteChunk negative = taggedChunk(1, 880, 382, "x", 0, -1, {});
  auto third = makeHost();
  EXPECT_EQ(third->plugin().UnserializeState(negative, 0), -1);  // too short as plain
}

TEST(state_chunk, value_list_ending_early_applies_what_was_read) {
  std::vector<double> values = defaultsWith(kGain, -7.0);
  values.resize(5);
  ByteChunk chunk = taggedChunk(9, 880, 382, "Name", 1, 13, values);
  auto host = makeHost();
  Plumbrook& p = host->plugin();
  p.setPresetName("Before");
  EXPECT_EQ(p.UnserializeState(chunk, 0), -1);
  EXPECT_EQ(p.GetParam(kGain)->Value(), -7.0);
  EXPECT_EQ(p.accentIndex(), 0);         // applied before the values
  EXPECT_EQ(p.presetName(), "Before");  // not applied after the failure
}

TEST(state_chunk, out_of_range_accent_and_editor_size_are_replaced) {
  const auto values = defaultsWith(kAmount, 150.0);
  auto host = makeHost();
  Plumbrook& p = host->plugin();
  ASSERT_GE(p.UnserializeState(taggedChunk(9, 1000, 300, "", 0, 13, values), 0), 0);
  EXPECT_EQ(p.accentIndex(), 0);
  EXPECT_EQ(p.restoredEditorSize(), std::make_pair(880, 382));
  EXPECT_EQ(p.GetEditorWidth(), 880);
  EXPECT_EQ(p.GetEditorHeight(), 382);

  ASSERT_GE(p.UnserializeState(taggedChunk(-2, 1320, 573, "", 0, 13, values), 0), 0);
  EXPECT_EQ(p.accentIndex(), 0);
  EXPECT_EQ(p.GetEditorWidth(), 1320);
  EXPECT_EQ(p.GetEditorHeight(), 573);

  // Far too large: constrained to the largest window at the design aspect.
  ASSERT_GE(p.UnserializeState(taggedChunk(1, 4606, 2000, "", 0, 13, values), 0), 0);
  EXPECT_EQ(p.GetEditorWidth(), 1760);
  EXPECT_EQ(p.GetEditorHeight(), 764);
  EXPECT_EQ(p.GetParam(kAmount)->Value(), 150.0);
}

TEST(state_chunk, counts_other_than_thirteen) {
  auto host = makeHost();
  Plumbrook& p = host->plugin();
  p.GetParam(kEqHigh)->Set(4.0);
  std::vector<double> twelve = defaultsWith(kGain, 2.0);
  twelve.resize(12);
  EXPECT_GE(p.UnserializeState(taggedChunk(5, 880, 382, "", 0, 12, twelve), 0), 0);
  EXPECT_EQ(p.GetParam(kEqHigh)->Value(), 0.0);  // back to its default
  EXPECT_EQ(p.GetParam(kGain)->Value(), 2.0);

  std::vector<double> fifteen = defaultsWith(kGain, 1.0);
  fifteen.push_back(99.0);
  fifteen.push_back(98.0);
  const ByteChunk chunk = taggedChunk(5, 880, 382, "", 0, 15, fifteen);
  EXPECT_EQ(p.UnserializeState(chunk, 0), chunk.Size() - 4);
  EXPECT_EQ(p.GetParam(kGain)->Value(), 1.0);
}

TEST(state_chunk, editor_size_comes_from_the_open_editor) {
  auto host = makeHost();
  Plumbrook& p = host->plugin();
  test::FakeEditor editor;
  editor.drawScale = 1.5f;
  p.AttachUI(&editor);
  ByteChunk chunk;
  p.SerializeState(chunk);
  EXPECT_EQ(at<int32_t>(chunk.Bytes(), 12), 1320);
  EXPECT_EQ(at<int32_t>(chunk.Bytes(), 16), 573);
  p.DetachUI();
}

TEST(host_state, foreign_or_empty_states_are_refused_untouched) {
  auto host = makeHost();
  Plumbrook& p = host->plugin();
  SavedState state = host->saveState();
  p.GetParam(kGain)->Set(5.0);

  SavedState foreign = state;
  foreign.subtype = plugkit::FourCharCode("Xxxx");
  EXPECT_FALSE(host->restoreState(foreign));
  SavedState otherMaker = state;
  otherMaker.manufacturer = plugkit::FourCharCode("Abcd");
  EXPECT_FALSE(host->restoreState(otherMaker));
  SavedState noData = state;
  noData.data.reset();
  EXPECT_FALSE(host->restoreState(noData));
  EXPECT_EQ(p.GetParam(kGain)->Value(), 5.0);

  EXPECT_TRUE(host->restoreState(state));
  EXPECT_EQ(p.GetParam(kGain)->Value(), 0.0);
}

TEST(host_state, damaged_chunk_is_refused_after_partial_apply) {
  auto host = makeHost();
  Plumbrook& p = host->plugin();
  p.GetParam(kGain)->Set(-3.0);
  SavedState state = host->saveState();
  state.data->resize(32 + 8 * 4);  // header and four values
  p.GetParam(kGain)->Set(9.0);
  p.GetParam(kAmount)->Set(10.0);
  EXPECT_FALSE(host->restoreState(state));
  EXPECT_EQ(p.GetParam(kGain)->Value(), -3.0);   // read before the damage
  EXPECT_EQ(p.GetParam(kAmount)->Value(), 100.0);
  EXPECT_EQ(p.GetParam(kEqLow)->Value(), 0.0);   // reset to default, never read
}
