// The LV2 bundle driven by a liblilv host: metadata, rendering against the offline host,
// host bypass, latency port, state, missing features, real-time safety and the timer thread.
#include <gtest/gtest.h>

#include <dirent.h>
#include <lv2/atom/atom.h>
#include <lv2/units/units.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <cmath>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "plugin/plumbrook.h"
#include "platform/lv2/lv2_ports.h"
#include "platform/offline/offline_host.h"
#include "tests/platform/lv2_test_host.h"
#include "tests/support/realtime_tripwire.h"

using plumbrook::offline::OfflineHost;
using plumbrook::test::Lv2Instance;
using plumbrook::test::Lv2World;
using plumbrook::test::StateProperty;

namespace {

const std::string kStereo(plumbrook::lv2::kStereoUri);
const std::string kMono(plumbrook::lv2::kMonoUri);
constexpr int kMaxFrames = 20000;

int paramIndex(const std::string& symbol) {
  for (int i = 0; i < plumbrook::kNumParams; ++i)
    if (plumbrook::kParamSymbols[static_cast<size_t>(i)] == symbol) return i;
  return -1;
}

// One host block: control changes made before it, then the block, then an optional pause
// in real time (the LV2 instance's timer runs on a clock, the offline host's on frames).
struct Step {
  int frames;
  std::vector<std::pair<std::string, float>> controls;
  std::optional<bool> enabled;
  int pauseMs = 0;
};

struct Rendered {
  std::vector<std::vector<float>> channels;
  std::vector<float> latencyAfterStep;
  plumbrook::test::Violations violations;
};

// Runs the steps through the LV2 instance, the real-time tripwire armed around every run().
Rendered renderLv2(Lv2Instance& instance, const std::vector<std::vector<float>>& input,
                   const std::vector<Step>& steps) {
  const int channels = instance.audioInputs();
  Rendered result;
  result.channels.assign(static_cast<size_t>(channels), {});
  size_t position = 0;
  for (const Step& step : steps) {
    for (const auto& [symbol, value] : step.controls) EXPECT_TRUE(instance.setControl(symbol, value)) << symbol;
    if (step.enabled) instance.setControl("enabled", *step.enabled ? 1.0f : 0.0f);
    for (int c = 0; c < channels; ++c)
      std::copy_n(input[static_cast<size_t>(c)].begin() + static_cast<long>(position), step.frames, instance.input(c));
    plumbrook::test::RealtimeGuard guard;
    instance.run(static_cast<uint32_t>(step.frames));
    const plumbrook::test::Violations seen = guard.disarm();
    result.violations.allocations += seen.allocations;
    result.violations.frees += seen.frees;
    result.violations.locks += seen.locks;
    result.violations.throws += seen.throws;
    for (int c = 0; c < channels; ++c)
      result.channels[static_cast<size_t>(c)].insert(result.channels[static_cast<size_t>(c)].end(),
                                                     instance.output(c), instance.output(c) + step.frames);
    result.latencyAfterStep.push_back(instance.control("latency"));
    position += static_cast<size_t>(step.frames);
    if (step.pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.pauseMs));
  }
  return result;
}

// The same steps through the in-process offline host, split into the adapter's largest block.
std::vector<std::vector<float>> renderOffline(int channels, double sampleRate,
                                              const std::vector<std::vector<float>>& input,
                                              const std::vector<Step>& steps) {
  std::string error;
  OfflineHost::Options options;
  options.sampleRate = sampleRate;
  options.inputs = options.outputs = channels;
  options.blockSize = plumbrook::lv2::kMaxBlockFrames;
  options.renderingOffline = false;
  auto host = OfflineHost::create(options, error);
  EXPECT_TRUE(host) << error;
  if (!host) return {};
  bool enabled = true;
  size_t total = 0;
  for (const Step& step : steps) total += static_cast<size_t>(step.frames);
  std::vector<std::vector<double>> in(static_cast<size_t>(channels), std::vector<double>(total));
  std::vector<std::vector<double>> out(static_cast<size_t>(channels), std::vector<double>(total));
  for (int c = 0; c < channels; ++c)
    std::copy_n(input[static_cast<size_t>(c)].begin(), total, in[static_cast<size_t>(c)].begin());
  size_t position = 0;
  for (const Step& step : steps) {
    for (const auto& [symbol, value] : step.controls) host->setParameter(paramIndex(symbol), value);
    if (position == 0) host->plugin().prepareAtCurrentSettings();  // as an activated instance starts
    if (step.enabled && *step.enabled != enabled) {
      enabled = *step.enabled;
      host->setHostBypass(!enabled);
    }
    for (int done = 0; done < step.frames;) {
      const int n = std::min(step.frames - done, plumbrook::lv2::kMaxBlockFrames);
      double* inPtr[2];
      double* outPtr[2];
      for (int c = 0; c < channels; ++c) {
        inPtr[c] = in[static_cast<size_t>(c)].data() + position + static_cast<size_t>(done);
        outPtr[c] = out[static_cast<size_t>(c)].data() + position + static_cast<size_t>(done);
      }
      host->processBlock(inPtr, outPtr, n);
      done += n;
    }
    position += static_cast<size_t>(step.frames);
  }
  std::vector<std::vector<float>> result(static_cast<size_t>(channels));
  for (int c = 0; c < channels; ++c)
    for (double x : out[static_cast<size_t>(c)]) result[static_cast<size_t>(c)].push_back(static_cast<float>(x));
  return result;
}

std::vector<std::vector<float>> music(int channels, int frames, double sampleRate, uint32_t seed = 11) {
  std::vector<std::vector<float>> input;
  for (int c = 0; c < channels; ++c) input.push_back(plumbrook::test::musicLike(seed, c, frames, sampleRate));
  return input;
}

int totalFrames(const std::vector<Step>& steps) {
  int total = 0;
  for (const Step& step : steps) total += step.frames;
  return total;
}

double largestDifference(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return INFINITY;
  double largest = 0.0;
  for (size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::fabs(static_cast<double>(a[i]) - b[i]));
  return largest;
}

// Threads of this process named as the adapter names its timer threads.
int timerThreads() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
      std::string name;
      std::getline(comm, name);
      if (name == "idle-timer") ++count;
    }
    closedir(dir);
  }
  return count;
}

class lv2_host : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { world_ = new Lv2World(plumbrook::test::lv2Bundle()); }
  static void TearDownTestSuite() {
    delete world_;
    world_ = nullptr;
  }

  std::unique_ptr<Lv2Instance> make(const std::string& uri, double rate = 48000.0, bool withMap = true) {
    auto instance = Lv2Instance::create(*world_, uri, rate, kMaxFrames, withMap);
    EXPECT_TRUE(instance) << uri << " did not instantiate from " << plumbrook::test::lv2BundleParent();
    if (instance) instance->activate();
    return instance;
  }

  static Lv2World* world_;
};

Lv2World* lv2_host::world_ = nullptr;

bool hasNode(LilvNodes* nodes, LilvWorld* world, const char* uri) {
  LilvNode* node = lilv_new_uri(world, uri);
  const bool found = nodes && lilv_nodes_contains(nodes, node);
  lilv_node_free(node);
  lilv_nodes_free(nodes);
  return found;
}

}  // namespace

TEST_F(lv2_host, ports_carry_units_designations_and_features) {
  LilvWorld* w = world_->world();
  const auto plugin = plumbrook::MakePlugin();
  LilvNode* unitPredicate = lilv_new_uri(w, LV2_UNITS__unit);
  LilvNode* toggled = lilv_new_uri(w, LV2_CORE__toggled);
  LilvNode* reportsLatency = lilv_new_uri(w, LV2_CORE__reportsLatency);
  LilvNode* outputClass = lilv_new_uri(w, LV2_CORE__OutputPort);
  LilvNode* inputClass = lilv_new_uri(w, LV2_CORE__InputPort);
  LilvNode* audioClass = lilv_new_uri(w, LV2_CORE__AudioPort);
  LilvNode* latencyDesignation = lilv_new_uri(w, LV2_CORE__latency);
  LilvNode* enabledDesignation = lilv_new_uri(w, LV2_CORE__enabled);
  for (const plumbrook::lv2::Variant& variant : plumbrook::lv2::kVariants) {
    SCOPED_TRACE(std::string(variant.uri));
    const LilvPlugin* p = world_->plugin(std::string(variant.uri));
    ASSERT_TRUE(p);
    const int ch = variant.channels;
    ASSERT_EQ(lilv_plugin_get_num_ports(p), plumbrook::lv2::portCount(ch));
    EXPECT_EQ(lilv_plugin_get_num_ports_of_class(p, audioClass, nullptr),
              static_cast<uint32_t>(2 * ch));

    for (int i = 0; i < plumbrook::kNumParams; ++i) {
      const plugkit::Param& param = *plugin->GetParam(i);
      const LilvPort* port = lilv_plugin_get_port_by_index(p, plumbrook::lv2::paramPort(ch, i));
      LilvNodes* units = lilv_port_get_value(p, port, unitPredicate);
      const std::string unit = units ? lilv_node_as_uri(lilv_nodes_get_first(units)) : "";
      lilv_nodes_free(units);
      const char* expected = param.Unit() == plugkit::Param::kUnitDB           ? LV2_UNITS__db
                             : param.Unit() == plugkit::Param::kUnitPercentage ? LV2_UNITS__pc
                                                                                : "";
      EXPECT_EQ(unit, expected) << param.GetName();
      EXPECT_EQ(lilv_port_has_property(p, port, toggled), param.Type() == plugkit::Param::kTypeBool)
          << param.GetName();
    }

    const LilvPort* latency = lilv_plugin_get_port_by_designation(p, outputClass, latencyDesignation);
    ASSERT_TRUE(latency);
    EXPECT_EQ(lilv_port_get_index(p, latency), plumbrook::lv2::latencyPort(ch));
    EXPECT_TRUE(lilv_port_has_property(p, latency, reportsLatency));
    EXPECT_EQ(lilv_plugin_get_latency_port_index(p), plumbrook::lv2::latencyPort(ch));

    const LilvPort* enabled = lilv_plugin_get_port_by_designation(p, inputClass, enabledDesignation);
    ASSERT_TRUE(enabled);
    EXPECT_EQ(lilv_port_get_index(p, enabled), plumbrook::lv2::enabledPort(ch));
    EXPECT_TRUE(lilv_port_has_property(p, enabled, toggled));
    LilvNode* enabledDefault = nullptr;
    lilv_port_get_range(p, enabled, &enabledDefault, nullptr, nullptr);
    ASSERT_TRUE(enabledDefault);
    EXPECT_EQ(lilv_node_as_float(enabledDefault), 1.0f);
    lilv_node_free(enabledDefault);

    LilvNodes* required = lilv_plugin_get_required_features(p);
    EXPECT_EQ(required ? lilv_nodes_size(required) : 0u, 0u);
    lilv_nodes_free(required);
    EXPECT_TRUE(hasNode(lilv_plugin_get_optional_features(p), w, LV2_URID__map));
    EXPECT_TRUE(hasNode(lilv_plugin_get_extension_data(p), w, LV2_STATE__interface));
  }
  lilv_node_free(unitPredicate);
  lilv_node_free(toggled);
  lilv_node_free(reportsLatency);
  for (LilvNode* node : {outputClass, inputClass, audioClass, latencyDesignation, enabledDesignation})
    lilv_node_free(node);
}

TEST_F(lv2_host, renders_like_the_offline_host_through_odd_blocks_port_changes_and_bypass) {
  // Odd sizes, a single frame, blocks longer than the core's largest (split by the adapter),
  // parameter changes between blocks and the enabled port switching the host bypass. The
  // plug-in's idle tick marks a bypassed instance for a reset; the bypass lasts longer than
  // one tick both in frames (offline host) and in real time (the LV2 timer thread).
  const std::vector<Step> steps = {
      {1, {}, {}},
      {7, {{"gain", 3.5f}}, {}},
      {333, {{"amount", 185.0f}, {"eq_low", 4.0f}, {"eq_high", -2.5f}}, {}},
      {9426, {{"lookahead", 1.0f}, {"threshold", -9.0f}}, {}},
      {511, {{"ceiling", -1.5f}, {"eq_mid", 1.25f}}, {}},
      {1000, {}, false},
      {257, {{"gain", -6.0f}}, {}, 100},
      {4096, {}, true},
      {20000, {{"true_peak", 1.0f}, {"lookahead", 0.0f}, {"width_active", 0.0f}}, {}},
      {64, {{"limiter_active", 0.0f}, {"bypass", 1.0f}}, {}},
      {3001, {{"bypass", 0.0f}, {"true_peak", 0.0f}}, {}},
  };
  for (const std::string& uri : {kStereo, kMono}) {
    SCOPED_TRACE(uri);
    auto instance = make(uri);
    ASSERT_TRUE(instance);
    const int channels = instance->audioInputs();
    const auto input = music(channels, totalFrames(steps), 48000.0);
    const Rendered lv2 = renderLv2(*instance, input, steps);
    const auto reference = renderOffline(channels, 48000.0, input, steps);
    ASSERT_EQ(reference.size(), static_cast<size_t>(channels));
    for (int c = 0; c < channels; ++c)
      EXPECT_LE(largestDifference(lv2.channels[static_cast<size_t>(c)], reference[static_cast<size_t>(c)]), 1e-6)
          << "channel " << c;
    if (plumbrook::test::tripwireActive()) {
      EXPECT_EQ(lv2.violations.allocations, 0);
      EXPECT_EQ(lv2.violations.frees, 0);
      EXPECT_EQ(lv2.violations.locks, 0);
      EXPECT_EQ(lv2.violations.throws, 0);
    }
  }
}

TEST_F(lv2_host, processes_in_place_when_outputs_share_the_input_buffers) {
  const std::vector<Step> steps = {{300, {{"gain", 2.0f}, {"true_peak", 1.0f}}, {}},
                                   {9000, {{"amount", 40.0f}}, {}},
                                   {500, {}, false}};
  for (const std::string& uri : {kStereo, kMono}) {
    SCOPED_TRACE(uri);
    auto instance = make(uri);
    ASSERT_TRUE(instance);
    instance->connectInPlace();
    const int channels = instance->audioInputs();
    const auto input = music(channels, totalFrames(steps), 48000.0, 3);
    const Rendered lv2 = renderLv2(*instance, input, steps);
    const auto reference = renderOffline(channels, 48000.0, input, steps);
    for (int c = 0; c < channels; ++c)
      EXPECT_LE(largestDifference(lv2.channels[static_cast<size_t>(c)], reference[static_cast<size_t>(c)]), 1e-6)
          << "channel " << c;
  }
}

TEST_F(lv2_host, tripwire_sees_allocations_inside_the_plugin_binary) {
  // Guards the test above: the plug-in's own allocations reach the interposed allocator.
  PLUMBROOK_REQUIRE_TRIPWIRE();
  plumbrook::test::RealtimeGuard guard;
  auto instance = Lv2Instance::create(*world_, kStereo, 48000.0, 64);
  const auto seen = guard.disarm();
  ASSERT_TRUE(instance);
  EXPECT_GT(seen.allocations, 0);
}

TEST_F(lv2_host, latency_port_follows_lookahead_and_true_peak) {
  for (const std::string& uri : {kStereo, kMono}) {
    SCOPED_TRACE(uri);
    auto instance = make(uri);
    ASSERT_TRUE(instance);
    const int channels = instance->audioInputs();
    const std::vector<Step> steps = {
        {64, {}, {}},
        {64, {{"lookahead", 1.0f}}, {}},
        {64, {{"lookahead", 0.0f}}, {}},
        {64, {{"true_peak", 1.0f}}, {}},
        {64, {{"lookahead", 1.0f}}, {}},
        {64, {}, false},
        {64, {{"true_peak", 0.0f}, {"lookahead", 0.0f}}, true},
    };
    const Rendered r = renderLv2(*instance, music(channels, totalFrames(steps), 48000.0), steps);
    EXPECT_EQ(r.latencyAfterStep, (std::vector<float>{0, 72, 0, 72, 72, 72, 0}));
  }

  // At other rates the port carries what the core reports to the offline host.
  for (double rate : {44100.0, 96000.0}) {
    auto instance = make(kStereo, rate);
    ASSERT_TRUE(instance);
    instance->setControl("true_peak", 1.0f);
    instance->run(32);
    std::string error;
    OfflineHost::Options options;
    options.sampleRate = rate;
    auto host = OfflineHost::create(options, error);
    ASSERT_TRUE(host) << error;
    host->setParameter(plumbrook::kLimiterTruePeak, 1.0);
    host->runTimer();
    EXPECT_GT(host->reportedLatency(), 0);
    EXPECT_EQ(instance->control("latency"), static_cast<float>(host->reportedLatency())) << rate;
  }
}

// The largest change from one sample to the next in [from, to).
double largestStep(const std::vector<float>& x, size_t from, size_t to) {
  double largest = 0.0;
  for (size_t i = std::max<size_t>(from, 1); i < std::min(to, x.size()); ++i)
    largest = std::max(largest, std::fabs(static_cast<double>(x[i]) - x[i - 1]));
  return largest;
}

TEST_F(lv2_host, enabled_port_crossfades_both_ways_without_a_step_and_keeps_the_latency) {
  for (const double rate : {44100.0, 48000.0, 96000.0}) {
    for (const bool lookahead : {true, false}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, look-ahead " << lookahead);
      auto instance = make(kStereo, rate);
      ASSERT_TRUE(instance);
      const int part = static_cast<int>(0.1 * rate);
      const auto fade = static_cast<size_t>(std::lround(0.02 * rate));
      const size_t latency = lookahead ? static_cast<size_t>(std::lround(0.0015 * rate)) : 0;
      std::vector<Step> steps = {{part, {{"lookahead", lookahead ? 1.0f : 0.0f}, {"amount", 150.0f}}, {}}};
      for (bool enabled : {false, true, false, true})
        for (int done = 0; done < part; done += 256) steps.push_back({256, {}, done == 0 ? std::optional(enabled) : std::nullopt});
      const auto input = music(2, totalFrames(steps), rate, 29);
      const Rendered r = renderLv2(*instance, input, steps);
      EXPECT_FALSE(r.violations.any());
      for (float reported : r.latencyAfterStep) ASSERT_EQ(reported, static_cast<float>(latency));

      for (int c = 0; c < 2; ++c) {
        const auto& in = input[static_cast<size_t>(c)];
        const auto& out = r.channels[static_cast<size_t>(c)];
        const auto p = static_cast<size_t>(part);
        // Once faded, bypassed output is the input delayed by the latency, sample for sample.
        for (size_t i = p + fade; i < 2 * p; ++i) ASSERT_EQ(out[i], in[i - latency]) << "channel " << c << " frame " << i;
        // No transition steps further than the signal does on its own, bypassed or processed.
        const double own = std::max({largestStep(in, 0, in.size()), largestStep(out, p / 2, p), largestStep(out, p + fade, 2 * p)});
        for (size_t edge = p; edge < 5 * p; edge += p)
          EXPECT_LE(largestStep(out, edge - 8, edge + fade + latency + 8), 1.05 * own) << "channel " << c << " switch at " << edge;
      }
    }
  }
}

TEST_F(lv2_host, state_round_trips_through_the_state_extension) {
  auto a = make(kStereo);
  ASSERT_TRUE(a);
  ASSERT_TRUE(a->hasStateInterface());
  const std::vector<Step> settings = {
      {256, {{"gain", 4.5f}, {"amount", 160.0f}, {"lookahead", 1.0f}, {"eq_low", -2.25f}, {"ceiling", -1.0f}}, {}}};
  renderLv2(*a, music(2, 256, 48000.0), settings);

  std::vector<StateProperty> saved;
  ASSERT_EQ(a->save(saved), LV2_STATE_SUCCESS);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].key, world_->map(plumbrook::lv2::kStateKeyUri.data()));
  EXPECT_EQ(saved[0].type, world_->map(LV2_ATOM__Chunk));
  EXPECT_TRUE(saved[0].flags & LV2_STATE_IS_POD);

  // A host that restores the ports with the state (as hosts do with a whole saved session)
  // gets the saved sound, and saving again gives the same state.
  auto b = make(kStereo);
  ASSERT_TRUE(b);
  std::vector<StateProperty> before;
  ASSERT_EQ(b->save(before), LV2_STATE_SUCCESS);
  EXPECT_NE(before[0].value, saved[0].value);
  ASSERT_EQ(b->restore(saved), LV2_STATE_SUCCESS);
  const auto input = music(2, 4096, 48000.0, 5);
  const Rendered restored = renderLv2(*b, input, {{4096, settings[0].controls, {}}});
  EXPECT_EQ(restored.latencyAfterStep[0], 72.0f);
  std::vector<StateProperty> again;
  ASSERT_EQ(b->save(again), LV2_STATE_SUCCESS);
  EXPECT_EQ(again[0].value, saved[0].value);

  // It sounds like the offline host with the same settings.
  const auto reference = renderOffline(2, 48000.0, input, {{4096, settings[0].controls, {}}});
  for (int c = 0; c < 2; ++c)
    EXPECT_LE(largestDifference(restored.channels[static_cast<size_t>(c)], reference[static_cast<size_t>(c)]), 1e-6);
}

TEST_F(lv2_host, after_a_restore_the_parameters_follow_the_host_ports) {
  // The saved state holds a chunk with other values and a non-default accent.
  auto source = plumbrook::MakePlugin();
  source->GetParam(plumbrook::kGain)->Set(9.0);
  source->GetParam(plumbrook::kLimiterLookahead)->Set(1.0);
  source->setAccentIndex(2);
  plugkit::ByteChunk chunk;
  ASSERT_TRUE(source->SerializeState(chunk));
  const StateProperty property{world_->map(plumbrook::lv2::kStateKeyUri.data()), world_->map(LV2_ATOM__Chunk),
                               LV2_STATE_IS_POD, std::vector<uint8_t>(chunk.GetData(), chunk.GetData() + chunk.Size())};

  // The host restores only the chunk; its ports keep showing their own values.
  auto instance = make(kStereo);
  ASSERT_TRUE(instance);
  ASSERT_TRUE(instance->setControl("gain", -2.0f));
  const auto input = music(2, 2048, 48000.0, 7);
  renderLv2(*instance, input, {{64, {}, {}}});
  ASSERT_EQ(instance->restore({property}), LV2_STATE_SUCCESS);
  const Rendered r = renderLv2(*instance, input, {{2048, {}, {}}});

  // What plays is what the host shows (gain -2 dB, no look-ahead); what has no port came
  // from the chunk.
  EXPECT_EQ(r.latencyAfterStep[0], 0.0f);
  std::vector<StateProperty> saved;
  ASSERT_EQ(instance->save(saved), LV2_STATE_SUCCESS);
  auto check = plumbrook::MakePlugin();
  const plugkit::ByteChunk savedChunk(saved[0].value.data(), static_cast<int>(saved[0].value.size()));
  ASSERT_GE(check->UnserializeState(savedChunk, 0), 0);
  EXPECT_EQ(check->accentIndex(), 2);
  EXPECT_DOUBLE_EQ(check->GetParam(plumbrook::kGain)->Value(), -2.0);
  EXPECT_DOUBLE_EQ(check->GetParam(plumbrook::kLimiterLookahead)->Value(), 0.0);
}

TEST_F(lv2_host, state_restore_refuses_missing_foreign_typed_and_foreign_chunks) {
  auto instance = make(kMono);
  ASSERT_TRUE(instance);
  renderLv2(*instance, music(1, 64, 48000.0), {{64, {{"gain", 2.0f}, {"true_peak", 1.0f}}, {}}});
  std::vector<StateProperty> original;
  ASSERT_EQ(instance->save(original), LV2_STATE_SUCCESS);
  const uint32_t key = world_->map(plumbrook::lv2::kStateKeyUri.data());

  EXPECT_EQ(instance->restore({}), LV2_STATE_ERR_NO_PROPERTY);
  StateProperty otherKey = original[0];
  otherKey.key = world_->map("https://example.org/other#state");
  EXPECT_EQ(instance->restore({otherKey}), LV2_STATE_ERR_NO_PROPERTY);

  StateProperty text = original[0];
  text.type = world_->map(LV2_ATOM__String);
  EXPECT_EQ(instance->restore({text}), LV2_STATE_ERR_BAD_TYPE);

  // Refusals that never reach the core leave the plug-in exactly as it was.
  std::vector<StateProperty> after;
  ASSERT_EQ(instance->save(after), LV2_STATE_SUCCESS);
  EXPECT_EQ(after[0].value, original[0].value);

  // A chunk from something else: the core refuses it and the restore fails.
  const char foreign[] = "not a Plumbrook state";
  StateProperty chunk{key, world_->map(LV2_ATOM__Chunk), LV2_STATE_IS_POD,
                      std::vector<uint8_t>(foreign, foreign + sizeof foreign)};
  EXPECT_NE(instance->restore({chunk}), LV2_STATE_SUCCESS);
  chunk.value.clear();
  EXPECT_NE(instance->restore({chunk}), LV2_STATE_SUCCESS);
  // A cut-off chunk of our own is damaged too.
  StateProperty cut = original[0];
  cut.value.resize(cut.value.size() / 2);
  EXPECT_NE(instance->restore({cut}), LV2_STATE_SUCCESS);

  // The instance still runs and a good chunk still restores.
  EXPECT_EQ(instance->restore(original), LV2_STATE_SUCCESS);
  const Rendered r = renderLv2(*instance, music(1, 128, 48000.0), {{128, {}, {}}});
  EXPECT_EQ(r.latencyAfterStep[0], 72.0f);
}

TEST_F(lv2_host, without_urid_map_audio_runs_and_state_reports_the_missing_feature) {
  auto instance = make(kStereo, 48000.0, false);
  ASSERT_TRUE(instance);
  const std::vector<Step> steps = {{1000, {{"gain", -4.0f}, {"lookahead", 1.0f}}, {}}};
  const auto input = music(2, 1000, 48000.0);
  const Rendered r = renderLv2(*instance, input, steps);
  const auto reference = renderOffline(2, 48000.0, input, steps);
  EXPECT_LE(largestDifference(r.channels[0], reference[0]), 1e-6);
  EXPECT_EQ(r.latencyAfterStep[0], 72.0f);
  std::vector<StateProperty> saved;
  EXPECT_EQ(instance->save(saved), LV2_STATE_ERR_NO_FEATURE);
  EXPECT_TRUE(saved.empty());
  EXPECT_EQ(instance->restore({}), LV2_STATE_ERR_NO_FEATURE);
}

TEST_F(lv2_host, unusable_sample_rates_fail_instantiate_cleanly) {
  for (double rate : {0.0, -48000.0, static_cast<double>(NAN), static_cast<double>(INFINITY)}) {
    EXPECT_FALSE(Lv2Instance::create(*world_, kStereo, rate, 64)) << rate;
    EXPECT_FALSE(Lv2Instance::create(*world_, kMono, rate, 64)) << rate;
  }
}

TEST_F(lv2_host, one_timer_thread_serves_every_instance_and_ends_with_the_last) {
  ASSERT_EQ(timerThreads(), 0);
  {
    std::vector<std::unique_ptr<Lv2Instance>> instances;
    for (int i = 0; i < 20; ++i) instances.push_back(make(i % 2 ? kMono : kStereo));
    EXPECT_EQ(timerThreads(), 1);
    instances.resize(1);
    EXPECT_EQ(timerThreads(), 1);
  }
  EXPECT_EQ(timerThreads(), 0);
  auto again = make(kStereo);
  EXPECT_EQ(timerThreads(), 1);
}
