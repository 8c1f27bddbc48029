// The meters' ballistics and scales, apart from drawing: level meter (peak fall, hold, RMS
// smoothing), reduction meter, and the glue zone and side lift the editor derives from the
// glue voicing. Editor thread; nothing here allocates.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace plumbrook::editor {

/// A steady clock in nanoseconds; tests inject their own.
using SteadyClock = std::function<int64_t()>;
/// The system's steady clock.
SteadyClock systemSteadyClock();

/// Peak, hold and RMS of a level meter.
class LevelBallistics {
 public:
  explicit LevelBallistics(SteadyClock clock);
  /// Takes the peak (linear) and mean square (negative: none) since the last call; true when
  /// the shown peak, the hold or the RMS moved by more than 0.01 dB.
  bool setLevels(float peak, float meanSquare, bool rmsDisplay);
  float peakDb() const { return peakDb_; }
  float holdDb() const { return holdDb_; }
  /// The smoothed RMS in dB (-60 at silence).
  float rmsDb() const;

 private:
  SteadyClock clock_;
  float smoothedMeanSquare_ = 0.0f;
  int64_t previousCall_;
  int64_t previousPeakUpdate_;
  float peakDb_ = -60.0f;
  float holdDb_ = -60.0f;
  float holdTimer_ = 0.0f;
};

/// Shown reduction and its hold.
class ReductionBallistics {
 public:
  explicit ReductionBallistics(SteadyClock clock);
  /// Takes a reduction reading (dB, not finite counts as 0); true when the bar or the hold
  /// moved by more than 0.01 dB.
  bool feed(float reductionDb);
  float shownDb() const { return shownDb_; }
  float holdDb() const { return holdDb_; }

 private:
  SteadyClock clock_;
  int64_t previousUpdate_;
  float shownDb_ = 0.0f;
  float holdDb_ = 0.0f;
  float holdTimer_ = 0.0f;
};

/// The level meter's readout of a hold: "-inf", "0.0" or "−6.0" (U+2212).
std::string levelReadout(float holdDb);
/// The reduction meter's readout of a hold: "0.0" or "−2.0".
std::string reductionReadout(float holdDb);
/// A level scale label: "0" or "−12".
std::string tickLabel(int db);

/// The input levels (dB) where the glue's mid band works at an Amount (percent), from its
/// static curve; none at Amount 0.
std::optional<std::pair<float, float>> glueZone(double amountPercent);
/// A band's side lift in dB at an Amount (percent).
double sideLiftDb(int band, double amountPercent);

}  // namespace plumbrook::editor
