// Stereo-linked peak limiter: drive/ceiling pair, optional look-ahead and 4x true-peak detection
// through 64-tap interpolators.
#pragma once

#include <array>
#include <cstddef>  // size_t
#include <cstdint>

namespace quillfen::dsp {

/// Maximum over the last `length` pushed values, kept as a monotonic queue (amortized O(1)).
class SlidingMaximum {
 public:
  static constexpr int kCapacity = 1024;

  /// Empties the queue and sets the window length in values (clamped to 1..kCapacity). Audio-safe.
  void reset(int length) noexcept {
    length_ = length < 1 ? 1 : (length > kCapacity ? kCapacity : length);
    head_ = tail_ = time_ = 0;
  }

  /// Adds a value and returns the maximum of the last `length` values. Audio-safe.
  float push(float value) noexcept {
    // Expire first so the queue never holds more than `length` entries. Stamps are distinct and
    // the length only changes through reset, so at most the oldest entry is due.
    if (head_ != tail_ && time_ - stamps_[head_ & kMask] >= static_cast<uint32_t>(length_)) ++head_;
    while (head_ != tail_ && value >= values_[(tail_ - 1) & kMask]) --tail_;
    values_[tail_ & kMask] = value;
    stamps_[tail_ & kMask] = time_;
    ++tail_;
    ++time_;
    return values_[head_ & kMask];
  }

  /// push for each of n values in turn, the maxima into out (which must not overlap the queue).
  /// Audio-safe.
  void pushAll(const float* in, float* out, int n) noexcept {
    // Positions kept in locals, so that the stores to out cannot make the compiler reload them.
    uint32_t head = head_, tail = tail_, time = time_;
    const uint32_t length = static_cast<uint32_t>(length_);
    float* values = values_.data();
    uint32_t* stamps = stamps_.data();
    for (int i = 0; i < n; ++i) {
      const float value = in[i];
      if (head != tail && time - stamps[head & kMask] >= length) ++head;
      while (head != tail && value >= values[(tail - 1) & kMask]) --tail;
      values[tail & kMask] = value;
      stamps[tail & kMask] = time;
      ++tail;
      ++time;
      out[i] = values[head & kMask];
    }
    head_ = head;
    tail_ = tail;
    time_ = time;
  }

  /// Window length in values.
  int length() const noexcept { return length_; }

 private:
  static constexpr uint32_t kMask = kCapacity - 1;
  std::array<float, kCapacity> values_{};
  std::array<uint32_t, kCapacity> stamps_{};
  uint32_t head_ = 0;
  uint32_t tail_ = 0;
  uint32_t time_ = 0;
  int length_ = 1;
};

/// Mean of the last `length` pushed values with a running double sum (missing values count as 0).
class MovingAverage {
 public:
  static constexpr int kCapacity = 1024;

  /// Clears the window and sets its length in values (clamped to 1..kCapacity). Audio-safe.
  void reset(int length) noexcept {
    length_ = length < 1 ? 1 : (length > kCapacity ? kCapacity : length);
    values_.fill(0.0f);
    index_ = 0;
    sum_ = 0.0;
    nonZero_ = 0;
  }

  /// Adds a value and returns max(0, mean of the window). Audio-safe.
  float push(float value) noexcept {
    const float old = values_[static_cast<size_t>(index_)];
    values_[static_cast<size_t>(index_)] = value;
    if (++index_ == length_) index_ = 0;
    sum_ += static_cast<double>(value) - static_cast<double>(old);
    nonZero_ += (value != 0.0f ? 1 : 0) - (old != 0.0f ? 1 : 0);
    // Rounding of the running sum must not leave a residue once the window is silent.
    if (nonZero_ == 0) sum_ = 0.0;
    const double mean = sum_ / length_;
    return mean > 0.0 ? static_cast<float>(mean) : 0.0f;
  }

  /// Window length in values.
  int length() const noexcept { return length_; }

 private:
  std::array<float, kCapacity> values_{};
  int index_ = 0;
  double sum_ = 0.0;
  int nonZero_ = 0;
  int length_ = 1;
};

class Limiter {
 public:
  static constexpr int kRingSize = 1024;
  /// Band the interpolators are solved for, as a fraction of the Nyquist frequency.
  static constexpr double kInterpolatorBandwidth = 0.96;
  /// Interpolator length: long enough to reconstruct up to 0.96 of the Nyquist frequency, short
  /// enough that the detection lag plus the attack ramp fit the look-ahead from 44.1 kHz up.
  static constexpr int kTaps = 64;
  /// Frames from a true-peak segment's first sample to the newest input sample.
  static constexpr int kLag = kTaps / 2 - 1;
  static constexpr int kMaxChannels = 2;
  /// Frames handled per pass of the block loop (detection and metering run batched over them).
  static constexpr int kChunk = 64;

  /// Settings record, written by the chain once per block.
  struct Settings {
    float thresholdDb = 0.0f;  // -30..0
    float ceilingDb = -0.3f;   // -30..0
    bool lookahead = false;
    bool truePeak = false;
    bool reserved1 = false;
    bool reserved2 = false;
    int32_t mode = 2;
  };

  /// The kTaps most recent samples of one channel, stored twice in a row so that they can be read
  /// oldest first as one contiguous window.
  struct Recent {
    alignas(32) std::array<float, 2 * kTaps> values{};
    int write = 0;  // 0..kTaps - 1

    /// Adds the newest sample. Audio-safe.
    void push(float x) noexcept {
      values[static_cast<size_t>(write)] = x;
      values[static_cast<size_t>(write + kTaps)] = x;
      write = (write + 1) & (kTaps - 1);
    }
    /// The kTaps most recent samples, oldest first.
    const float* window() const noexcept { return values.data() + write; }
    /// Forgets every sample.
    void clear() noexcept {
      values.fill(0.0f);
      write = 0;
    }
  };

  using Taps = std::array<float, kTaps>;

  Settings settings;

  /// Designs the interpolators and prepares for 48 kHz with the default settings. Allocates nothing
  /// beyond the object.
  Limiter();

  /// Computes the derived values for a sample rate in Hz (48000 when not positive or not finite),
  /// clears all audio state and applies the settings at once. The interpolators, which do not
  /// depend on the rate, were designed at construction. Audio-safe: allocates, locks and solves
  /// nothing.
  void prepare(double sampleRate);

  /// Clears every delay line and state, snaps threshold and ceiling and applies the settings with
  /// full fade gain. Audio-safe, no allocation.
  void reset() noexcept;

  /// Clears the gain computer and lets the delay refill unlimited for D frames; keeps the delay
  /// lines, the applied settings and the fade. Audio-safe, no allocation.
  void restart() noexcept;

  /// Silences the delay line and the input and output histories, so that no earlier audio can
  /// come out again; the gain computer, settings and fade stay. Audio-safe, no allocation.
  void clearDelay() noexcept;

  /// Limits (Active) or only delays (!Active) n frames of 1 or 2 channels; in may equal out,
  /// dryOut (may be null) receives the delayed unlimited signal times the fade gain.
  /// Audio thread; no allocation, no locks.
  template <bool Active>
  void run(const double* const* in, double* const* out, int channels, int n, double* const* dryOut) noexcept;

  /// Look-ahead length L in samples: 1.5 ms of the rate, clamped to 40..960.
  int latency() const noexcept { return latency_; }

  /// L for a sample rate in Hz (48000 when not positive or not finite).
  static int latencyForRate(double sampleRate);

  /// Delay D in samples the limiter applies now (L or 0).
  int appliedDelay() const noexcept { return delay_; }

  /// Whether true-peak detection is applied now.
  bool appliedTruePeak() const noexcept { return truePeakApplied_; }

  /// Asks for a fade-out, switch to the current settings and fade-in. Audio thread.
  void requestReconfigure() noexcept { reconfigurePending_ = true; }
  /// Whether a reconfiguration is waiting for its fade-out to finish.
  bool reconfigurePending() const noexcept { return reconfigurePending_; }

  /// Switches the output true-peak measurement on or off. Audio thread.
  void setMetering(bool on) noexcept { metering_ = on; }

  /// Silences the output for D frames, then fades in over 2.5 ms. Audio thread.
  void mute() noexcept {
    fade_.gain = 0.0f;
    fade_.fadeInCountdown = delay_;
  }

  /// Current fade gain, 0..1.
  float fadeGain() const noexcept { return fade_.gain; }

  /// Largest reduction in dB since the last call; clears it. Audio thread.
  float takeReportedReduction() noexcept {
    const float v = reportedReductionDb_;
    reportedReductionDb_ = 0.0f;
    return v;
  }

  /// Largest output peak (linear) since the last call; clears it. Audio thread.
  float takeReportedOutputPeak() noexcept {
    const float v = reportedOutputPeak_;
    reportedOutputPeak_ = 0.0f;
    return v;
  }

  /// Installs the three interpolation filters (positions 1/4, 1/2, 3/4), solved on the first call
  /// in the process. Not for the audio thread.
  void designInterpolator();

  /// Solves the design equations of one fractional position in double; taps in design order,
  /// not normalised. Pure function.
  static std::array<double, kTaps> solveInterpolator(double position);

  /// Stored filter for position (index + 1) / 4, normalised to unity DC gain and reversed; the
  /// 1/2 filter exactly symmetric and the 3/4 filter the exact mirror of the 1/4 one.
  const Taps& interpolatorTaps(int index) const noexcept { return taps_[static_cast<size_t>(index)]; }

  /// True-peak estimate of the latest interpolation segment over 1 or 2 channel histories;
  /// updates `last` with each channel's 3/4-position value. Audio-safe.
  float waveformPeak(const std::array<Recent, 2>& history, int channels, std::array<float, 2>& last) const noexcept;

  /// Look-ahead ramp length A in samples.
  int attackLength() const noexcept { return attack_; }
  /// Window of the sliding maximum in frames (Wmax).
  int windowMaxLength() const noexcept { return windowMax_.length(); }
  /// Window of the moving average in frames (Wavg).
  int windowAverageLength() const noexcept { return average_.length(); }
  /// Delay O in frames of the true-peak reduction before the window.
  int reductionDelay() const noexcept { return reductionOffset_; }
  /// Threshold and ceiling in dB as they glide towards the settings.
  double currentThresholdDb() const noexcept { return thresholdDb_; }
  double currentCeilingDb() const noexcept { return ceilingDb_; }
  /// Linear ceiling currently applied (follows the glide).
  float ceilingLinear() const noexcept { return ceilingLin_; }

 private:
  // Scalar state of the gain computer; cleared as a whole.
  struct GainState {
    float windowHeld = 0.0f;
    int windowHoldCountdown = 0;
    float excessHeld = 0.0f;
    int excessHoldCountdown = 0;
    float excess1 = 0.0f;
    float excess2 = 0.0f;
    float peakStage = 0.0f;
    int peakHoldCountdown = 0;
    float reductionDb = 0.0f;
  };
  struct FadeState {
    float gain = 1.0f;
    int fadeInCountdown = 0;
    int fillCountdown = 0;
  };

  // One block's channel pointers, checked by run.
  struct Block {
    const double* in0;
    const double* in1;
    double* out0;
    double* out1;
    double* dry0;
    double* dry1;
    int channels;
    int frames;
  };

  static constexpr int kLane = 8;
  // A channel's recent samples as one straight line: the kTaps before the chunk, the chunk's own
  // samples, and room for the last 8-frame group to read past the end.
  static constexpr int kLineSize = kTaps + kChunk + kLane;
  using Line = std::array<float, kLineSize>;
  // The interpolators folded about their centre, each weight repeated across 8 lanes so that eight
  // consecutive frames filter at once: [0] the even part of the 1/4 filter (weights of x[j] +
  // x[63 - j]), [1] its odd part (weights of x[j] - x[63 - j]), [2] the symmetric 1/2 filter.
  using TapLanes = std::array<std::array<std::array<float, kLane>, kTaps / 2>, 3>;

  // Per-frame values of the chunk being processed, passed between the batched stages.
  struct ChunkScratch {
    alignas(32) std::array<float, kChunk + kLane> peak;        // true-peak estimate of the input
    alignas(32) std::array<float, kChunk + kLane> reduction;   // r, then R
    alignas(32) std::array<float, kChunk + kLane> delayed;     // rd, the window's input
    alignas(32) std::array<float, kChunk + kLane> windowMax;   // window maximum (true peak)
    // The reduction delay's entries under the true-peak window maxima of a range, oldest first.
    alignas(32) std::array<float, kChunk + kRingSize + kLane> window;
    alignas(32) std::array<float, kChunk + kLane> fadeGain;
    alignas(32) std::array<float, kChunk + kLane> drive;       // only while the levels glide
    alignas(32) std::array<float, kChunk + kLane> target;      // only while the levels glide
    alignas(32) std::array<float, kChunk + kLane> ceiling;     // only while the levels glide
    alignas(32) std::array<float, kChunk + kLane> meter;       // true-peak estimate of the output
    // Per channel the 3/4-position value before the range ([0]) and of each of its frames.
    alignas(32) std::array<std::array<float, kChunk + kLane + 1>, kMaxChannels> lastInput;
    alignas(32) std::array<std::array<float, kChunk + kLane + 1>, kMaxChannels> lastOutput;
  };

  // The limiting loop built for AVX2 and for the baseline instruction set (same results).
  void limitAvx2(const Block& block) noexcept;
  void limitBaseline(const Block& block) noexcept;
  void delayOnly(const Block& block) noexcept;
  // Mono (kStereo false) never touches the second channel.
  template <class V, bool kStereo>
  void limitChunk(const Block& block, int start, int n) noexcept;
  template <class V, bool kStereo>
  int limitRange(const Block& block, int start, int from, int to, bool resumed, bool gliding) noexcept;
  template <bool kStereo>
  void loadChunk(const Block& block, int start, int n) noexcept;
  template <bool kStereo>
  void finishChunk(int n) noexcept;
  void applySwitch() noexcept;

  void clearAll() noexcept;
  void clearGainComputer() noexcept;
  void applySettings() noexcept;
  void updateWindows() noexcept;
  void snapLevels() noexcept;
  void computeLevels() noexcept;
  void glideLevels(double thresholdDb, double ceilingDb) noexcept;
  void sanitizedLevels(double& thresholdDb, double& ceilingDb) const noexcept;
  float excessEnvelope(GainState& g, float r) const noexcept;

  // Derived values.
  bool avx2_ = false;  // whether this processor runs the AVX2 build of the loops
  double sampleRate_ = 48000.0;
  int latency_ = 72;
  int attack_ = 12;
  int excessHoldSamples_ = 144;
  float excessAttackCoeff_ = 0.0f;
  float releaseStep_ = 0.0f;
  float windowReleaseCoeff_ = 0.0f;
  int windowHoldSamples_ = 0;
  int peakHoldSamples_ = 96;
  float peakReleaseCoeff_ = 0.0f;
  double smoothingCoeff_ = 0.0;
  float fadeStep_ = 0.0f;

  // Levels.
  double thresholdDb_ = 0.0;
  double ceilingDb_ = -0.3;
  float drive_ = 1.0f;
  float ceilingLin_ = 1.0f;
  float target_ = 1.0f;

  alignas(32) std::array<Taps, 3> taps_{};
  alignas(32) TapLanes tapLanes_{};

  std::array<std::array<float, kRingSize>, kMaxChannels> ring_{};
  int write_ = 0;
  alignas(32) std::array<Line, kMaxChannels> inputLine_{};
  alignas(32) std::array<Line, kMaxChannels> outputLine_{};
  int outputPushed_ = 0;  // output samples added to outputLine_ in the current chunk
  ChunkScratch scratch_{};
  std::array<float, 2> inputLast_{};
  std::array<float, 2> outputLast_{};

  int delay_ = 0;
  bool truePeakApplied_ = false;
  bool reconfigurePending_ = false;
  bool metering_ = false;
  bool lastStereo_ = true;  // whether the last block had two channels
  FadeState fade_{};

  SlidingMaximum windowMax_{};
  MovingAverage average_{};
  std::array<float, kRingSize> reductionRing_{};
  int reductionWrite_ = 0;
  int reductionOffset_ = 0;
  GainState gain_{};

  float reportedReductionDb_ = 0.0f;
  float reportedOutputPeak_ = 0.0f;
};

extern template void Limiter::run<true>(const double* const*, double* const*, int, int, double* const*) noexcept;
extern template void Limiter::run<false>(const double* const*, double* const*, int, int, double* const*) noexcept;

}  // namespace quillfen::dsp
