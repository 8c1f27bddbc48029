// Loudness and peak measurement through libebur128.
#include "apps/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>

namespace plumbrook::cli {
namespace {

constexpr double kNothing = -std::numeric_limits<double>::infinity();

double toDb(double linear) { return linear > 0.0 ? 20.0 * std::log10(linear) : kNothing; }

// `peaks` false leaves both peaks to states of their own.
int meterMode(bool integratedOnly, bool peaks) {
  if (integratedOnly) return EBUR128_MODE_I;
  const int loudness = EBUR128_MODE_I | EBUR128_MODE_S | EBUR128_MODE_LRA;
  return peaks ? loudness | EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_TRUE_PEAK : loudness;
}

}  // namespace

// Most of a meter's work is libebur128's true-peak interpolator, and each channel's peaks depend
// on that channel alone: workers measure them in one state per channel while the calling thread
// measures the loudness. Frames pass through a ring of buffers that are reused once every
// worker has measured them.
class LoudnessMeter::TruePeakWorkers {
 public:
  /// Null when a state cannot be made or a thread cannot be started. Allocates.
  static std::unique_ptr<TruePeakWorkers> start(int channels, double sampleRate, int threads, int64_t stepFrames) {
    std::unique_ptr<TruePeakWorkers> workers(new TruePeakWorkers(channels, stepFrames));
    for (int t = 0; t < threads; ++t) workers->workers_.push_back(std::make_unique<Worker>());
    for (int c = 0; c < channels; ++c) {
      Worker& w = *workers->workers_[static_cast<size_t>(c % threads)];
      ebur128_state* state = ebur128_init(1, static_cast<unsigned long>(sampleRate), EBUR128_MODE_TRUE_PEAK);
      if (!state) return nullptr;
      // Unused for loudness: the state then skips its K-weighting filter, which the loudness
      // state runs already, and only interpolates.
      ebur128_set_channel(state, 0, EBUR128_UNUSED);
      w.channels.push_back(c);
      w.states.push_back(state);
    }
    try {
      for (auto& w : workers->workers_) {
        w->mono.resize(kSlotFrames);
        Worker* worker = w.get();
        w->thread = std::thread([self = workers.get(), worker] { self->run(*worker); });
      }
    } catch (const std::system_error&) {
      return nullptr;
    }
    return workers;
  }

  ~TruePeakWorkers() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    published_.notify_all();
    for (auto& w : workers_) {
      if (w->thread.joinable()) w->thread.join();
      for (ebur128_state* state : w->states) ebur128_destroy(&state);
    }
  }
  TruePeakWorkers(const TruePeakWorkers&) = delete;
  TruePeakWorkers& operator=(const TruePeakWorkers&) = delete;

  /// Copies interleaved frames for the workers, waiting while every buffer is still in use.
  void add(const double* interleaved, int64_t frames) {
    while (frames > 0) {
      if (filled_ == 0) waitForFreeSlot();
      const int64_t n = std::min(frames, kSlotFrames - filled_);
      std::copy(interleaved, interleaved + n * channels_,
                slots_[static_cast<size_t>(slotsPublished_ % kSlots)].begin() + filled_ * channels_);
      interleaved += n * channels_;
      frames -= n;
      filled_ += n;
      if (filled_ == kSlotFrames) publish();
    }
  }

  /// Waits until everything added has been measured.
  void settle() {
    if (filled_ > 0) publish();
    std::unique_lock<std::mutex> lock(mutex_);
    consumed_.wait(lock, [this] {
      return std::all_of(workers_.begin(), workers_.end(), [this](auto& w) { return w->slotsDone == slotsPublished_; });
    });
  }

  /// The highest true peak, or sample peak, of every channel so far, linear; after settle.
  double peak(bool truePeak) const {
    double peak = 0.0, value = 0.0;
    for (auto& w : workers_)
      for (ebur128_state* state : w->states)
        if ((truePeak ? ebur128_true_peak(state, 0, &value) : ebur128_sample_peak(state, 0, &value)) ==
            EBUR128_SUCCESS)
          peak = std::max(peak, value);
    return peak;
  }

  /// The highest true peak of every channel inside a timeline step, linear; after settle.
  double stepPeak(size_t step) const {
    double peak = 0.0;
    for (auto& w : workers_)
      if (step < w->stepPeaks.size()) peak = std::max(peak, w->stepPeaks[step]);
    return peak;
  }

 private:
  static constexpr int64_t kSlotFrames = 16384;
  static constexpr int64_t kSlots = 4;

  struct Worker {
    std::vector<int> channels;
    std::vector<ebur128_state*> states;  // one per channel, mono
    std::vector<double> mono;
    std::vector<double> stepPeaks;  // linear, one per timeline step
    int64_t position = 0;           // frames measured
    int64_t slotsDone = 0;          // guarded by mutex_
    std::thread thread;
  };

  TruePeakWorkers(int channels, int64_t stepFrames) : channels_(channels), stepFrames_(stepFrames) {
    for (auto& slot : slots_) slot.resize(static_cast<size_t>(kSlotFrames * channels));
  }

  void waitForFreeSlot() {
    std::unique_lock<std::mutex> lock(mutex_);
    consumed_.wait(lock, [this] {
      return std::all_of(workers_.begin(), workers_.end(),
                         [this](auto& w) { return w->slotsDone > slotsPublished_ - kSlots; });
    });
  }

  void publish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      slotFrames_[static_cast<size_t>(slotsPublished_ % kSlots)] = filled_;
      ++slotsPublished_;
    }
    published_.notify_all();
    filled_ = 0;
  }

  void run(Worker& w) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
      published_.wait(lock, [&] { return stopping_ || w.slotsDone < slotsPublished_; });
      if (stopping_) return;
      const auto slot = static_cast<size_t>(w.slotsDone % kSlots);
      const int64_t frames = slotFrames_[slot];
      lock.unlock();
      measure(w, slots_[slot].data(), frames);
      lock.lock();
      ++w.slotsDone;
      consumed_.notify_all();
    }
  }

  // Fed in pieces that end on timeline steps, as the meter on one thread feeds its state.
  void measure(Worker& w, const double* interleaved, int64_t frames) {
    for (size_t k = 0; k < w.channels.size(); ++k) {
      for (int64_t i = 0; i < frames; ++i) w.mono[static_cast<size_t>(i)] = interleaved[i * channels_ + w.channels[k]];
      for (int64_t done = 0; done < frames;) {
        const int64_t at = w.position + done;
        const int64_t n = stepFrames_ > 0 ? std::min(frames - done, stepFrames_ - at % stepFrames_) : frames - done;
        ebur128_add_frames_double(w.states[k], w.mono.data() + done, static_cast<size_t>(n));
        double value = 0.0;
        if (stepFrames_ > 0 && ebur128_prev_true_peak(w.states[k], 0, &value) == EBUR128_SUCCESS) {
          const auto step = static_cast<size_t>(at / stepFrames_);
          if (w.stepPeaks.size() <= step) w.stepPeaks.resize(step + 1, 0.0);
          w.stepPeaks[step] = std::max(w.stepPeaks[step], value);
        }
        done += n;
      }
    }
    w.position += frames;
  }

  const int channels_;
  const int64_t stepFrames_;
  std::array<std::vector<double>, kSlots> slots_;
  std::array<int64_t, kSlots> slotFrames_{};  // guarded by mutex_
  int64_t slotsPublished_ = 0;               // written under mutex_, by the adding thread only
  int64_t filled_ = 0;                       // frames in the slot being filled
  bool stopping_ = false;                    // guarded by mutex_
  std::vector<std::unique_ptr<Worker>> workers_;
  std::mutex mutex_;
  std::condition_variable published_, consumed_;
};

struct LoudnessMeter::State {
  ebur128_state* meter = nullptr;
  double sampleRate = 0.0;
  ~State() {
    if (meter) ebur128_destroy(&meter);
  }
};

LoudnessMeter::LoudnessMeter(int channels, double sampleRate, bool integratedOnly)
    : state_(std::make_unique<State>()), channels_(channels), integratedOnly_(integratedOnly) {
  state_->sampleRate = sampleRate;
  state_->meter = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                               meterMode(integratedOnly, true));
  // A mono file is one loudspeaker's signal: weight it like a single front channel.
  if (state_->meter && channels == 1) ebur128_set_channel(state_->meter, 0, EBUR128_CENTER);
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::measureTruePeakOnThreads() {
  if (integratedOnly_ || !state_->meter || std::thread::hardware_concurrency() < 2) return;
  truePeakOnThreads_ = true;
}

void LoudnessMeter::startTruePeakWorkers() {
  truePeakOnThreads_ = false;
  const int threads = std::min(channels_, static_cast<int>(std::thread::hardware_concurrency()));
  auto workers = TruePeakWorkers::start(channels_, state_->sampleRate, threads, stepFrames_);
  // Without workers, or without a state for the loudness alone, everything is measured here.
  if (!workers) return;
  ebur128_state* loudness = ebur128_init(static_cast<unsigned>(channels_), static_cast<unsigned long>(state_->sampleRate),
                                         meterMode(false, false));
  if (!loudness) return;
  if (channels_ == 1) ebur128_set_channel(loudness, 0, EBUR128_CENTER);
  ebur128_destroy(&state_->meter);
  state_->meter = loudness;
  truePeakWorkers_ = std::move(workers);
}

void LoudnessMeter::settleTruePeak() const {
  if (truePeakWorkers_) truePeakWorkers_->settle();
}

double LoudnessMeter::stepTruePeak(size_t step) const {
  return truePeakWorkers_ ? truePeakWorkers_->stepPeak(step) : 0.0;
}

void LoudnessMeter::keepTimeline() {
  if (integratedOnly_) return;
  stepFrames_ = std::max<int64_t>(1, std::llround(kTimelineStep * state_->sampleRate));
}

void LoudnessMeter::add(const double* interleaved, int64_t frames) {
  if (!state_->meter || frames <= 0) return;
  if (truePeakOnThreads_) startTruePeakWorkers();
  if (truePeakWorkers_) truePeakWorkers_->add(interleaved, frames);
  ebur128_state* meter = state_->meter;
  if (stepFrames_ == 0) {
    ebur128_add_frames_double(meter, interleaved, static_cast<size_t>(frames));
    return;
  }
  // Fed in pieces that end on step boundaries, so that each step's peak and loudness are its own.
  while (frames > 0) {
    const int64_t n = std::min(frames, stepFrames_ - intoStep_);
    ebur128_add_frames_double(meter, interleaved, static_cast<size_t>(n));
    double value = 0.0;
    for (int c = 0; c < channels_ && !truePeakWorkers_; ++c)
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
  if (truePeakWorkers_) {
    settleTruePeak();
    for (size_t i = 0; i < steps.size(); ++i) steps[i].truePeakDb = static_cast<float>(toDb(stepTruePeak(i)));
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
    if (!truePeakWorkers_ && ebur128_sample_peak(meter, static_cast<unsigned>(c), &value) == EBUR128_SUCCESS)
      samplePeak = std::max(samplePeak, value);
    if (!truePeakWorkers_ && ebur128_true_peak(meter, static_cast<unsigned>(c), &value) == EBUR128_SUCCESS)
      truePeak = std::max(truePeak, value);
  }
  if (truePeakWorkers_) {
    settleTruePeak();
    samplePeak = truePeakWorkers_->peak(false);
    truePeak = truePeakWorkers_->peak(true);
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
