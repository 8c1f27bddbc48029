// The level meters (IN, OUT) and the reduction meters (LOW, MID, HIGH, GR).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "editor/meter_ballistics.h"
#include "gfx/control.h"

namespace quillfen::controls::limiter_panel {

class OutputMeterControl : public plugkit::gfx::Control {
 public:
  struct Options {
    std::string label;
    float range = 36;
    std::vector<int> ticks;
    bool rmsDisplay = true;
    std::function<float()> marker;                                 // dB, a dashed line
    std::function<std::optional<std::pair<float, float>>()> zone;  // dB band, tinted
  };

  OutputMeterControl(const plugkit::gfx::Rect& bounds, const plugkit::gfx::Rect& bar, plugkit::gfx::Color colour,
                     const plugkit::gfx::TextStyle& scaleText, const plugkit::gfx::TextStyle& readoutText,
                     const plugkit::gfx::TextStyle& tickText, Options options,
                     plumbrook::editor::SteadyClock clock = plumbrook::editor::systemSteadyClock());

  /// The peak (linear) and mean square (negative: none) since the last call; marks the meter
  /// dirty only when something it shows moved. Editor thread.
  void setLevels(float peak, float meanSquare);
  void Draw(plugkit::gfx::Graphics& g) override;
  const plumbrook::editor::LevelBallistics& ballistics() const { return ballistics_; }

 private:
  float y(float db) const { return plumbrook::editor::levelY({bar_.L, bar_.T, bar_.R, bar_.B}, db, options_.range); }

  plugkit::gfx::Rect bar_;
  plugkit::gfx::Color colour_;
  plugkit::gfx::TextStyle scaleText_, readoutText_, tickText_;
  Options options_;
  plumbrook::editor::LevelBallistics ballistics_;
  float lastMarker_ = 0;
  bool zoneEngaged_ = false;
  float zoneLow_ = 0, zoneHigh_ = 0;
};

class ReductionMeterControl : public plugkit::gfx::Control {
 public:
  struct Options {
    std::string label;
    float zoneLow = 0, zoneHigh = 0;  // dB of reduction; equal for none
    plugkit::gfx::Color zoneColour;
  };

  ReductionMeterControl(const plugkit::gfx::Rect& bounds, const plugkit::gfx::Rect& bar,
                        const plugkit::gfx::TextStyle& scaleText, const plugkit::gfx::TextStyle& readoutText,
                        Options options, plumbrook::editor::SteadyClock clock = plumbrook::editor::systemSteadyClock());

  /// A reduction reading (dB); marks the meter dirty only when the bar or hold moved.
  void feed(float reductionDb);
  void Draw(plugkit::gfx::Graphics& g) override;
  const plumbrook::editor::ReductionBallistics& ballistics() const { return ballistics_; }

 private:
  plugkit::gfx::Rect bar_;
  plugkit::gfx::TextStyle scaleText_, readoutText_;
  Options options_;
  plumbrook::editor::ReductionBallistics ballistics_;
};

}  // namespace quillfen::controls::limiter_panel
