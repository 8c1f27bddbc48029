// Meter ballistics, scales, readouts and the glue-derived zone and side lift.
#include "editor/meter_ballistics.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "dsp/glue_voicing.h"

namespace plumbrook::editor {
namespace {

constexpr float kFloorDb = -60.0f;
constexpr float kHoldSeconds = 1.5f;
constexpr float kMoved = 0.01f;

float secondsBetween(int64_t earlier, int64_t later) {
  return std::clamp(static_cast<float>(later - earlier) * 1e-9f, 0.0f, 1.0f);
}

float decibelsOfMagnitude(float magnitude) {
  return magnitude > 0.000001f ? 20.0f * std::log10(magnitude) : kFloorDb;
}

// Restarts at a new maximum; after the hold time the hold follows the bar.
void updateHold(float shown, float& hold, float& timer) {
  if (shown >= hold) {
    hold = shown;
    timer = 0.0f;
  } else if (timer > kHoldSeconds) {
    hold = shown;
  }
}

// A table of the glue voicing read at an Amount, interpolated between its entries.
double atAmount(const dsp::GlueTable& table, int band, double amountPercent) {
  const double a = std::clamp(amountPercent, 0.0, dsp::kGlueMaxAmount) / dsp::kGlueTableStep;
  const int i = std::min(static_cast<int>(std::floor(a)), dsp::kGlueTableSize - 2);
  const double w = a - i;
  const auto& row = table[static_cast<size_t>(band)];
  return row[static_cast<size_t>(i)] + (row[static_cast<size_t>(i) + 1] - row[static_cast<size_t>(i)]) * w;
}

std::string formatted(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

SteadyClock systemSteadyClock() {
  return [] {
    return static_cast<int64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
  };
}

LevelBallistics::LevelBallistics(SteadyClock clock)
    : clock_(std::move(clock)), previousCall_(clock_()), previousPeakUpdate_(previousCall_) {}

float LevelBallistics::rmsDb() const { return decibelsOfMagnitude(std::sqrt(smoothedMeanSquare_)); }

bool LevelBallistics::setLevels(float peak, float meanSquare, bool rmsDisplay) {
  const int64_t now = clock_();
  const int64_t previous = previousCall_;
  previousCall_ = now;

  float peakDb = decibelsOfMagnitude(peak);
  if (!std::isfinite(peakDb) || peakDb < kFloorDb) peakDb = kFloorDb;

  const int64_t now2 = clock_();
  const float dt = secondsBetween(previousPeakUpdate_, now2);
  previousPeakUpdate_ = now2;
  holdTimer_ += dt;
  const float shown = std::max(std::max(kFloorDb, peakDb_ - 20.0f * dt), peakDb);
  float hold = holdDb_;
  updateHold(shown, hold, holdTimer_);
  bool changed = std::fabs(shown - peakDb_) > kMoved || std::fabs(hold - holdDb_) > kMoved;
  peakDb_ = shown;
  holdDb_ = hold;

  if (meanSquare >= 0.0f && rmsDisplay) {
    const float oldDb = rmsDb();
    const float t = static_cast<float>(now - previous) * 1e-9f;
    if (t >= 0.0f) smoothedMeanSquare_ += (1.0f - std::exp(-t / 0.3f)) * (meanSquare - smoothedMeanSquare_);
    if (!changed) changed = std::fabs(rmsDb() - oldDb) > kMoved;
  }
  return changed;
}

ReductionBallistics::ReductionBallistics(SteadyClock clock) : clock_(std::move(clock)), previousUpdate_(clock_()) {}

bool ReductionBallistics::feed(float reductionDb) {
  const float target = std::isfinite(reductionDb) ? std::max(0.0f, reductionDb) : 0.0f;
  const int64_t now = clock_();
  const float dt = secondsBetween(previousUpdate_, now);
  previousUpdate_ = now;
  holdTimer_ += dt;
  const float shown = std::max(std::max(0.0f, shownDb_ - 30.0f * dt), target);
  float hold = holdDb_;
  updateHold(shown, hold, holdTimer_);
  const bool changed = std::fabs(shown - shownDb_) > kMoved || std::fabs(hold - holdDb_) > kMoved;
  shownDb_ = shown;
  holdDb_ = hold;
  return changed;
}

std::string levelReadout(float holdDb) {
  if (holdDb <= -59.5f) return "-inf";
  if (holdDb >= -0.05f) return "0.0";  // never "-0.0"
  return formatted("\u2212%.1f", -holdDb);
}

std::string reductionReadout(float holdDb) {
  return holdDb >= 0.05f ? formatted("\u2212%.1f", holdDb) : "0.0";
}

std::string tickLabel(int db) {
  if (db == 0) return "0";
  char text[16];
  std::snprintf(text, sizeof text, "\u2212%d", -db);
  return text;
}

std::optional<std::pair<float, float>> glueZone(double amountPercent) {
  const auto& voicing = dsp::kGlueVoicing;
  const double slope = atAmount(voicing.slope, 1, amountPercent);
  if (slope <= 0.000001) return std::nullopt;
  const double threshold = atAmount(voicing.threshold, 1, amountPercent);
  const double knee = atAmount(voicing.knee, 1, amountPercent);
  // The overshoot above the threshold that gives a reduction of g dB, soft knee included.
  auto overshoot = [&](double g) {
    if (knee > 0.0 && knee / 2.0 > g / slope) return -knee / 2.0 + std::sqrt(2.0 * knee * g / slope);
    return g / slope;
  };
  const double low = threshold + overshoot(1.0) + 3.9;
  if (low >= 0.0) return std::nullopt;
  return std::make_pair(static_cast<float>(low), static_cast<float>(std::min(0.0, threshold + overshoot(3.0) + 3.9)));
}

double sideLiftDb(int band, double amountPercent) {
  return atAmount(dsp::kGlueVoicing.sideLift, band, amountPercent);
}

}  // namespace plumbrook::editor
