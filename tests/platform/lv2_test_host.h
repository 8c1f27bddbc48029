// A small LV2 host on liblilv for the tests: loads one bundle, maps URIs, runs one instance
// with float buffers on every port and drives its State extension with in-memory properties.
#pragma once

#include <lilv/lilv.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace plumbrook::test {

/// The built LV2 bundle, with a trailing "/".
std::string lv2Bundle();
/// Folder holding the built LV2 bundle (an LV2_PATH entry).
std::string lv2BundleParent();

/// A lilv world holding only one bundle, and a URID map.
class Lv2World {
 public:
  explicit Lv2World(const std::string& bundlePath);
  ~Lv2World();
  Lv2World(const Lv2World&) = delete;
  Lv2World& operator=(const Lv2World&) = delete;

  LilvWorld* world() { return world_; }
  /// The plug-in with this URI, or null.
  const LilvPlugin* plugin(const std::string& uri) const;
  LV2_URID map(const char* uri);
  LV2_URID_Map* mapFeature() { return &map_; }

 private:
  static LV2_URID mapThunk(LV2_URID_Map_Handle handle, const char* uri);

  LilvWorld* world_;
  std::mutex mapMutex_;
  std::vector<std::string> uris_;
  LV2_URID_Map map_;
};

/// One saved state property.
struct StateProperty {
  uint32_t key = 0;
  uint32_t type = 0;
  uint32_t flags = 0;
  std::vector<uint8_t> value;
};

/// One plug-in instance with a float buffer per port (audio buffers of maxFrames).
class Lv2Instance {
 public:
  /// Instantiates; null when the plug-in refuses. withMap=false passes no features.
  static std::unique_ptr<Lv2Instance> create(Lv2World& world, const std::string& uri,
                                             double sampleRate, int maxFrames, bool withMap = true);
  ~Lv2Instance();
  Lv2Instance(const Lv2Instance&) = delete;
  Lv2Instance& operator=(const Lv2Instance&) = delete;

  int audioInputs() const { return static_cast<int>(audioIn_.size()); }
  int audioOutputs() const { return static_cast<int>(audioOut_.size()); }
  float* input(int channel) { return buffers_[audioIn_[static_cast<size_t>(channel)]].data(); }
  float* output(int channel) {
    return inPlace_ ? input(channel) : buffers_[audioOut_[static_cast<size_t>(channel)]].data();
  }

  /// Sets a control port by symbol; false when there is no such port.
  bool setControl(const std::string& symbol, float value);
  /// Reads a control port (input or output) by symbol; NaN when there is none.
  float control(const std::string& symbol) const;

  /// Connects every audio output to the input buffer of the same channel, as hosts that
  /// process in place do; output(c) then reads that buffer.
  void connectInPlace();

  void activate() { lilv_instance_activate(instance_); }
  void deactivate() { lilv_instance_deactivate(instance_); }
  /// Calls run() directly on the already filled buffers (frames <= maxFrames).
  void run(uint32_t frames) { lilv_instance_run(instance_, frames); }

  bool hasStateInterface() const { return state_ != nullptr; }
  /// Saves through the State extension into properties.
  LV2_State_Status save(std::vector<StateProperty>& properties);
  /// Restores from properties through the State extension.
  LV2_State_Status restore(const std::vector<StateProperty>& properties);

 private:
  Lv2Instance() = default;

  LilvInstance* instance_ = nullptr;
  const LV2_State_Interface* state_ = nullptr;
  std::vector<std::vector<float>> buffers_;  // one per port; control ports hold one value
  std::vector<std::string> symbols_;
  std::vector<uint32_t> audioIn_, audioOut_;
  bool inPlace_ = false;
};

/// Music-like test audio: a few partials with vibrato and a pulsing envelope over pink
/// noise, peaking near 0 dBFS, deterministic for a seed and a channel.
std::vector<float> musicLike(uint32_t seed, int channel, int frames, double sampleRate);

}  // namespace plumbrook::test
