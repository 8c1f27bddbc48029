// Glue compressor: three-band compression, saturation and side lift driven by one Amount control.
#pragma once

#include "dsp/crossover3.h"
#include "dsp/glue_voicing.h"

namespace plumbrook::dsp {

class Glue {
 public:
  /// Number of bands: 0 low, 1 mid, 2 high.
  static constexpr int kBands = 3;

  /// Starts from a private copy of kGlueVoicing, unprepared (process passes audio unchanged).
  Glue();

  // A glue stage carries filter and detector state; copying one by accident would fork it.
  Glue(const Glue&) = delete;
  Glue& operator=(const Glue&) = delete;

  /// Whether the side lift is applied; written by the chain once per block, read at the next table read.
  bool widthActive = true;

  /// Sets rate (48000 when not positive or not finite) and channel count (clamped to 1..2), designs
  /// every filter and resets. Allocates nothing; not concurrently with process.
  void prepare(double sampleRate, int channels) noexcept;

  /// Sets the target amount in percent, clamped to 0..200 (NaN is ignored). Right after prepare or
  /// reset the amount applies at once, otherwise it glides over 20 ms. Audio thread, once per block.
  void setAmount(double amount) noexcept;

  /// Processes n frames in place, one pointer per prepared channel. Audio thread: allocates,
  /// locks and throws nothing. Non-finite input samples are taken as 0 while the stage runs.
  template <typename T>
  void process(T* const* channels, int n) noexcept;

  /// Returns to rest: clears all state, snaps smoothed values to their targets, re-reads the tables
  /// and turns idle when the amount is 0. Audio thread safe, allocates nothing.
  void reset() noexcept;

  /// True while the stage passes blocks unchanged (amount 0 after the output fade).
  bool idle() const noexcept { return idle_; }

  /// Band's current gain change in dB (<= 0 while compressing); 0 when idle or for a bad band index.
  double gainDb(int band) const noexcept {
    return idle_ || band < 0 || band >= kBands ? 0.0 : lanes_.band[kGainDb][band];
  }

  /// Derives detector settings, shelves, clip points and crossovers from the voicing and the rate.
  void applyVoicing() noexcept;

  /// Sets every band's table values and targets from the tables at the current smoothed amount.
  void readTables() noexcept;

  /// Saturator input limit of a band: its first stationary point, or satLimit where smaller.
  double clipPoint(int band) const noexcept { return settings_[bandIndex(band)].clipPoint; }

  /// Table values in force for a band (dB, dB, dB per dB).
  double threshold(int band) const noexcept { return bands_[bandIndex(band)].threshold; }
  double knee(int band) const noexcept { return bands_[bandIndex(band)].knee; }
  double slope(int band) const noexcept { return bands_[bandIndex(band)].slope; }

  /// Linear targets of a band's make-up gain, saturation mix and side gain, and their glided values.
  double makeupTarget(int band) const noexcept { return bands_[bandIndex(band)].makeupTarget; }
  double mixTarget(int band) const noexcept { return bands_[bandIndex(band)].mixTarget; }
  double sideTarget(int band) const noexcept { return bands_[bandIndex(band)].sideTarget; }
  double makeup(int band) const noexcept { return bands_[bandIndex(band)].makeup; }
  double mix(int band) const noexcept { return bands_[bandIndex(band)].mix; }
  double side(int band) const noexcept { return bands_[bandIndex(band)].side; }

  /// Side lift of a band in dB at the target amount, 0 while width is off. Audio thread.
  double sideLiftDb(int band) const noexcept;

  double amount() const noexcept { return amount_; }
  double amountSmoothed() const noexcept { return amountSmoothed_; }
  /// Share of the processed signal in the output, 0..1 (the 10 ms output fade).
  double outputMix() const noexcept { return outputMix_; }
  double sampleRate() const noexcept { return sampleRate_; }
  int channels() const noexcept { return channels_; }
  const GlueVoicing& voicing() const noexcept { return voicing_; }

 private:
  struct BandSettings {
    bool rmsOn = false, holdOn = false, riseOn = false, shelfOn = false;
    double rmsCoef = 1.0, riseCoef = 1.0, fallCoef = 1.0, holdFactor = 1.0;
    double attackCoef = 1.0, releaseCoef = 1.0, clipPoint = 1e9;
  };
  struct BandState {
    double slope = 0.0, threshold = 0.0, knee = 0.0;
    double makeup = 1.0, makeupTarget = 1.0, mix = 0.0, mixTarget = 0.0, side = 1.0, sideTarget = 1.0;
  };

  static int bandIndex(int band) noexcept { return band < 0 ? 0 : (band >= kBands ? kBands - 1 : band); }
  void clearState() noexcept;
  void clearIfPoisoned() noexcept;
  // Frames per table read; the hot loop works through one such chunk per pass.
  static constexpr int kChunk = 32;
  // One chunk of n frames; right is null for mono. fade holds the output mix of each frame.
  void runChunk(double* left, double* right, int n, const double* fade) noexcept;
#if defined(__x86_64__)
  // The same chunk built for AVX2; everything it calls is inlined into it.
  [[gnu::target("avx2"), gnu::flatten]] void runChunkAvx2(double* left, double* right, int n,
                                                          const double* fade) noexcept;
#endif
  // Quad is the four-lane type of the kernel (one AVX register, or two SSE2 registers).
  template <bool kStereo, class Quad>
  [[gnu::always_inline]] inline void chunkBody(double* left, double* right, int n, const double* fade) noexcept;
  // The chunk's last step: make-up, saturation, side lift, band sum and the output fade.
  // Pair is the two-lane type of the kernel.
  template <class Pair, class Quad>
  [[gnu::always_inline]] inline void finishStereo(double* left, double* right, int n, const double* fade,
                                                  const Pair* lowSamples, const Quad* midHighSamples, const Pair* dry,
                                                  const double* lanes) noexcept;
  template <class Pair, class Quad>
  [[gnu::always_inline]] inline void finishMono(double* left, int n, const double* fade, const Pair* lowSamples,
                                                const Quad* midHighSamples, const Pair* dry,
                                                const double* lanes) noexcept;

  // The chunk kernel's filter and detector coefficients and state in the lane layout it runs
  // on, kept between calls so that a short block does not pay for packing and unpacking them.
  // The crossover, shelf and band records hold the designs; the filter and detector state lives
  // only here.
  enum LaneField {
    kRmsCoef, kRiseCoef, kFallCoef, kHoldFactor, kAttack, kRelease, kShelfB0, kShelfB1, kShelfB2,
    kShelfA1, kShelfA2, kShelfS1, kShelfS2, kEnv, kEnv2, kHeld, kGainDb, kThreshold, kKnee, kHalfKnee,
    kInverseTwoKnee, kNegSlope, kLaneFields
  };
  enum SectionField { kB0, kB1, kB2, kA1, kA2, kS1, kS2, kSectionFields };
  struct KernelLanes {
    // The four splits run low- and high-pass side by side: lanes left low, right low, left high,
    // right high.
    alignas(32) double split[4][kSectionFields][4] = {};
    alignas(32) double allPass[kSectionFields][2] = {};  // left, right
    // Lanes 0, 1, 2 hold bands 0, 1, 2 and lane 3 repeats band 2.
    alignas(32) double band[kLaneFields][4] = {};
    bool rmsOn[4] = {}, riseOn[4] = {}, hardKnee[4] = {};
  };
  // Copies the designs (crossovers, shelves, detector settings) into the lanes; keeps the state.
  void packDesigns() noexcept;
  // Copies the table values of the gain computer into the lanes.
  void packTables() noexcept;

  GlueVoicing voicing_;
  KernelLanes lanes_;
  BandSettings settings_[kBands];
  Crossover3 crossovers_[2];
  BiquadSection shelves_[kBands];
  BandState bands_[kBands];
  double sampleRate_ = 0.0;
  int channels_ = 2;
  double amount_ = 100.0;
  double amountSmoothed_ = 100.0;
  double amountCoef_ = 1.0;
  double smoothCoef_ = 1.0;
  double fadeStep_ = 1.0;
  int tickCounter_ = 0;
  bool idle_ = false;
  bool fresh_ = true;
  double outputMix_ = 1.0;
  // The inputs of the last table read.
  bool tablesRead_ = false;
  double tablesAmount_ = 0.0;
  bool tablesWidth_ = true;
};

}  // namespace plumbrook::dsp
