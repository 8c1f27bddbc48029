// Fixed voicing of the glue compressor: crossover, per-band detectors and amount tables.
#pragma once

#include <array>

namespace plumbrook::dsp {

/// Number of entries per amount table (amounts 0, 12.5, ... 200).
inline constexpr int kGlueTableSize = 17;
/// Amount step between two table entries.
inline constexpr double kGlueTableStep = 12.5;
/// Largest amount, in percent.
inline constexpr double kGlueMaxAmount = 200.0;

/// Per-band detector, gain-smoothing and saturator settings.
struct GlueBandVoicing {
  double rmsMs;       // mean-square detector time constant; 0 = peak detector
  double riseMs;      // second detector stage while rising; 0 = stage off
  double fallMs;      // second detector stage while falling; 0 = instant
  double holdDecay;   // decay of the held level in dB per second; 0 = no hold
  double attackMs;    // gain smoothing while reduction grows; 0 = instant
  double releaseMs;   // gain smoothing while reduction shrinks; 0 = instant
  double shelfHz;     // detector high-shelf frequency; 0 = none
  double shelfDb;     // detector high-shelf gain
  double satCubic;    // saturator coefficient a in x - a x^3 + b x^5
  double satQuintic;  // saturator coefficient b
  double satLimit;    // upper limit of the saturator's clip point; 0 = none
};

/// One table per band, indexed by amount / 12.5.
using GlueTable = std::array<std::array<double, kGlueTableSize>, 3>;

/// The complete voicing record.
struct GlueVoicing {
  double crossoverLow;   // Hz
  double crossoverHigh;  // Hz
  std::array<GlueBandVoicing, 3> bands;
  GlueTable threshold;      // dB
  GlueTable knee;           // dB, 0 = hard knee
  GlueTable slope;          // dB of reduction per dB above threshold
  GlueTable makeup;         // dB
  GlueTable saturationMix;  // wet share of the saturator
  GlueTable sideLift;       // dB of side gain
};

/// The voicing every glue stage starts from.
extern const GlueVoicing kGlueVoicing;

/// Linear interpolation of one band's table at an amount (clamped to 0..200); exact at the entries.
double glueTableAt(const std::array<double, kGlueTableSize>& table, double amount) noexcept;

}  // namespace plumbrook::dsp
