// Moves the audio side's meter readings into the meters on the idle tick.
#pragma once

#include <array>
#include <functional>

#include "dsp/chain_records.h"

namespace plumbrook::editor {

/// The six meters in feeding order; a missing one (empty) is skipped and its readings stay.
struct MeterTargets {
  std::function<void(float peak, float meanSquare)> input;
  std::array<std::function<void(float reductionDb)>, 3> glue;
  std::function<void(float reductionDb)> limiter;
  std::function<void(float peak, float meanSquare)> output;
};

/// Reads and clears each reading with one atomic exchange (peak, frames, sum of squares for
/// the level meters) and hands it to its meter. Editor thread; does not allocate.
void feedMeters(MeterReadings& readings, const MeterTargets& targets);

}  // namespace plumbrook::editor
