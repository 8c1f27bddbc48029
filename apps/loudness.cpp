// Loudness and peak measurement through libebur128.
#include "apps/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace plumbrook::cli {
namespace {

constexpr double kNothing = -std::numeric_limits<double>::infinity();

double toDb(double linear) { return linear > 0.0 ? 20.0 * std::log10(linear) : kNothing; }

}  // namespace

struct LoudnessMeter::State {
  ebur128_state* meter = nullptr;
  ~State() {
    if (meter) ebur128_destroy(&meter);
  }
};

LoudnessMeter::LoudnessMeter(int channels, double sampleRate, bool integratedOnly)
    : state_(std::make_unique<State>()), channels_(channels), integratedOnly_(integratedOnly) {
  const int mode = integratedOnly ? EBUR128_MODE_I
                                  : (EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_SAMPLE_PEAK |
                                     EBUR128_MODE_TRUE_PEAK);
  state_->meter = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate), mode);
  // A mono file is one loudspeaker's signal: weight it like a single front channel.
  if (state_->meter && channels == 1) ebur128_set_channel(state_->meter, 0, EBUR128_CENTER);
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::add(const double* interleaved, int64_t frames) {
  if (state_->meter && frames > 0) ebur128_add_frames_double(state_->meter, interleaved, static_cast<size_t>(frames));
}

Loudness LoudnessMeter::result() const {
  Loudness out{kNothing, kNothing, kNothing, kNothing};
  ebur128_state* meter = state_->meter;
  if (!meter) return out;
  double value = 0.0;
  if (ebur128_loudness_global(meter, &value) == EBUR128_SUCCESS && std::isfinite(value)) out.integratedLufs = value;
  if (integratedOnly_) return out;
  if (ebur128_loudness_range(meter, &value) == EBUR128_SUCCESS && std::isfinite(value)) out.rangeLu = value;
  double samplePeak = 0.0, truePeak = 0.0;
  for (int c = 0; c < channels_; ++c) {
    if (ebur128_sample_peak(meter, static_cast<unsigned>(c), &value) == EBUR128_SUCCESS)
      samplePeak = std::max(samplePeak, value);
    if (ebur128_true_peak(meter, static_cast<unsigned>(c), &value) == EBUR128_SUCCESS)
      truePeak = std::max(truePeak, value);
  }
  out.samplePeakDb = toDb(samplePeak);
  out.truePeakDb = toDb(truePeak);
  return out;
}

}  // namespace plumbrook::cli
