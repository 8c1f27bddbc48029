// Meter feeding from the audio side's readings.
#include "editor/meter_feed.h"

namespace plumbrook::editor {
namespace {

void feedLevel(const std::function<void(float, float)>& meter, std::atomic<float>& peak, std::atomic<int>& frames,
               std::atomic<double>& sumSquares) {
  const float peakValue = peak.exchange(0.0f);
  const int frameCount = frames.exchange(0);
  const double sum = sumSquares.exchange(0.0);
  meter(peakValue, frameCount > 0 ? static_cast<float>(sum / frameCount) : 0.0f);
}

}  // namespace

void feedMeters(MeterReadings& readings, const MeterTargets& targets) {
  if (targets.input) feedLevel(targets.input, readings.inputPeak, readings.inputFrames, readings.inputSumSquares);
  for (size_t band = 0; band < 3; ++band)
    if (targets.glue[band]) targets.glue[band](readings.glueReduction[band].exchange(0.0f));
  if (targets.limiter) targets.limiter(readings.limiterReduction.exchange(0.0f));
  if (targets.output) feedLevel(targets.output, readings.outputPeak, readings.outputFrames, readings.outputSumSquares);
}

}  // namespace plumbrook::editor
