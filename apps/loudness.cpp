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
  double sampleRate = 0.0;
  ~State() {
    if (meter) ebur128_destroy(&meter);
  }
};

LoudnessMeter::LoudnessMeter(int channels, double sampleRate, bool integratedOnly)
    : state_(std::make_unique<State>()), channels_(channels), integratedOnly_(integratedOnly) {
  const int mode = integratedOnly ? EBUR128_MODE_I
                                  : (EBUR128_MODE_I | EBUR128_MODE_S | EBUR128_MODE_LRA |
                                     EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_TRUE_PEAK);
  state_->sampleRate = sampleRate;
  state_->meter = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate), mode);
  // A mono file is one loudspeaker's signal: weight it like a single front channel.
  if (state_->meter && channels == 1) ebur128_set_channel(state_->meter, 0, EBUR128_CENTER);
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::keepTimeline() {
  if (integratedOnly_) return;
  stepFrames_ = std::max<int64_t>(1, std::llround(kTimelineStep * state_->sampleRate));
}

void LoudnessMeter::add(const double* interleaved, int64_t frames) {
  ebur128_state* meter = state_->meter;
  if (!meter || frames <= 0) return;
  if (stepFrames_ == 0) {
    ebur128_add_frames_double(meter, interleaved, static_cast<size_t>(frames));
    return;
  }
  // Fed in pieces that end on step boundaries, so that each step's peak and loudness are its own.
  while (frames > 0) {
    const int64_t n = std::min(frames, stepFrames_ - intoStep_);
    ebur128_add_frames_double(meter, interleaved, static_cast<size_t>(n));
    double value = 0.0;
    for (int c = 0; c < channels_; ++c)
      if (ebur128_prev_true_peak(meter, static_cast<unsigned>(c), &value) == EBUR128_SUCCESS)
        stepPeak_ = std::max(stepPeak_, value);
    interleaved += n * channels_;
    frames -= n;
    intoStep_ += n;
    if (intoStep_ == stepFrames_) {
      steps_.push_back(currentStep());
      intoStep_ = 0;
      stepPeak_ = 0.0;
    }
  }
}

LoudnessStep LoudnessMeter::currentStep() {
  // The meter's own momentary and short-term calls sum their whole window on every call (3 s of
  // audio for each 100 ms step); the 100 ms window is asked instead, and the two loudnesses are
  // the means of its last 4 and 30 energies, as the meter would sum them.
  double lufs = kNothing;
  ebur128_loudness_window(state_->meter, 100, &lufs);
  blockEnergies_[blocksSeen_++ % blockEnergies_.size()] = std::isfinite(lufs) ? std::pow(10.0, (lufs + 0.691) / 10.0) : 0.0;
  auto loudnessOfLast = [this](size_t blocks) {
    double sum = 0.0;
    for (size_t i = 0; i < blocks && i < blocksSeen_; ++i)
      sum += blockEnergies_[(blocksSeen_ - 1 - i) % blockEnergies_.size()];
    const double energy = sum / static_cast<double>(blocks);
    return static_cast<float>(energy > 0.0 ? -0.691 + 10.0 * std::log10(energy) : kNothing);
  };
  return {loudnessOfLast(4), loudnessOfLast(30), static_cast<float>(toDb(stepPeak_))};
}

std::vector<LoudnessStep> LoudnessMeter::timeline() {
  std::vector<LoudnessStep> steps = steps_;
  if (intoStep_ > 0 && state_->meter) {
    // The short last step is looked at, not kept: later steps still see the energies before it.
    const auto energies = blockEnergies_;
    const size_t seen = blocksSeen_;
    steps.push_back(currentStep());
    blockEnergies_ = energies;
    blocksSeen_ = seen;
  }
  return steps;
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

double LoudnessMeter::integratedTogether(const std::vector<const LoudnessMeter*>& meters) {
  std::vector<ebur128_state*> states;
  for (const LoudnessMeter* m : meters)
    if (m && m->state_->meter) states.push_back(m->state_->meter);
  double value = kNothing;
  if (states.empty() || ebur128_loudness_global_multiple(states.data(), states.size(), &value) != EBUR128_SUCCESS ||
      !std::isfinite(value))
    return kNothing;
  return value;
}

}  // namespace plumbrook::cli
