// Level and reduction meter controls: change detection and drawing.
#include "editor/meter_controls.h"

#include <algorithm>

#include "gfx/graphics.h"

namespace quillfen::controls::limiter_panel {

using namespace plugkit::gfx;
using plumbrook::editor::levelReadout;
using plumbrook::editor::reductionReadout;
using plumbrook::editor::reductionY;

namespace {
Color withAlpha(const Color& c, int alpha) { return {alpha, c.R, c.G, c.B}; }

// The bracket right of a bar marking a zone from top to bottom.
void drawBracket(Graphics& g, const Color& c, const Rect& bar, float top, float bottom, const Blend* blend) {
  g.FillRect(c, Rect(bar.R + 3, top, bar.R + 8, top + 2), blend);
  g.FillRect(c, Rect(bar.R + 3, bottom - 2, bar.R + 8, bottom), blend);
  g.FillRect(c, Rect(bar.R + 6, top, bar.R + 8, bottom), blend);
}
}  // namespace

// Whole-pixel rows at scale 2 and the edges' anti-aliasing stay inside a pad of 1.5 units.
constexpr float kEdgePad = 1.5f;

OutputMeterControl::OutputMeterControl(const Rect& bounds, const Rect& bar, Color colour, const MeterColours& colours,
                                       const TextStyle& scaleText, const TextStyle& readoutText,
                                       const TextStyle& tickText, Options options,
                                       plumbrook::editor::SteadyClock clock)
    : PartlyRedrawnControl(bounds),
      bar_(bar),
      colour_(colour),
      colours_(colours),
      scaleText_(scaleText),
      readoutText_(readoutText),
      tickText_(tickText),
      options_(std::move(options)),
      ballistics_(std::move(clock)) {
  // The marker and the zone follow their parameters as shown values: a change redraws the meter.
  if (options_.markerParam >= 0) LinkShownParam(options_.markerParam);
  if (options_.zoneParam >= 0) LinkShownParam(options_.zoneParam);
  SetIgnoreMouse(true);
}

std::optional<double> OutputMeterControl::shownValue(int paramIdx) const {
  const int valIdx = paramIdx >= 0 ? LinkedToParam(paramIdx) : -1;
  const plugkit::Param* param = GetParam(valIdx);
  if (!param) return std::nullopt;
  return param->FromNormalized(GetValue(valIdx));
}

Rect OutputMeterControl::strip(float db1, float db2) const {
  const float range = options_.range;
  const float y1 = y(std::max(db1, -range)), y2 = y(std::max(db2, -range));
  return Rect(bar_.L - kEdgePad, std::min(y1, y2) - kEdgePad, bar_.R + kEdgePad, std::max(y1, y2) + kEdgePad);
}

Rect OutputMeterControl::readoutRect() const {
  const float cx = bar_.MW();
  return Rect(cx - 22, bar_.B + 17, cx + 22, bar_.B + 29).GetPadded(kEdgePad);
}

void OutputMeterControl::setLevels(float peak, float meanSquare) {
  const float peakBefore = ballistics_.peakDb(), rmsBefore = ballistics_.rmsDb(), holdBefore = ballistics_.holdDb();
  if (!ballistics_.setLevels(peak, meanSquare, options_.rmsDisplay)) return;
  if (ballistics_.peakDb() != peakBefore) markChanged(strip(peakBefore, ballistics_.peakDb()));
  if (options_.rmsDisplay && ballistics_.rmsDb() != rmsBefore) markChanged(strip(rmsBefore, ballistics_.rmsDb()));
  if (ballistics_.holdDb() != holdBefore) {
    markChanged(strip(holdBefore, holdBefore).Union(strip(ballistics_.holdDb(), ballistics_.holdDb())));
    if (levelReadout(ballistics_.holdDb()) != levelReadout(holdBefore)) markChanged(readoutRect());
  }
}

void OutputMeterControl::Draw(Graphics& g) {
  const float range = options_.range;
  g.FillRect(colours_.track, bar_, &blend_);
  const std::optional<double> zoneValue = shownValue(options_.zoneParam);
  const auto zone = zoneValue && options_.zone ? options_.zone(*zoneValue) : std::nullopt;
  if (zone) {
    const float yLow = y(zone->first);
    const float yHigh = y(zone->second);
    if (yLow - yHigh >= 1) {
      g.FillRect(withAlpha(colour_, 61), Rect(bar_.L, yHigh, bar_.R, yLow), &blend_);
      drawBracket(g, withAlpha(colour_, 255), bar_, yHigh, yLow, &blend_);
    }
  }
  if (ballistics_.peakDb() > -range)
    g.FillRect(withAlpha(colour_, options_.rmsDisplay ? 81 : 229), Rect(bar_.L, y(ballistics_.peakDb()), bar_.R, bar_.B),
               &blend_);
  if (options_.rmsDisplay && ballistics_.rmsDb() > -range)
    g.FillRect(withAlpha(colour_, 229), Rect(bar_.L, y(ballistics_.rmsDb()), bar_.R, bar_.B), &blend_);
  const float hold = ballistics_.holdDb();
  if (hold > -range) g.FillRect(colours_.hold, Rect(bar_.L, y(hold) - 0.5f, bar_.R, y(hold) + 0.5f), &blend_);
  if (const std::optional<double> marker = shownValue(options_.markerParam)) {
    const float my = y(static_cast<float>(*marker));
    for (float x = bar_.L - 4; x < bar_.R + 4; x += 4)
      g.DrawLine(colours_.marker, x, my, std::min(x + 2, bar_.R + 4), my, &blend_, 1.0f);
  }
  for (int tick : options_.ticks) {
    const float ty = y(static_cast<float>(tick));
    g.DrawText(tickText_, plumbrook::editor::tickLabel(tick), Rect(bar_.L - 30, ty - 6, bar_.L - 6, ty + 6), &blend_);
  }
  const float cx = bar_.MW();
  g.DrawText(scaleText_, options_.label, Rect(cx - 20, bar_.B + 4, cx + 20, bar_.B + 16), &blend_);
  g.DrawText(readoutText_, levelReadout(hold), Rect(cx - 22, bar_.B + 17, cx + 22, bar_.B + 29), &blend_);
}

ReductionMeterControl::ReductionMeterControl(const Rect& bounds, const Rect& bar, const MeterColours& colours,
                                             const TextStyle& scaleText,
                                             const TextStyle& readoutText, Options options,
                                             plumbrook::editor::SteadyClock clock)
    : PartlyRedrawnControl(bounds),
      bar_(bar),
      colours_(colours),
      scaleText_(scaleText),
      readoutText_(readoutText),
      options_(std::move(options)),
      ballistics_(std::move(clock)) {
  SetIgnoreMouse(true);
}

Rect ReductionMeterControl::readoutRect() const {
  const float cx = bar_.MW();
  return Rect(cx - 20, bar_.B + 17, cx + 20, bar_.B + 29).GetPadded(kEdgePad);
}

void ReductionMeterControl::feed(float reductionDb) {
  const float shownBefore = ballistics_.shownDb(), holdBefore = ballistics_.holdDb();
  if (!ballistics_.feed(reductionDb)) return;
  const auto fraction = [](float db) { return std::clamp(db / 12.0f, 0.0f, 1.0f); };
  // The bar grows down from the top; the hold is a line 2 units high and 4 wider than the bar.
  const float a = y(fraction(shownBefore)), b = y(fraction(ballistics_.shownDb()));
  if (a != b) markChanged(Rect(bar_.L - kEdgePad, std::min(a, b) - kEdgePad, bar_.R + kEdgePad, std::max(a, b) + kEdgePad));
  if (ballistics_.holdDb() != holdBefore) {
    for (const float hold : {holdBefore, ballistics_.holdDb()}) {
      const float hy = y(fraction(hold));
      markChanged(Rect(bar_.L - 2 - kEdgePad, hy - 1 - kEdgePad, bar_.R + 2 + kEdgePad, hy + 1 + kEdgePad));
    }
    if (reductionReadout(ballistics_.holdDb()) != reductionReadout(holdBefore)) markChanged(readoutRect());
  }
}

void ReductionMeterControl::Draw(Graphics& g) {
  const plumbrook::editor::DesignRect bar{bar_.L, bar_.T, bar_.R, bar_.B};
  g.FillRect(colours_.track, bar_, &blend_);
  if (options_.zoneLow < options_.zoneHigh) {
    const float y1 = reductionY(bar, options_.zoneLow);
    const float y2 = reductionY(bar, options_.zoneHigh);
    if (y2 - y1 >= 1) {
      g.FillRect(withAlpha(options_.zoneColour, 61), Rect(bar_.L, y1, bar_.R, y2), &blend_);
      drawBracket(g, withAlpha(options_.zoneColour, 255), bar_, y1, y2, &blend_);
    }
  }
  const float f = std::clamp(ballistics_.shownDb() / 12.0f, 0.0f, 1.0f);
  if (f > 0) g.FillRect(colours_.reductionBar, Rect(bar_.L, bar_.T, bar_.R, y(f)), &blend_);
  const float h = std::clamp(ballistics_.holdDb() / 12.0f, 0.0f, 1.0f);
  if (h > 0.002f) {
    const float hy = y(h);
    g.FillRect(colours_.hold, Rect(bar_.L - 2, hy - 1, bar_.R + 2, hy + 1), &blend_);
  }
  const float cx = bar_.MW();
  g.DrawText(scaleText_, options_.label, Rect(cx - 20, bar_.B + 4, cx + 20, bar_.B + 16), &blend_);
  g.DrawText(readoutText_, reductionReadout(ballistics_.holdDb()), Rect(cx - 20, bar_.B + 17, cx + 20, bar_.B + 29),
             &blend_);
}

}  // namespace quillfen::controls::limiter_panel
