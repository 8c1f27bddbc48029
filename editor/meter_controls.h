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

/// The colours every meter shares; the level and zone colours come with each meter.
struct MeterColours {
  plugkit::gfx::Color track, hold, marker, reductionBar;
};

/// A meter redraws only the strips its readings moved, not its whole height: while audio plays
/// that is most of an open editor's drawing.
class PartlyRedrawnControl : public plugkit::gfx::Control {
 public:
  using Control::Control;
  void SetDirty(bool triggerAction = true, int valIdx = -1) override {
    whole_ = true;
    Control::SetDirty(triggerAction, valIdx);
  }
  void SetClean() override {
    whole_ = false;
    changed_ = {};
    Control::SetClean();
  }
  plugkit::gfx::Rect DirtyRect() const override { return whole_ ? GetRECT() : changed_.Intersect(GetRECT()); }

 protected:
  /// Asks for `part` to be drawn again (the whole control when nothing smaller was known).
  void markChanged(const plugkit::gfx::Rect& part) {
    changed_ = changed_.Union(part);
    Control::SetDirty(false);
  }

 private:
  bool whole_ = true;
  plugkit::gfx::Rect changed_;
};

class OutputMeterControl : public PartlyRedrawnControl {
 public:
  struct Options {
    std::string label;
    float range = 36;
    std::vector<int> ticks;
    bool rmsDisplay = true;
    int markerParam = -1;  // a parameter in dB, drawn as a dashed line
    int zoneParam = -1;    // a parameter whose value `zone` turns into a tinted dB band
    std::function<std::optional<std::pair<float, float>>(double value)> zone;
  };

  OutputMeterControl(const plugkit::gfx::Rect& bounds, const plugkit::gfx::Rect& bar, plugkit::gfx::Color colour,
                     const MeterColours& colours, const plugkit::gfx::TextStyle& scaleText, const plugkit::gfx::TextStyle& readoutText,
                     const plugkit::gfx::TextStyle& tickText, Options options,
                     plumbrook::editor::SteadyClock clock = plumbrook::editor::systemSteadyClock());

  /// The peak (linear) and mean square (negative: none) since the last call; marks the meter
  /// dirty only when something it shows moved. Editor thread.
  void setLevels(float peak, float meanSquare);
  void Draw(plugkit::gfx::Graphics& g) override;
  const plumbrook::editor::LevelBallistics& ballistics() const { return ballistics_; }

 private:
  float y(float db) const { return plumbrook::editor::levelY({bar_.L, bar_.T, bar_.R, bar_.B}, db, options_.range); }
  // The rows of the bar between two levels, with the edge's anti-aliasing.
  plugkit::gfx::Rect strip(float db1, float db2) const;
  plugkit::gfx::Rect readoutRect() const;
  /// The value of a linked parameter in its own units, if linked and attached.
  std::optional<double> shownValue(int paramIdx) const;

  plugkit::gfx::Rect bar_;
  plugkit::gfx::Color colour_;
  MeterColours colours_;
  plugkit::gfx::TextStyle scaleText_, readoutText_, tickText_;
  Options options_;
  plumbrook::editor::LevelBallistics ballistics_;
};

class ReductionMeterControl : public PartlyRedrawnControl {
 public:
  struct Options {
    std::string label;
    float zoneLow = 0, zoneHigh = 0;  // dB of reduction; equal for none
    plugkit::gfx::Color zoneColour;
  };

  ReductionMeterControl(const plugkit::gfx::Rect& bounds, const plugkit::gfx::Rect& bar, const MeterColours& colours,
                        const plugkit::gfx::TextStyle& scaleText, const plugkit::gfx::TextStyle& readoutText,
                        Options options, plumbrook::editor::SteadyClock clock = plumbrook::editor::systemSteadyClock());

  /// A reduction reading (dB); marks the meter dirty only when the bar or hold moved.
  void feed(float reductionDb);
  void Draw(plugkit::gfx::Graphics& g) override;
  const plumbrook::editor::ReductionBallistics& ballistics() const { return ballistics_; }

 private:
  float y(float fraction) const { return bar_.T + bar_.H() * fraction; }
  plugkit::gfx::Rect readoutRect() const;

  plugkit::gfx::Rect bar_;
  MeterColours colours_;
  plugkit::gfx::TextStyle scaleText_, readoutText_;
  Options options_;
  plumbrook::editor::ReductionBallistics ballistics_;
};

}  // namespace quillfen::controls::limiter_panel
