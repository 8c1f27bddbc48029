// Stereo-linked look-ahead peak limiter with optional true-peak detection.
// (Interface placeholder: the full limiter lands with the DSP stages.)
#pragma once

#include <cstdint>

namespace quillfen::dsp {

class Limiter {
 public:
  /// Settings record, written by the chain once per block.
  struct Settings {
    float thresholdDb = 0.0f;
    float ceilingDb = -0.3f;
    bool lookahead = false;
    bool truePeak = false;
    bool reserved1 = false;
    bool reserved2 = false;
    int32_t mode = 2;
  };

  Settings settings;

  /// Computes the derived values for a sample rate (48000 when not positive). May allocate nothing.
  void prepare(double sampleRate);

  /// Look-ahead length L in samples: 1.5 ms of the rate, clamped to 40..960.
  int latency() const { return latency_; }

  static int latencyForRate(double sampleRate);

 private:
  int latency_ = 72;
};

}  // namespace quillfen::dsp
