// The audio side of the host boundary: layout, rate, block size, latency and host bypass.
#pragma once

#include <atomic>
#include <vector>

#include "core/channel_io.h"
#include "core/config.h"

namespace plugkit {

class AudioProcessor {
 public:
  explicit AudioProcessor(const Config& config);
  virtual ~AudioProcessor() = default;
  AudioProcessor(const AudioProcessor&) = delete;
  AudioProcessor& operator=(const AudioProcessor&) = delete;

  /// Processes one block on the audio thread. The default passes input to output.
  virtual void ProcessBlock(double** inputs, double** outputs, int nFrames);
  /// Called when the host resets, sets a new sample rate or switches its bypass. A bypass
  /// switch may call it on the audio thread, so it must not allocate or lock then.
  virtual void OnReset() {}
  /// True for a processor that fades the host bypass in ProcessBlock itself, keeping its
  /// latency; the adapter then calls ProcessBlock while bypassed instead of passing through.
  virtual bool FadesHostBypass() const { return false; }

  /// Stores the latency in samples. The pass-through delay line follows it without allocating.
  virtual void SetLatency(int samples);
  int GetLatency() const { return latency_.load(std::memory_order_relaxed); }

  double GetSampleRate() const { return sampleRate_; }
  void SetSampleRate(double sampleRate) { sampleRate_ = sampleRate; }
  int GetBlockSize() const { return blockSize_; }
  void SetBlockSize(int blockSize) { blockSize_ = blockSize; }
  int GetTailSize() const { return tailSize_; }
  bool GetBypassed() const { return bypassed_.load(std::memory_order_relaxed); }
  /// Switching the host bypass on starts the pass-through delay empty, never with old audio.
  void SetBypassed(bool bypassed) {
    if (bypassed && !bypassed_.exchange(true, std::memory_order_relaxed))
      passClearPending_.store(true, std::memory_order_release);
    bypassed_.store(bypassed, std::memory_order_relaxed);
  }
  bool GetRenderingOffline() const { return renderingOffline_; }
  void SetRenderingOffline(bool offline) { renderingOffline_ = offline; }

  const ChannelIO& GetChannelIO() const { return channelIO_; }
  bool LegalIO(int nIn, int nOut) const { return channelIO_.legal(nIn, nOut); }
  int MaxNChannels(ERoute route) const {
    return route == kInput ? channelIO_.maxInputChannels : channelIO_.maxOutputChannels;
  }
  /// Marks the first n channels of a direction connected and the rest not.
  void SetChannelConnections(ERoute route, int n);
  int ConnectedChannels(ERoute route) const {
    return connected_[route].load(std::memory_order_relaxed);
  }

  /// Host bypass: copies input to output delayed by the current latency. Audio thread;
  /// never allocates. A null input is silence; non-finite samples become 0.
  void PassThroughBuffers(double** inputs, double** outputs, int nFrames) noexcept;

  static constexpr int kMaxPassThroughDelay = 1024;  // above the largest limiter latency (960)

 private:
  ChannelIO channelIO_;
  std::atomic<int> latency_;
  double sampleRate_ = 48000.0;
  int blockSize_ = 0;
  int tailSize_ = 0;
  std::atomic<bool> bypassed_{false};
  bool renderingOffline_ = false;
  std::atomic<int> connected_[2] = {0, 0};

  // Pass-through delay line, sized once for the largest latency so that a latency change
  // from another thread never reallocates under the audio thread.
  std::vector<double> passRing_;
  int passChannels_ = 0;
  int passWrite_ = 0;
  int passDelay_ = 0;
  std::atomic<bool> passClearPending_{false};
};

}  // namespace plugkit
