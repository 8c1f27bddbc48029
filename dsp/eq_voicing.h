// Voicing table of the three-band EQ: per sample rate, the filter sections behind each band value.
#pragma once

#include <cstdint>

namespace plumbrook::dsp {

inline constexpr int kEqRateCount = 6;
inline constexpr int kEqMaxBreakpoints = 20;
inline constexpr int kEqMaxSections = 3;

/// Filter type of one section of a curve.
enum EqSectionType : int32_t { kEqLowShelf = 0, kEqPeaking = 1, kEqHighShelf = 2 };

/// Parameters of one biquad section: centre or corner frequency in Hz, Q, gain in dB.
struct EqSectionParams {
  double freqHz;
  double q;
  double gainDb;
};

/// One band curve: section types, breakpoints of the band magnitude in dB, and per sample rate and
/// breakpoint the section parameters. Unused breakpoints and sections hold {1000, 0.707, 0}.
struct EqCurve {
  int32_t sections;
  int32_t types[kEqMaxSections];
  int32_t points;
  double breakpoints[kEqMaxBreakpoints];
  double travelMid;
  double range;
  EqSectionParams params[kEqRateCount][kEqMaxBreakpoints][kEqMaxSections];
};

/// The table: the voiced sample rates in Hz (ascending), then the Low, High, Mid boost and Mid cut curves.
struct EqVoicingTable {
  double sampleRates[kEqRateCount];
  EqCurve low;
  EqCurve high;
  EqCurve midBoost;
  EqCurve midCut;
};

/// Read-only voicing data; the 88.2 to 192 kHz entries are fitted by tools/fit_eq_voicing.py.
extern const EqVoicingTable kEqVoicing;

}  // namespace plumbrook::dsp
