// Moves the audio side's meter readings into the meters' ballistics on the idle tick.
#pragma once

#include <array>

#include "dsp/chain_records.h"
#include "editor/meter_ballistics.h"

namespace plumbrook::editor {

/// The six meters in feeding order; a missing one (null) is skipped and its readings stay.
struct MeterTargets {
  LevelBallistics* input = nullptr;
  std::array<ReductionBallistics*, 3> glue{};
  ReductionBallistics* limiter = nullptr;
  LevelBallistics* output = nullptr;
  bool rmsDisplay = true;
};

/// Which meters moved: input, glue low, mid, high, limiter, output.
using MetersMoved = std::array<bool, 6>;

/// Reads and clears each reading with one atomic exchange (peak, frames, sum of squares for
/// the level meters) and feeds it to its meter. Editor thread; does not allocate.
MetersMoved feedMeters(MeterReadings& readings, const MeterTargets& targets);

}  // namespace plumbrook::editor
