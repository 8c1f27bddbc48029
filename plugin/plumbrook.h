// The Plumbrook plug-in: identity, parameters, stages, latency, Limiter Link, saved state.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plugin/editor_half.h"
#include "core/plugin_base.h"
#include "plugin/preset_hooks.h"
#include "plugin/plumbrook_params.h"
#include "dsp/chain_records.h"
#include "dsp/eq.h"
#include "dsp/glue.h"
#include "dsp/limiter.h"
#include "presets/preset_file.h"
#include "updates/update_check.h"

namespace plumbrook {

/// The configuration record of the plug-in.
plugkit::Config MakeConfig();

inline constexpr int kVendorVersion = 0x00000302;
/// "major.minor.patch" of kVendorVersion.
std::string versionText();
inline constexpr int kDesignWidth = 880;
inline constexpr int kDesignHeight = 382;
/// The editor's size limits: 0.75 and 2 times the design size, the smallest height rounded up.
inline constexpr int kMinEditorWidth = kDesignWidth * 3 / 4;
inline constexpr int kMinEditorHeight = (kDesignHeight * 3 + 3) / 4;
inline constexpr int kMaxEditorWidth = kDesignWidth * 2;
inline constexpr int kMaxEditorHeight = kDesignHeight * 2;
inline constexpr double kDesignAspect = static_cast<double>(kDesignWidth) / kDesignHeight;
inline constexpr int32_t kStateTag = 0x50425331;  // "PBS1"
inline constexpr int kEditorFrameRate = 60;

/// Fits a window size (pixels) to the editor's limits at a platform scale: at least 660 x 287,
/// at most 1760 x 764 (times the scale above 1), then the design aspect, in single precision
/// as hosts do. Pure.
void constrainEditorSize(int& width, int& height, float platformScale);

/// The status line: product, version and the latency the plug-in reports. Allocates.
std::string statusText(int latencySamples);

/// What a host binding hands a new instance from its platform. Every field may stay empty: with
/// no application-support folder there is no preset folder and the update check stays off, and
/// without a fetch and a network permission no request is ever made.
struct Services {
  std::filesystem::path appSupport;
  quillfen::updates::Fetch fetch;
  std::function<bool()> networkAllowed;
  /// Runs the update check on a background thread of its own.
  bool backgroundUpdateCheck = false;
};

}  // namespace plumbrook

class Plumbrook : public plugkit::HostAdapter {
 public:
  explicit Plumbrook(const plugkit::InstanceInfo& info, plumbrook::Services services = {});
  ~Plumbrook() override;

  // Host boundary.
  void OnReset() override;
  /// Prepares every stage again from the current parameter values, as a new sample rate does,
  /// so that processing starts settled instead of gliding from earlier values. For a host that
  /// sets its values before the first block. Reset thread, or the audio thread between blocks;
  /// allocates nothing.
  void prepareAtCurrentSettings();
  void ProcessBlock(double** inputs, double** outputs, int nFrames) override;
  /// The host bypass crossfades against the latency-aligned dry path like the Bypass parameter.
  bool FadesHostBypass() const override { return true; }
  void OnParamChangeUI(int paramIdx, plugkit::ParamSource source) override;
  void OnIdle() override;
  /// Main thread: metering runs only while the editor is open.
  void OnUIOpen() override;
  void OnUIClose() override;

  // The editor (main thread). The window code builds the drawing half and attaches it; the
  // plug-in keeps the size, accent and status rules and calls into the open editor.
  /// Attaches an open editor (OnUIOpen follows); null detaches it (OnUIClose follows).
  void attachEditor(plumbrook::EditorHalf* editor);
  plumbrook::EditorHalf* editor() const { return GetUI() == editor_ ? editor_ : nullptr; }
  /// The draw scale a new editor starts at: the remembered window size over the design size
  /// at the stored platform scale, within the size limits, or 1 when there is none.
  float initialDrawScale() const;
  /// The editor now shows on a screen of scale s (pixels per point).
  void followScreenScale(float s);
  /// The editor's size relative to the design size: of the open editor, else of the
  /// remembered window, else 1.
  float editorScale() const;
  /// Resizes an open editor (window included) to a scale within the size limits; nothing
  /// while it is closed.
  void applyEditorScale(float scale);
  /// The host asks for a window size: fits it in place; true only when it already fitted.
  bool ConstrainEditorResize(int& width, int& height) const;
  /// The host resized the window (pixels): the open editor follows without resizing the window.
  void OnParentWindowResize(int width, int height);
  bool SerializeState(plugkit::ByteChunk& chunk) const override;
  int UnserializeState(const plugkit::ByteChunk& chunk, int startPos) override;

  /// The limiter settings the parameters ask for (not clamped).
  quillfen::dsp::Limiter::Settings limiterSettings() const;
  /// The look-ahead length while Lookahead or True Peak is on, else 0. Any thread.
  int wantedLatency() const;
  /// Tells the host the wanted latency when it changed or a reset asked for it; the latency
  /// step of the idle tick. Lock-free and allocation-free, so an adapter whose host reads
  /// latency from the audio thread may call it there. True when it reported.
  bool reportLatencyIfChanged();
  /// Limiter Link: moves the other of threshold (5) / ceiling (6) by the same decibels.
  void followLink(int paramIdx);
  /// Limiter Link starts from the current threshold and ceiling (the lock was just built).
  void refreshLinkMemory();
  void trackLabel(std::string& label) const { label.clear(); }
  bool trackColour(int&, int&, int&) const { return false; }

  /// Levels published by the audio thread; the editor reads and clears them.
  plumbrook::MeterReadings& meterReadings() { return meters_; }
  /// Read-only views of the stages, for meters and tests.
  const plumbrook::dsp::Glue& glue() const { return glue_; }
  const quillfen::dsp::Limiter& limiter() const { return limiter_; }
  const plumbrook::GainRamp& gainRamp() const { return gainRamp_; }
  /// The shared update check (the editor's update pill reads it).
  std::shared_ptr<quillfen::updates::UpdateCheck> updateCheck() const { return updateCheck_; }

  // Per-instance settings that travel with the state.
  int accentIndex() const { return accentIndex_.load(); }
  /// Stores an accent index (6 and above become 0); flags a change.
  void setAccentIndex(int index);
  bool takeAccentChanged() { return accentChanged_.exchange(false); }
  /// The open editor's backing scale, else the one it last reported (1 until then).
  float platformScale() const;
  std::pair<int, int> restoredEditorSize() const { return restoredEditorSize_; }

  // Preset name and modified mark.
  std::string presetName() const;
  void setPresetName(const std::string& name);
  std::vector<double> soundSnapshot() const;
  bool presetModified() const { return modifiedSinceSnapshot_ || modifiedBase_; }
  void retakePresetSnapshot(bool modified);

  /// What a preset operation did; a failure carries the message the editor was shown.
  struct PresetOutcome {
    enum Kind { kDone, kDeclined, kFailed } kind = kDone;
    std::string message;
    explicit operator bool() const { return kind == kDone; }
  };

  // Preset operations (main thread). Failures are shown in a message box while the editor
  // is open and dropped silently otherwise, and returned; nothing is thrown.
  std::filesystem::path presetDirectory() const;
  std::vector<quillfen::presets::SavedPreset> savedPresets() const;
  PresetOutcome loadPreset(const quillfen::presets::SavedPreset& preset);
  PresetOutcome loadPresetFile(const quillfen::presets::SavedPreset& preset);
  PresetOutcome savePreset(const std::string& name, bool confirm);
  PresetOutcome savePresetFile(const std::string& name, bool confirm);
  PresetOutcome removePreset(const quillfen::presets::SavedPreset& preset);
  PresetOutcome removePresetFile(const quillfen::presets::SavedPreset& preset);
  /// tell(message, title), returned as a failure.
  PresetOutcome presetFailure(const std::string& message, const std::string& title);
  /// An OK box while the editor is open; nothing otherwise.
  void tell(const std::string& message, const std::string& title);
  /// A Yes/No box while the editor is open: true only for Yes; false without an editor.
  bool ask(const std::string& message, const std::string& title);

  // By-name operations behind the preset bar.
  std::vector<std::string> presetNames() const;
  void loadPresetNamed(const std::string& name);
  /// Saves at once unless another stored preset has the name; then asks at the next idle tick.
  void savePresetNamed(const std::string& name);
  void removePresetNamed(const std::string& name);
  quillfen::controls::PresetHooks presetHooks();

 private:
  void restoreEditorSize(int width, int height);
  quillfen::dsp::Limiter::Settings clampedLimiterSettings() const;
  void sendLinkedValue(int paramIdx, double value);
  void updatePresetModified();
  void runPendingPresetSave();
  // The editor's part of the idle tick, before and after the preset work.
  void followEditorSettings();
  void refreshEditor();

  static constexpr int kSubBlock = 256;
  static constexpr int kDryRing = 512;

  /// Returns every stage to rest with its smoothed values at their targets.
  void resetDsp() noexcept;

  // What one block does, decided once at its start.
  struct BlockPlan {
    int channels = 0;     // processed channels, 0..2
    bool editorOpen = false;
    bool chainRuns = false;
    bool chainResumed = false;        // the chain runs again after a bypass
    bool limiterRuns = false;
    bool limiterFadeSettled = false;  // fully limited, the limiter fade pass is skipped
    bool bypassFadeSettled = false;   // fully processed, the bypass fade pass is skipped
    bool sanitizeInPlace = false;     // the input copy left cleaning the samples to the first pass
    int dryDelay = 0;     // samples
  };
  // Levels measured over one block for the meters.
  struct BlockMeters {
    float inputPeak = 0.0f;
    double inputSum = 0.0;
    float glueReduction[3] = {0.0f, 0.0f, 0.0f};
    float limiterReduction = 0.0f;
    float limiterPeak = 0.0f;
  };
  // The steps of ProcessBlock, in the order it takes them. Audio thread; none allocates.
  bool copyInputToOutputs(double** inputs, double** outputs, int nFrames) noexcept;
  void resetIfStale() noexcept;
  void followChannelCount(int channels) noexcept;
  void updateBypassAndGain(BlockPlan& plan) noexcept;
  void setStageParameters() noexcept;
  bool updateLimiter(const BlockPlan& plan) noexcept;
  void processSubBlock(const BlockPlan& plan, double* const* channel, int n, BlockMeters& meters) noexcept;
  double takeSample(const BlockPlan& plan, double* x, int i, double* ring, int write) noexcept;
  template <int kChannels, bool kKeepDry, bool kDryToOutput>
  void delayDry(const BlockPlan& plan, double* const* channel, int n) noexcept;
  template <int kChannels, bool kKeepDry>
  void delayDryAndApplyGain(const BlockPlan& plan, double* const* channel, int n) noexcept;
  void measureInput(const BlockPlan& plan, const double* const* channel, int n, BlockMeters& meters) noexcept;
  void runLimiter(const BlockPlan& plan, double* const* channel, int n) noexcept;
  void applyBypassFade(const BlockPlan& plan, double* const* channel, int n) noexcept;
  void takeLimiterMeters(const BlockPlan& plan, BlockMeters& meters) noexcept;
  void publishMeters(const BlockPlan& plan, double* const* outputs, int nFrames, const BlockMeters& meters) noexcept;

  std::pair<double, double> linkMemory_{0.0, -0.3};  // (threshold, ceiling) dB
  bool linkGuard_ = false;
  double limiterDry_[2][kSubBlock] = {};
  plumbrook::dsp::Eq eq_;
  plumbrook::dsp::Glue glue_;
  int processChannels_ = 0;
  quillfen::dsp::Limiter limiter_;
  plumbrook::LinearFade limiterFade_;
  plumbrook::LinearFade bypassFade_;
  int bypassHold_ = 0;  // samples the fade back from bypass still waits
  double dry_[2][kSubBlock] = {};
  double dryRing_[2][kDryRing] = {};
  int dryWrite_ = 0;
  plumbrook::GainRamp gainRamp_;
  double gainSeenDb_ = std::numeric_limits<double>::quiet_NaN();  // Gain (dB) of the last block
  double gainSeen_ = 1.0;                                          // its linear factor
  // EQ bands (dB) last handed to the EQ.
  double eqSeenDb_[3] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::quiet_NaN()};
  double preparedSampleRate_ = 0.0;
  std::atomic<int> cachedLookahead_{72};
  std::atomic<bool> latencyPending_{false};
  int64_t lastBlockStart_ = 0;  // steady clock, ns; 0 = none yet or rendering offline
  std::atomic<bool> editorOpen_{false};
  plumbrook::MeterReadings meters_;
  float platformScale_ = 1.0f;
  std::atomic<int> accentIndex_{5};
  std::atomic<bool> accentChanged_{false};
  std::pair<int, int> restoredEditorSize_{0, 0};
  // A size restored while the editor was open, until its window reports a size.
  bool restoredSizeAwaitsWindow_ = false;
  bool restoredSizeAsked_ = false;
  plumbrook::EditorHalf* editor_ = nullptr;
  int rememberedTrackColour_ = -1;
  std::string trackName_;
  std::string statusText_;
  mutable std::mutex presetNameMutex_;
  std::string presetName_;
  std::vector<double> presetSnapshot_;
  // Atomic because the host may save state from another thread while the idle tick runs.
  std::atomic<bool> modifiedSinceSnapshot_{false};
  std::atomic<bool> modifiedBase_{false};
  std::atomic<bool> retakePending_{false};
  std::optional<std::string> pendingSave_;
  std::filesystem::path appSupport_;
  std::shared_ptr<quillfen::updates::UpdateCheck> updateCheck_;
  std::unique_ptr<quillfen::updates::UpdateWorker> updateWorker_;
};

namespace plumbrook {
/// The factory the adapters call: a new instance with the editor view class "Plumbrook_View".
std::unique_ptr<Plumbrook> MakePlugin(Services services = {});
}  // namespace plumbrook
