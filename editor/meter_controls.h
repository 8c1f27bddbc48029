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

/// Where a meter draws each part, from its bar: drawing and the dirty rectangles both read it.
struct MeterGeometry {
  plugkit::gfx::Rect bar;
  float readoutHalfWidth;

  /// Whole-pixel rows at scale 2 and the edges' anti-aliasing stay inside this pad (units).
  static constexpr float kEdgePad = 1.5f;

  /// A level (dB, 0 and below) to y in the bar: 0 dB at the top, -range at the bottom.
  float levelY(float db, float range) const;
  /// dB of reduction to y in the bar: none at the top, 12 dB and more at the bottom.
  float reductionY(float db) const;
  /// The bar from y down to its bottom (a level) or from its top down to y (a reduction).
  plugkit::gfx::Rect below(float y) const { return {bar.L, y, bar.R, bar.B}; }
  plugkit::gfx::Rect above(float y) const { return {bar.L, bar.T, bar.R, y}; }
  /// The rows of the bar between two heights.
  plugkit::gfx::Rect rows(float y1, float y2) const;
  /// A level meter's hold line and a reduction meter's (2 units high, 4 wider than the bar).
  plugkit::gfx::Rect levelHold(float y) const { return {bar.L, y - 0.5f, bar.R, y + 0.5f}; }
  plugkit::gfx::Rect reductionHold(float y) const { return {bar.L - 2, y - 1, bar.R + 2, y + 1}; }
  plugkit::gfx::Rect label() const;
  plugkit::gfx::Rect readout() const;
  /// What to draw again when a part drawn in `drawn` moves.
  static plugkit::gfx::Rect dirty(const plugkit::gfx::Rect& drawn) { return drawn.GetPadded(kEdgePad); }
};

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
  float y(float db) const { return geometry_.levelY(db, options_.range); }
  /// The value of a linked parameter in its own units, if linked and attached.
  std::optional<double> shownValue(int paramIdx) const;

  MeterGeometry geometry_;
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
  MeterGeometry geometry_;
  MeterColours colours_;
  plugkit::gfx::TextStyle scaleText_, readoutText_;
  Options options_;
  plumbrook::editor::ReductionBallistics ballistics_;
};

}  // namespace quillfen::controls::limiter_panel
