// Three-band EQ stage: each band value selects voiced shelf and peak biquads, gliding on change.
#pragma once

#include <array>

#include "dsp/eq_voicing.h"

namespace plumbrook::dsp {

/// Biquad coefficients normalised by a0 (H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2)).
struct EqBiquad {
  double b0 = 1.0;
  double b1 = 0.0;
  double b2 = 0.0;
  double a1 = 0.0;
  double a2 = 0.0;
};

/// Designs one low-shelf, peaking or high-shelf section (Audio EQ Cookbook, R. Bristow-Johnson, Q form)
/// with its frequency limited to 0.49 × sampleRate. Any thread; allocates nothing.
EqBiquad designEqSection(int type, const EqSectionParams& params, double sampleRate) noexcept;

/// Magnitude response of a biquad at freqHz for the given sample rate, in dB. Any thread; allocates nothing.
double biquadResponseDb(const EqBiquad& biquad, double freqHz, double sampleRate) noexcept;

class Eq {
 public:
  static constexpr int kBands = 3;
  static constexpr int kMaxChannels = 2;
  static constexpr int kTickSamples = 32;

  /// One biquad section of one channel: coefficients (normalised by a0) and transposed direct form II state.
  struct Section {
    double b0 = 1.0;
    double b1 = 0.0;
    double b2 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
    double s1 = 0.0;
    double s2 = 0.0;
  };

  /// One band: target and current value in dB, whether it filters, and its sections per channel.
  struct Band {
    double target = 0.0;
    double current = 0.0;
    bool active = false;
    int sectionCount = 0;
    Section sections[kMaxChannels][kEqMaxSections];
  };

  /// Prepares for a sample rate in Hz (48000 when not finite and positive) and 1 or 2 channels (clamped),
  /// picks the nearest voicing and resets every band to its target. Any non-audio or audio thread; allocates nothing.
  void prepare(double sampleRate, int channels) noexcept;

  /// Sets band 0 (Low), 1 (Mid) or 2 (High) to a value in dB, clamped to the band's range; |dB| < 0.001 is 0,
  /// non-finite values and unknown bands are ignored. Applies at once after prepare or reset until the next
  /// process, else glides. Audio thread; allocates nothing.
  void set(int band, double dB) noexcept;

  /// Filters n frames in place on the prepared channels (channels[c] for c below channels()).
  /// Does nothing before prepare or when n < 1. Audio thread; allocates nothing.
  template <typename T>
  void process(T* const* channels, int n) noexcept;

  /// Snaps every band to its target, clears all filter state, redesigns and restarts the glide clock;
  /// the next set values apply at once. Audio or reset thread; allocates nothing.
  void reset() noexcept;

  /// Recomputes a band's active flag, section count and coefficients from its current value;
  /// clears the band's state when it switches off. Allocates nothing.
  void design(int band) noexcept;

  /// Section parameters of a curve at a band magnitude in dB for the prepared voicing,
  /// interpolated between breakpoints; sections beyond the curve's count are {1000, 0.707, 0}. Allocates nothing.
  std::array<EqSectionParams, kEqMaxSections> interpolate(const EqCurve& curve, double magnitudeDb) const noexcept;

  /// One glide step of every band towards its target, redesigning the bands that moved. Allocates nothing.
  void tick() noexcept;

  /// Index into kEqVoicing.sampleRates of the rate nearest to sampleRate in log distance; ties go to
  /// the earlier rate. Allocates nothing.
  static int voicingFor(double sampleRate) noexcept;

  /// The curve that serves a band at a value in dB: Low, High, or Mid boost / Mid cut by the sign.
  static const EqCurve& curveFor(int band, double dB) noexcept;

  /// How a band's control travels, from the voicing table: the magnitude in dB at the middle of
  /// each side of the control, and at its end (the largest magnitude the band accepts).
  struct Travel {
    double midDb;
    double maxDb;
  };
  static Travel travel(int band) noexcept;

  /// Largest magnitude in dB a band accepts.
  static double rangeDb(int band) noexcept { return travel(band).maxDb; }

  /// Magnitude response in dB of all active bands at freqHz, from the current coefficients;
  /// touches no audio state. Any thread that does not race the audio thread; allocates nothing.
  double responseDb(double freqHz) const noexcept;

  /// Magnitude response in dB of one band at freqHz (0 when it is inactive). Allocates nothing.
  double bandResponseDb(int band, double freqHz) const noexcept;

  /// Read-only state (rate in Hz, channel count, voicing index, glide coefficient per tick, tick clock,
  /// fresh flag, per band target and current dB, active flag, section count), for tests and displays.
  double sampleRate() const noexcept { return sampleRate_; }
  int channels() const noexcept { return channels_; }
  int voicing() const noexcept { return voicing_; }
  double smoothing() const noexcept { return smoothing_; }
  int tickCounter() const noexcept { return tickCounter_; }
  bool fresh() const noexcept { return fresh_; }
  double target(int band) const noexcept { return bands_[clampBand(band)].target; }
  double current(int band) const noexcept { return bands_[clampBand(band)].current; }
  bool active(int band) const noexcept { return bands_[clampBand(band)].active; }
  int sectionCount(int band) const noexcept { return bands_[clampBand(band)].sectionCount; }
  /// Read-only view of a band: coefficients and state of both channels (band clamped to 0..2).
  const Band& band(int band) const noexcept { return bands_[clampBand(band)]; }
  /// Coefficients of one section of a band (both channels share them); band and section clamped.
  EqBiquad coefficients(int band, int section) const noexcept;

 private:
  static int clampBand(int band) noexcept { return band < 0 ? 0 : (band >= kBands ? kBands - 1 : band); }
  void snapAll() noexcept;
  void clearState(Band& band) noexcept;
  void filter(double* left, double* right, int n) noexcept;
  struct LogParams {
    double freq;
    double q;
  };
  static constexpr int kCurveCount = 4;
  const LogParams* logParamsFor(const EqCurve& curve) const noexcept;

  double sampleRate_ = 0.0;
  int channels_ = 2;
  int voicing_ = 1;
  double smoothing_ = 0.0;
  int tickCounter_ = 0;
  bool fresh_ = true;
  Band bands_[kBands];
  // ln freq and ln Q of every table entry of the prepared voicing, per curve (Low, High, Mid boost, Mid cut).
  LogParams logParams_[kCurveCount][kEqMaxBreakpoints * kEqMaxSections] = {};
};

}  // namespace plumbrook::dsp
