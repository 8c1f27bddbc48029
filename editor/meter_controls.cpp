// Level and reduction meter controls: change detection and drawing.
#include "editor/meter_controls.h"

#include <algorithm>

#include "gfx/graphics.h"

namespace quillfen::controls::limiter_panel {

using namespace plugkit::gfx;
using plumbrook::editor::levelReadout;
using plumbrook::editor::reductionReadout;

namespace {
Color withAlpha(const Color& c, int alpha) { return {alpha, c.R, c.G, c.B}; }

// The bracket right of a bar marking a zone from top to bottom.
void drawBracket(Graphics& g, const Color& c, const Rect& bar, float top, float bottom, const Blend* blend) {
  g.FillRect(c, Rect(bar.R + 3, top, bar.R + 8, top + 2), blend);
  g.FillRect(c, Rect(bar.R + 3, bottom - 2, bar.R + 8, bottom), blend);
  g.FillRect(c, Rect(bar.R + 6, top, bar.R + 8, bottom), blend);
}
}  // namespace

float MeterGeometry::levelY(float db, float range) const {
  float f = -db / range;
  if (!(f > 0.0f)) f = 0.0f;
  return bar.T + bar.H() * std::min(f, 1.0f);
}

float MeterGeometry::reductionY(float db) const { return bar.T + bar.H() * std::clamp(db / 12.0f, 0.0f, 1.0f); }

Rect MeterGeometry::rows(float y1, float y2) const { return Rect(bar.L, std::min(y1, y2), bar.R, std::max(y1, y2)); }

Rect MeterGeometry::label() const { return Rect(bar.MW() - 20, bar.B + 4, bar.MW() + 20, bar.B + 16); }

Rect MeterGeometry::readout() const {
  return Rect(bar.MW() - readoutHalfWidth, bar.B + 17, bar.MW() + readoutHalfWidth, bar.B + 29);
}

OutputMeterControl::OutputMeterControl(const Rect& bounds, const Rect& bar, Color colour, const MeterColours& colours,
                                       const TextStyle& scaleText, const TextStyle& readoutText,
                                       const TextStyle& tickText, Options options,
                                       plumbrook::editor::SteadyClock clock)
    : PartlyRedrawnControl(bounds),
      geometry_{bar, 22},
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

void OutputMeterControl::setLevels(float peak, float meanSquare) {
  const float peakBefore = ballistics_.peakDb(), rmsBefore = ballistics_.rmsDb(), holdBefore = ballistics_.holdDb();
  if (!ballistics_.setLevels(peak, meanSquare, options_.rmsDisplay)) return;
  // A level's bar reaches at most to the bottom of the scale.
  const auto shownY = [this](float db) { return y(std::max(db, -options_.range)); };
  const auto barMoved = [&](float before, float now) {
    markChanged(MeterGeometry::dirty(geometry_.rows(shownY(before), shownY(now))));
  };
  if (ballistics_.peakDb() != peakBefore) barMoved(peakBefore, ballistics_.peakDb());
  if (options_.rmsDisplay && ballistics_.rmsDb() != rmsBefore) barMoved(rmsBefore, ballistics_.rmsDb());
  if (ballistics_.holdDb() != holdBefore) {
    for (const float hold : {holdBefore, ballistics_.holdDb()})
      markChanged(MeterGeometry::dirty(geometry_.levelHold(shownY(hold))));
    if (levelReadout(ballistics_.holdDb()) != levelReadout(holdBefore))
      markChanged(MeterGeometry::dirty(geometry_.readout()));
  }
}

void OutputMeterControl::Draw(Graphics& g) {
  const float range = options_.range;
  const Rect& bar = geometry_.bar;
  g.FillRect(colours_.track, bar, &blend_);
  const std::optional<double> zoneValue = shownValue(options_.zoneParam);
  const auto zone = zoneValue && options_.zone ? options_.zone(*zoneValue) : std::nullopt;
  if (zone) {
    const float yLow = y(zone->first);
    const float yHigh = y(zone->second);
    if (yLow - yHigh >= 1) {
      g.FillRect(withAlpha(colour_, 61), geometry_.rows(yHigh, yLow), &blend_);
      drawBracket(g, withAlpha(colour_, 255), bar, yHigh, yLow, &blend_);
    }
  }
  if (ballistics_.peakDb() > -range)
    g.FillRect(withAlpha(colour_, options_.rmsDisplay ? 81 : 229), geometry_.below(y(ballistics_.peakDb())), &blend_);
  if (options_.rmsDisplay && ballistics_.rmsDb() > -range)
    g.FillRect(withAlpha(colour_, 229), geometry_.below(y(ballistics_.rmsDb())), &blend_);
  const float hold = ballistics_.holdDb();
  if (hold > -range) g.FillRect(colours_.hold, geometry_.levelHold(y(hold)), &blend_);
  if (const std::optional<double> marker = shownValue(options_.markerParam)) {
    const float my = y(static_cast<float>(*marker));
    g.DrawDottedLine(colours_.marker, bar.L - 4, my, bar.R + 4, my, &blend_, 1.0f, 2.0f);
  }
  for (int tick : options_.ticks) {
    const float ty = y(static_cast<float>(tick));
    g.DrawText(tickText_, plumbrook::editor::tickLabel(tick), Rect(bar.L - 30, ty - 6, bar.L - 6, ty + 6), &blend_);
  }
  g.DrawText(scaleText_, options_.label, geometry_.label(), &blend_);
  g.DrawText(readoutText_, levelReadout(hold), geometry_.readout(), &blend_);
}

ReductionMeterControl::ReductionMeterControl(const Rect& bounds, const Rect& bar, const MeterColours& colours,
                                             const TextStyle& scaleText,
                                             const TextStyle& readoutText, Options options,
                                             plumbrook::editor::SteadyClock clock)
    : PartlyRedrawnControl(bounds),
      geometry_{bar, 20},
      colours_(colours),
      scaleText_(scaleText),
      readoutText_(readoutText),
      options_(std::move(options)),
      ballistics_(std::move(clock)) {
  SetIgnoreMouse(true);
}

void ReductionMeterControl::feed(float reductionDb) {
  const float shownBefore = ballistics_.shownDb(), holdBefore = ballistics_.holdDb();
  if (!ballistics_.feed(reductionDb)) return;
  // The bar grows down from the top.
  const float a = geometry_.reductionY(shownBefore), b = geometry_.reductionY(ballistics_.shownDb());
  if (a != b) markChanged(MeterGeometry::dirty(geometry_.rows(a, b)));
  if (ballistics_.holdDb() != holdBefore) {
    for (const float hold : {holdBefore, ballistics_.holdDb()})
      markChanged(MeterGeometry::dirty(geometry_.reductionHold(geometry_.reductionY(hold))));
    if (reductionReadout(ballistics_.holdDb()) != reductionReadout(holdBefore))
      markChanged(MeterGeometry::dirty(geometry_.readout()));
  }
}

void ReductionMeterControl::Draw(Graphics& g) {
  const Rect& bar = geometry_.bar;
  g.FillRect(colours_.track, bar, &blend_);
  if (options_.zoneLow < options_.zoneHigh) {
    const float y1 = geometry_.reductionY(options_.zoneLow);
    const float y2 = geometry_.reductionY(options_.zoneHigh);
    if (y2 - y1 >= 1) {
      g.FillRect(withAlpha(options_.zoneColour, 61), geometry_.rows(y1, y2), &blend_);
      drawBracket(g, withAlpha(options_.zoneColour, 255), bar, y1, y2, &blend_);
    }
  }
  if (ballistics_.shownDb() > 0) g.FillRect(colours_.reductionBar, geometry_.above(geometry_.reductionY(ballistics_.shownDb())), &blend_);
  // A hold under 0.024 dB is not drawn.
  if (ballistics_.holdDb() / 12.0f > 0.002f)
    g.FillRect(colours_.hold, geometry_.reductionHold(geometry_.reductionY(ballistics_.holdDb())), &blend_);
  g.DrawText(scaleText_, options_.label, geometry_.label(), &blend_);
  g.DrawText(readoutText_, reductionReadout(ballistics_.holdDb()), geometry_.readout(), &blend_);
}

}  // namespace quillfen::controls::limiter_panel
