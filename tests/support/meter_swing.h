// Meter readings as the audio thread leaves them after 20 ms (960 frames at 48 kHz) of a signal
// whose peak is `peak`, for tests and benchmarks that move all six meters without playing audio.
#pragma once

#include "plugin/plumbrook.h"

namespace plumbrook::test {

inline void storeMeterReadings(MeterReadings& readings, float peak, float glueReductionDb, float limiterReductionDb) {
  readings.inputPeak.store(peak);
  readings.outputPeak.store(0.8f * peak);
  readings.inputSumSquares.store(peak * peak * 480.0);
  readings.outputSumSquares.store(0.6 * peak * peak * 480.0);
  readings.inputFrames.store(960);
  readings.outputFrames.store(960);
  for (auto& band : readings.glueReduction) band.store(glueReductionDb);
  readings.limiterReduction.store(limiterReductionDb);
}

}  // namespace plumbrook::test
