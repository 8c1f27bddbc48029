// Pill switch: toggling, forced state and drawing.
#include "editor/pill_toggle_control.h"

#include "gfx/graphics.h"

namespace quillfen::controls {

using namespace plugkit::gfx;

PillToggleControl::PillToggleControl(const Rect& bounds, int paramIdx, std::string offText, std::string onText,
                                     const TextStyle& text, float dotScale, Color onColour, const Colours& colours,
                                     bool inverted, int forcedBy)
    : Control(bounds, paramIdx),
      fill_(colours.fill),
      border_{colours.border, colours.highlightedBorder},
      dot_{Color(255, onColour.R, onColour.G, onColour.B), colours.dotOff},
      offText_(std::move(offText)),
      onText_(std::move(onText)),
      dotScale_(dotScale),
      inverted_(inverted) {
  text_ = text;
  if (forcedBy >= 0) LinkShownParam(forcedBy);
}

void PillToggleControl::OnMouseDown(float, float, const MouseMod&) {
  if (forced()) return;
  SetValue(GetValue() > 0.5 ? 0.0 : 1.0);
  SetDirty(true, 0);
}

const std::string& PillToggleControl::shownText() const {
  return forced() || GetValue() > 0.5 ? onText_ : offText_;
}

void PillToggleControl::Draw(Graphics& g) {
  const bool isForced = forced();
  const bool on = isForced || GetValue() > 0.5;
  Blend blend = blend_;
  if (isForced) blend.weight *= 0.55f;
  const int k = (inverted_ != on) ? 1 : 0;
  const Rect& r = rect_;
  const float radius = r.H() / 2;
  g.FillRoundRect(fill_, r, radius, &blend);
  g.DrawRoundRect(border_[k], r, radius, &blend);

  const float d = 5.0f * dotScale_;
  const float x0 = r.L + 0.6f * radius;
  const float cy = r.MH();
  // A highlighted pill (k = 1) has the accent dot, a plain one the grey dot.
  g.FillEllipse(dot_[1 - k], Rect(x0, cy - d / 2, x0 + d, cy + d / 2), &blend);
  g.DrawText(text_, on ? onText_ : offText_, Rect(x0 + d, r.T, r.R - 0.6f * radius, r.B), &blend);
}

}  // namespace quillfen::controls
