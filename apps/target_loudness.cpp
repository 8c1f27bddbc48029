// The search for the gain that brings a render to a target integrated loudness.
#include "apps/target_loudness.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace plumbrook::cli {

GainSearch searchGain(double targetLufs, double startGainDb, const MeasureLoudness& measure,
                      const GainSearchLimits& limits) {
  GainSearch result;
  std::optional<GainProbe> previous;
  std::optional<double> below, above;  // gains known to land under / over the target
  double gain = std::clamp(startGainDb, limits.minGainDb, limits.maxGainDb);
  constexpr double kEdge = 1e-9;

  for (int pass = 1; pass <= limits.maxPasses; ++pass) {
    double lufs = 0.0;
    if (!measure(gain, lufs)) {
      result.status = GainSearch::kFailed;
      return result;
    }
    result.passes = pass;
    if (!std::isfinite(lufs)) {
      result.status = GainSearch::kSilent;
      return result;
    }
    const GainProbe probe{gain, lufs};
    if (pass == 1 || std::fabs(lufs - targetLufs) < std::fabs(result.closest.lufs - targetLufs)) result.closest = probe;
    const double miss = targetLufs - lufs;
    if (std::fabs(miss) <= limits.aimLu) {
      result.status = GainSearch::kReached;
      return result;
    }
    if (miss > 0.0) {
      if (gain >= limits.maxGainDb - kEdge) {
        result.status = GainSearch::kTooQuiet;
        return result;
      }
      below = below ? std::max(*below, gain) : gain;
    } else {
      if (gain <= limits.minGainDb + kEdge) {
        result.status = GainSearch::kTooLoud;
        return result;
      }
      above = above ? std::min(*above, gain) : gain;
    }

    double next = gain + miss;
    if (previous && previous->gainDb != gain) {
      const double slope = (lufs - previous->lufs) / (gain - previous->gainDb);
      // A flat or falling slope (the limiter holding the level) gives no usable secant.
      if (slope > 0.05) next = gain + miss / slope;
    }
    if (below && above && !(next > *below && next < *above)) next = 0.5 * (*below + *above);
    next = std::clamp(next, limits.minGainDb, limits.maxGainDb);
    previous = probe;
    gain = next;
  }
  result.status = std::fabs(result.closest.lufs - targetLufs) <= limits.toleranceLu ? GainSearch::kReached
                                                                                     : GainSearch::kNotSettled;
  return result;
}

}  // namespace plumbrook::cli
