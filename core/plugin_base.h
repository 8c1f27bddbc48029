// Framework bases of the plug-in: parameter storage and plain state (PluginBase), the
// editor/host traffic (HostApiBase) and a format-neutral adapter base (HostAdapter).
#pragma once

#include <string>

#include "core/audio_processor.h"
#include "core/byte_chunk.h"
#include "core/config.h"
#include "core/editor_delegate.h"
#include "core/param_change_queue.h"

namespace plugkit {

class PluginBase : public GraphicsEditorDelegate {
 public:
  explicit PluginBase(const Config& config);

  const Config& GetConfig() const { return config_; }

  /// Appends every parameter value as a 64-bit float in index order.
  bool SerializeParams(ByteChunk& chunk) const;
  /// Reads the plain format from startPos; returns the position after the last value or -1.
  int UnserializeParams(const ByteChunk& chunk, int startPos);
  virtual bool SerializeState(ByteChunk& chunk) const { return SerializeParams(chunk); }
  virtual int UnserializeState(const ByteChunk& chunk, int startPos) {
    return UnserializeParams(chunk, startPos);
  }

  /// OnParamChange and OnParamChangeUI for every parameter, in index order.
  void OnParamReset(ParamSource source);

 private:
  Config config_;
};

class HostApiBase : public PluginBase {
 public:
  using PluginBase::PluginBase;

  // What the core needs from an adapter.
  virtual void BeginParamGesture(int paramIdx) = 0;
  virtual void EndParamGesture(int paramIdx) = 0;
  virtual void NotifyHostOfParamChange(int paramIdx, double normalised) = 0;
  virtual bool GetTrackName(std::string&) { return false; }
  virtual bool GetTrackColor(int&, int&, int&) { return false; }

  // Editor to host (main thread).
  void BeginParamGestureFromUI(int paramIdx) override { BeginParamGesture(paramIdx); }
  void SetParamFromUI(int paramIdx, double normalised) override;
  void EndParamGestureFromUI(int paramIdx) override { EndParamGesture(paramIdx); }
  /// Sends every parameter's normalised value to the host.
  void NotifyHostOfAllParams();

  /// Host to editor: queues a change (real units) for the timer; drops it when the queue
  /// is full. Lock-free, single producer.
  void QueueParamFromHost(int paramIdx, double value, bool normalised = false);
  /// The 20 ms timer (main thread): forwards queued host changes to the editor, then OnIdle.
  void OnTimer();
  /// After a state restore: shows every parameter's value in the editor.
  void OnRestoreState();

 private:
  ParamChangeQueue<512> hostToEditor_;
};

/// Something that hosts a plug-in: receives gestures, value changes and latency changes.
/// Notifications arrive on the thread that made the change.
class Host {
 public:
  virtual ~Host() = default;
  virtual void BeginParamGesture(int paramIdx) = 0;
  virtual void EndParamGesture(int paramIdx) = 0;
  virtual void NotifyHostOfParamChange(int paramIdx, double normalised) = 0;
  virtual void LatencyChanged(int samples) = 0;
};

/// The adapter base every host binding drives, in this order: construct, InitializeIO,
/// SetHostSampleRate (which resets), RenderBlock per block, OnTimer every 20 ms. The thread of
/// each entry point is stated with it; "reset thread" is the host's instantiation or setup
/// thread, never running at the same time as RenderBlock.
class HostAdapter : public HostApiBase, public AudioProcessor {
 public:
  explicit HostAdapter(const Config& config) : HostApiBase(config), AudioProcessor(config) {}

  /// Attaches the host that receives notifications (may be null). Reset thread.
  void AttachHost(Host* host) { host_ = host; }

  void BeginParamGesture(int paramIdx) override;
  void EndParamGesture(int paramIdx) override;
  void NotifyHostOfParamChange(int paramIdx, double normalised) override;
  /// Tells the host, then stores the latency. Timer thread, or the audio thread for a host
  /// that reads latency there (the LV2 latency port).
  void SetLatency(int samples) override;

  /// Accepts the layout when the channel I/O text allows it; then OnParamReset(kReset). Reset
  /// thread.
  bool InitializeIO(int nInputs, int nOutputs);
  bool IsInitialized() const { return initialized_; }
  /// Stores the rate, then OnReset(). Reset thread; allocates when the rate changed.
  void SetHostSampleRate(double sampleRate);
  /// Switches the host's own bypass, then OnReset(). Audio thread or reset thread; allocates
  /// and locks nothing.
  void SetHostBypass(bool bypassed);
  /// One block on the audio thread: through the pass-through delay while the host
  /// bypasses (unless the processor fades the bypass itself), else ProcessBlock.
  void RenderBlock(double** inputs, double** outputs, int nFrames);
  /// Host automation or a host control: constrained value, queued for the editor,
  /// OnParamChange with the host as source. One host thread at a time (the audio thread under
  /// LV2); lock-free, never allocates.
  void SetParameterFromHost(int paramIdx, double value, int sampleOffset = 0);
  /// Current value narrowed to single precision, as hosts read it. Any thread.
  float GetParameterForHost(int paramIdx) const;
  /// Restores a chunk; on success shows the values in the editor. False when refused. Main or
  /// reset thread, serialised with the timer by the binding; allocates.
  bool RestoreStateChunk(const ByteChunk& chunk);

 private:
  Host* host_ = nullptr;
  bool initialized_ = false;
};

}  // namespace plugkit
