// Meter feeding from the audio side's readings.
#include "editor/meter_feed.h"

namespace plumbrook::editor {
namespace {

bool feedLevel(LevelBallistics& meter, std::atomic<float>& peak, std::atomic<int>& frames,
               std::atomic<double>& sumSquares, bool rmsDisplay) {
  const float peakValue = peak.exchange(0.0f);
  const int frameCount = frames.exchange(0);
  const double sum = sumSquares.exchange(0.0);
  const float meanSquare = frameCount > 0 ? static_cast<float>(sum / frameCount) : 0.0f;
  return meter.setLevels(peakValue, meanSquare, rmsDisplay);
}

}  // namespace

MetersMoved feedMeters(MeterReadings& readings, const MeterTargets& targets) {
  MetersMoved moved{};
  if (targets.input)
    moved[0] = feedLevel(*targets.input, readings.inputPeak, readings.inputFrames, readings.inputSumSquares,
                         targets.rmsDisplay);
  for (size_t band = 0; band < 3; ++band)
    if (targets.glue[band]) moved[1 + band] = targets.glue[band]->feed(readings.glueReduction[band].exchange(0.0f));
  if (targets.limiter) moved[4] = targets.limiter->feed(readings.limiterReduction.exchange(0.0f));
  if (targets.output)
    moved[5] = feedLevel(*targets.output, readings.outputPeak, readings.outputFrames, readings.outputSumSquares,
                         targets.rmsDisplay);
  return moved;
}

}  // namespace plumbrook::editor
