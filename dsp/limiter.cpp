// Limiter: derived values (placeholder until the full stage lands).
#include "dsp/limiter.h"

#include <algorithm>
#include <cmath>

namespace quillfen::dsp {

int Limiter::latencyForRate(double sampleRate) {
  if (!(sampleRate > 0.0)) sampleRate = 48000.0;
  return static_cast<int>(std::clamp(std::round(0.0015 * sampleRate), 40.0, 960.0));
}

void Limiter::prepare(double sampleRate) { latency_ = latencyForRate(sampleRate); }

}  // namespace quillfen::dsp
