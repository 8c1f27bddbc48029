// Small records of the signal chain: linear crossfade, gain ramp and the published meter levels.
#pragma once

#include <atomic>
#include <cmath>

namespace plumbrook {

/// A linear fade between an unprocessed (0) and a processed (1) signal.
struct LinearFade {
  double step = 1.0 / 960.0;  // change of value per sample
  double value = 1.0;         // 0 = fully unprocessed, 1 = fully processed
  bool on = true;             // target: true fades towards 1
  bool running = true;        // whether the faded stage ran in the previous block

  /// Settles at the state for `active` with no fade in progress.
  void settle(bool active) noexcept {
    value = active ? 1.0 : 0.0;
    on = running = active;
  }

  /// Advances one sample towards the target and returns the new value.
  double advance() noexcept {
    value = on ? (value + step < 1.0 ? value + step : 1.0) : (value - step > 0.0 ? value - step : 0.0);
    return value;
  }

  /// Mixes processed p against unprocessed d at a fade value (linear in amplitude).
  static double mix(double processed, double unprocessed, double fadeValue) noexcept {
    if (fadeValue >= 1.0) return processed;
    if (fadeValue <= 0.0) return unprocessed;
    return unprocessed + (processed - unprocessed) * fadeValue;
  }
};

/// A linear gain ramp of fixed length towards a target.
struct GainRamp {
  /// Linear factor of a level in dB. The one conversion for the Gain control, so that preparing
  /// and processing agree to the last bit and no ramp starts after a preparation.
  static double gainOfDecibels(double dB) noexcept { return std::pow(10.0, dB / 20.0); }

  double current = 1.0;
  double target = 1.0;
  double step = 0.0;
  int remaining = 0;
  int length = 960;

  /// Jumps to a gain with no ramp.
  void snap(double gain) noexcept {
    current = target = gain;
    remaining = 0;
  }

  /// Starts a ramp from the current gain when the target changes (or either is NaN).
  void setTarget(double gain) noexcept {
    if (gain != target) {
      target = gain;
      remaining = length;
      step = (gain - current) / length;
    }
  }

  /// The gain for the next sample.
  double next() noexcept {
    if (remaining > 0) {
      if (--remaining == 0) current = target;
      else current += step;
    }
    return current;
  }
};

/// Levels published by the audio thread and read-and-cleared by the editor.
struct MeterReadings {
  std::atomic<float> inputPeak{0.0f};
  std::atomic<float> glueReduction[3] = {0.0f, 0.0f, 0.0f};
  std::atomic<float> limiterReduction{0.0f};
  std::atomic<float> outputPeak{0.0f};
  std::atomic<double> inputSumSquares{0.0};
  std::atomic<double> outputSumSquares{0.0};
  std::atomic<int> inputFrames{0};
  std::atomic<int> outputFrames{0};
  std::atomic<int> channels{2};

  static void raiseTo(std::atomic<float>& field, float value) noexcept {
    float seen = field.load(std::memory_order_relaxed);
    while (value > seen && !field.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
  }
  static void add(std::atomic<double>& field, double value) noexcept {
    double seen = field.load(std::memory_order_relaxed);
    while (!field.compare_exchange_weak(seen, seen + value, std::memory_order_relaxed)) {
    }
  }
};

}  // namespace plumbrook
