// The search for the gain that brings a render to a target integrated loudness.
#pragma once

#include <functional>

namespace plumbrook::cli {

struct GainProbe {
  double gainDb = 0.0;
  double lufs = 0.0;
};

struct GainSearch {
  enum Status { kReached, kTooQuiet, kTooLoud, kNotSettled, kSilent, kFailed } status = kFailed;
  GainProbe closest;  // the measured pass nearest the target
  int passes = 0;
};

struct GainSearchLimits {
  double minGainDb = -24.0;
  double maxGainDb = 24.0;
  int maxPasses = 8;
  double aimLu = 0.05;       // stop as soon as a pass lands this close
  double toleranceLu = 0.1;  // a pass this close counts as reached
};

/// Measures the loudness at a gain; false when the render failed.
using MeasureLoudness = std::function<bool(double gainDb, double& lufs)>;

/// Finds the gain for `targetLufs` with at most `limits.maxPasses` measurements: the first
/// guess assumes one dB of gain is one LU, later ones use the secant through the last two
/// passes, kept inside the bracket found so far (halving it when the secant leaves it).
/// Gives up early when the target lies beyond what the gain range can reach.
GainSearch searchGain(double targetLufs, double startGainDb, const MeasureLoudness& measure,
                      const GainSearchLimits& limits = {});

}  // namespace plumbrook::cli
