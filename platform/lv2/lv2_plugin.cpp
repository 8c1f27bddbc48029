// LV2 adapter: maps the LV2 plug-in interface and the State extension onto the plug-in core.
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "plugin/plumbrook.h"
#include "dsp/denormals.h"
#include "platform/lv2/lv2_bridge.h"
#include "platform/lv2/lv2_ports.h"
#include "platform/system/app_support.h"
#include "platform/system/http.h"
#include "platform/system/idle_timer.h"

namespace plumbrook::lv2 {
namespace {

// One plug-in instance as the host sees it: the core, the host's port buffers and its place on
// the process's shared 20 ms timer.
//
// Threads: instantiate, activate, deactivate, cleanup and state restore come from the host's
// instantiation class (never concurrent with run); connect_port and run from the audio class;
// state save from any thread; the timer ticks on the shared timer thread, or the host's UI thread
// while an editor is attached. Idle work, editor work and state save and restore are serialised
// by mainThreadWork_; run() takes no lock.
class Instance final : public InstanceBridge, public plugkit::Host {
 public:
  Instance(const Variant& variant, std::unique_ptr<Plumbrook> plugin, LV2_URID_Map* map)
      : variant_(variant), plugin_(std::move(plugin)),
        scratch_(static_cast<size_t>(4 * kMaxBlockFrames), 0.0) {
    if (map && map->map) {
      stateKey_ = map->map(map->handle, kStateKeyUri.data());
      chunkType_ = map->map(map->handle, LV2_ATOM__Chunk);
    }
    for (int c = 0; c < 2; ++c) {
      inScratch_[c] = scratch_.data() + static_cast<size_t>(c) * kMaxBlockFrames;
      outScratch_[c] = scratch_.data() + static_cast<size_t>(2 + c) * kMaxBlockFrames;
    }
    plugin_->AttachHost(this);
  }

  ~Instance() override {
    timer_.reset();  // no tick runs or starts after this
    plugin_->AttachHost(nullptr);
  }

  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  Plumbrook& plugin() override { return *plugin_; }

  void attachEditor(plugkit::Host* editorHost) override {
    editorHost_ = editorHost;
    if (timer_) timer_->setTicking(false);
  }

  void detachEditor() override {
    editorHost_ = nullptr;
    if (timer_) timer_->setTicking(true);
  }

  void tick() override {
    std::lock_guard work(mainThreadWork_);
    plugin_->OnTimer();
  }

  void whileLocked(const std::function<void()>& work) override {
    std::lock_guard lock(mainThreadWork_);
    work();
  }

  /// Joins the shared 20 ms timer. Instantiation thread; allocates.
  void startTimer() {
    timer_.emplace([this] {
      std::lock_guard work(mainThreadWork_);
      plugin_->OnTimer();
    });
  }

  /// Stores the host's buffer for a port. Audio thread; never allocates.
  void connect(uint32_t port, void* data) noexcept {
    const int channels = variant_.channels;
    if (port < audioOutPort(channels, 0)) {
      audioIn_[port] = static_cast<const float*>(data);
    } else if (port < paramPort(channels, 0)) {
      audioOut_[port - audioOutPort(channels, 0)] = static_cast<float*>(data);
    } else if (port < latencyPort(channels)) {
      controls_[port - paramPort(channels, 0)] = static_cast<const float*>(data);
    } else if (port == latencyPort(channels)) {
      latencyOut_ = static_cast<float*>(data);
    } else if (port == enabledPort(channels)) {
      enabledIn_ = static_cast<const float*>(data);
    }
  }

  /// The host (re)starts processing: the core resets, and the first block starts settled at the
  /// port values then in place. Instantiation thread.
  void activate() noexcept {
    plugin_->OnReset();
    settleOnNextRun_ = true;
  }

  /// One host block of any length. Audio thread; lock-free, never allocates.
  void run(uint32_t nFrames) noexcept {
    const plumbrook::dsp::ScopedDenormalsOff denormalsOff;
    applyControls();
    if (settleOnNextRun_) {
      settleOnNextRun_ = false;
      plugin_->prepareAtCurrentSettings();
    }
    plugin_->reportLatencyIfChanged();

    const int channels = variant_.channels;
    uint32_t done = 0;
    while (done < nFrames) {
      const int n = static_cast<int>(std::min<uint32_t>(nFrames - done, kMaxBlockFrames));
      for (int c = 0; c < channels; ++c) {
        double* in = inScratch_[c];
        if (const float* src = audioIn_[c]) {
          src += done;
          for (int i = 0; i < n; ++i) in[i] = src[i];
        } else {
          std::fill(in, in + n, 0.0);
        }
      }
      plugin_->RenderBlock(inScratch_, outScratch_, n);
      for (int c = 0; c < channels; ++c) {
        float* dst = audioOut_[c];
        if (!dst) continue;
        dst += done;
        const double* out = outScratch_[c];
        for (int i = 0; i < n; ++i) dst[i] = static_cast<float>(out[i]);
      }
      done += static_cast<uint32_t>(n);
    }
    if (latencyOut_) *latencyOut_ = static_cast<float>(plugin_->GetLatency());
  }

  /// State extension save: the core's chunk as one atom:Chunk property. Any non-audio thread.
  LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    if (!stateKey_ || !chunkType_) return LV2_STATE_ERR_NO_FEATURE;
    plugkit::ByteChunk chunk;
    {
      std::lock_guard lock(mainThreadWork_);
      if (!plugin_->SerializeState(chunk)) return LV2_STATE_ERR_UNKNOWN;
    }
    // The chunk's layout is fixed little-endian, so it is portable between machines.
    return store(handle, stateKey_, chunk.GetData(), static_cast<size_t>(chunk.Size()), chunkType_,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
  }

  /// State extension restore: refuses a missing or foreign-typed property and a chunk the
  /// core refuses. Any non-audio thread, never concurrent with run().
  LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
    if (!stateKey_ || !chunkType_) return LV2_STATE_ERR_NO_FEATURE;
    size_t size = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    const void* data = retrieve(handle, stateKey_, &size, &type, &flags);
    if (!data) return LV2_STATE_ERR_NO_PROPERTY;
    if (type != chunkType_) return LV2_STATE_ERR_BAD_TYPE;
    if (size > static_cast<size_t>(INT32_MAX)) return LV2_STATE_ERR_UNKNOWN;
    const plugkit::ByteChunk chunk(static_cast<const uint8_t*>(data), static_cast<int>(size));
    bool restored = false;
    {
      std::lock_guard lock(mainThreadWork_);
      restored = plugin_->RestoreStateChunk(chunk);
    }
    // The host's controls stay what it shows: the parameters take the port values again at the
    // next run, and only what has no port (preset name, accent, editor size) comes from the chunk.
    followAllPorts_.store(true, std::memory_order_release);
    return restored ? LV2_STATE_SUCCESS : LV2_STATE_ERR_UNKNOWN;
  }

  // plugkit::Host. Gestures and value notifications come only from an attached editor and go
  // back to it (it owns the host's UI controller); latency reaches the host through its port.
  void BeginParamGesture(int paramIdx) override {
    if (editorHost_) editorHost_->BeginParamGesture(paramIdx);
  }
  void EndParamGesture(int paramIdx) override {
    if (editorHost_) editorHost_->EndParamGesture(paramIdx);
  }
  void NotifyHostOfParamChange(int paramIdx, double normalised) override {
    if (editorHost_) editorHost_->NotifyHostOfParamChange(paramIdx, normalised);
  }
  void LatencyChanged(int) override {}

 private:
  // Turns changed control port values (every value, after a restore and before the first block)
  // into host parameter changes, and the enabled port into the host bypass.
  void applyControls() noexcept {
    // Read before it is exchanged: an exchange on every run() is a locked instruction for a flag
    // that is almost never set.
    const bool followAll = followAllPorts_.load(std::memory_order_relaxed) &&
                           followAllPorts_.exchange(false, std::memory_order_acquire);
    for (int i = 0; i < kNumParams; ++i) {
      const float* port = controls_[i];
      if (!port) continue;
      const float value = *port;
      if (!std::isfinite(value) || (value == lastSeen_[i] && !followAll)) continue;
      lastSeen_[i] = value;
      // A value the editor has just written through the host is already in place: no echo.
      if (value == static_cast<float>(plugin_->GetParam(i)->Value())) continue;
      plugin_->SetParameterFromHost(i, value, 0);
    }
    if (enabledIn_) {
      const float value = *enabledIn_;
      if (std::isfinite(value)) {
        const bool enabled = value >= 0.5f;
        if (enabled != enabled_) {
          enabled_ = enabled;
          plugin_->SetHostBypass(!enabled);
        }
      }
    }
  }

  const Variant& variant_;
  std::unique_ptr<Plumbrook> plugin_;
  LV2_URID stateKey_ = 0;
  LV2_URID chunkType_ = 0;

  const float* audioIn_[2] = {nullptr, nullptr};
  float* audioOut_[2] = {nullptr, nullptr};
  const float* controls_[kNumParams] = {};
  float lastSeen_[kNumParams] = {};
  std::atomic<bool> followAllPorts_{true};
  float* latencyOut_ = nullptr;
  bool settleOnNextRun_ = false;
  const float* enabledIn_ = nullptr;
  bool enabled_ = true;

  std::vector<double> scratch_;  // two input and two output channels of kMaxBlockFrames
  double* inScratch_[2] = {nullptr, nullptr};
  double* outScratch_[2] = {nullptr, nullptr};

  // Serialises idle and editor work with state save and restore.
  std::mutex mainThreadWork_;
  plugkit::Host* editorHost_ = nullptr;  // UI thread only
  std::optional<platform::IdleTimerClient> timer_;
};

const Variant* findVariant(const LV2_Descriptor* descriptor);

Instance* of(LV2_Handle handle) { return static_cast<Instance*>(static_cast<InstanceBridge*>(handle)); }

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double sampleRate, const char*,
                       const LV2_Feature* const* features) {
  const Variant* variant = findVariant(descriptor);
  if (!variant || !std::isfinite(sampleRate) || sampleRate < 1.0 || sampleRate > 1.0e6) return nullptr;

  // urid:map is optional: without it audio works, and state save and restore report the
  // missing feature (hosts such as lv2apply pass no features at all).
  LV2_URID_Map* map = nullptr;
  for (const LV2_Feature* const* f = features; f && *f; ++f)
    if ((*f)->URI && std::strcmp((*f)->URI, LV2_URID__map) == 0) map = static_cast<LV2_URID_Map*>((*f)->data);

  try {
    Services services;
    services.appSupport = plugkit::AppSupportPath();
    services.fetch = [](const std::string& url, const std::atomic<bool>& cancelled) {
      return platform::getJson(url, 8, &cancelled);
    };
    services.networkAllowed = [] { return platform::mayUseNetwork(); };
    services.backgroundUpdateCheck = true;
    auto plugin = plumbrook::MakePlugin(std::move(services));
    if (!plugin->LegalIO(variant->channels, variant->channels)) return nullptr;
    plugin->SetBlockSize(kMaxBlockFrames);
    if (!plugin->InitializeIO(variant->channels, variant->channels)) return nullptr;
    plugin->SetHostSampleRate(sampleRate);
    auto instance = std::make_unique<Instance>(*variant, std::move(plugin), map);
    instance->startTimer();
    // The handle is the bridge, so that the editor binary can use it through instance access.
    return static_cast<InstanceBridge*>(instance.release());
  } catch (...) {
    return nullptr;
  }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
  of(handle)->connect(port, data);
}

void activate(LV2_Handle handle) { of(handle)->activate(); }

void run(LV2_Handle handle, uint32_t nFrames) { of(handle)->run(nFrames); }

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle handle) { delete of(handle); }

LV2_State_Status saveState(LV2_Handle handle, LV2_State_Store_Function store,
                           LV2_State_Handle stateHandle, uint32_t, const LV2_Feature* const*) {
  try {
    return of(handle)->save(store, stateHandle);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

LV2_State_Status restoreState(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                              LV2_State_Handle stateHandle, uint32_t, const LV2_Feature* const*) {
  try {
    return of(handle)->restore(retrieve, stateHandle);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

const LV2_State_Interface kStateInterface = {saveState, restoreState};

const void* extensionData(const char* uri) {
  if (uri && std::strcmp(uri, LV2_STATE__interface) == 0) return &kStateInterface;
  return nullptr;
}

const LV2_Descriptor kDescriptors[2] = {
    {kStereoUri.data(), instantiate, connectPort, activate, run, deactivate, cleanup, extensionData},
    {kMonoUri.data(), instantiate, connectPort, activate, run, deactivate, cleanup, extensionData},
};

const Variant* findVariant(const LV2_Descriptor* descriptor) {
  for (size_t i = 0; i < kVariants.size(); ++i)
    if (descriptor == &kDescriptors[i]) return &kVariants[i];  // same order in both tables
  return nullptr;
}

}  // namespace
}  // namespace plumbrook::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index < 2 ? &plumbrook::lv2::kDescriptors[index] : nullptr;
}
