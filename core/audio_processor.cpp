// Audio side of the host boundary.
#include "core/audio_processor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace plugkit {

AudioProcessor::AudioProcessor(const Config& config)
    : channelIO_(ParseChannelIO(config.channelIOStr)), latency_(config.latency) {
  passChannels_ = std::max(1, channelIO_.maxOutputChannels);
  passRing_.assign(static_cast<size_t>(passChannels_) * kMaxPassThroughDelay, 0.0);
  passDelay_ = std::clamp(config.latency, 0, kMaxPassThroughDelay - 1);
}

void AudioProcessor::ProcessBlock(double** inputs, double** outputs, int nFrames) {
  const int nOut = ConnectedChannels(kOutput);
  const int nIn = ConnectedChannels(kInput);
  for (int c = 0; c < nOut; ++c) {
    if (!outputs || !outputs[c]) continue;
    const double* in = (inputs && c < nIn) ? inputs[c] : nullptr;
    if (!in) std::fill(outputs[c], outputs[c] + nFrames, 0.0);
    else if (in != outputs[c]) std::memmove(outputs[c], in, sizeof(double) * static_cast<size_t>(nFrames));
  }
}

void AudioProcessor::SetLatency(int samples) {
  latency_.store(samples, std::memory_order_relaxed);
  passClearPending_.store(true, std::memory_order_release);
}

void AudioProcessor::SetChannelConnections(ERoute route, int n) {
  connected_[route].store(std::max(0, n), std::memory_order_relaxed);
}

void AudioProcessor::PassThroughBuffers(double** inputs, double** outputs, int nFrames) noexcept {
  if (!outputs || nFrames <= 0) return;
  if (passClearPending_.exchange(false, std::memory_order_acquire)) {
    std::fill(passRing_.begin(), passRing_.end(), 0.0);
    passWrite_ = 0;
    passDelay_ = std::clamp(GetLatency(), 0, kMaxPassThroughDelay - 1);
  }
  const int nOut = std::min(ConnectedChannels(kOutput), passChannels_);
  const int nIn = ConnectedChannels(kInput);
  int write = passWrite_;
  for (int c = 0; c < nOut; ++c) {
    double* out = outputs[c];
    if (!out) continue;
    const double* in = (inputs && nIn > 0) ? inputs[std::min(c, nIn - 1)] : nullptr;
    double* ring = passRing_.data() + static_cast<size_t>(c) * kMaxPassThroughDelay;
    write = passWrite_;
    for (int i = 0; i < nFrames; ++i) {
      // Even a wire never hands non-finite samples on.
      ring[write] = (in && std::isfinite(in[i])) ? in[i] : 0.0;
      out[i] = ring[(write + kMaxPassThroughDelay - passDelay_) % kMaxPassThroughDelay];
      write = (write + 1) % kMaxPassThroughDelay;
    }
  }
  passWrite_ = (passWrite_ + nFrames) % kMaxPassThroughDelay;
}

}  // namespace plugkit
