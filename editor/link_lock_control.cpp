// Padlock switch: toggling, hover and drawing.
#include "editor/link_lock_control.h"

#include "gfx/graphics.h"

namespace quillfen::controls::limiter_panel {

using namespace plugkit::gfx;

LinkLockControl::LinkLockControl(const Rect& bounds, int paramIdx, Color locked, Color unlocked, Color unlockedHover)
    : Control(bounds, paramIdx), locked_(locked), unlocked_(unlocked), unlockedHover_(unlockedHover) {}

void LinkLockControl::OnMouseDown(float, float, const MouseMod&) {
  SetValue(GetValue() > 0.5 ? 0.0 : 1.0);
  SetDirty(true);
}

void LinkLockControl::OnMouseOver(float x, float y, const MouseMod& mod) {
  Control::OnMouseOver(x, y, mod);
  SetDirty(false);
}

void LinkLockControl::OnMouseOut() {
  Control::OnMouseOut();
  SetDirty(false);
}

void LinkLockControl::Draw(Graphics& g) {
  const bool isLocked = GetValue() > 0.5;
  const Color colour = isLocked ? locked_ : (mouseIsOver_ ? unlockedHover_ : unlocked_);
  const float cx = rect_.MW();
  const float cy = rect_.MH();
  const Rect body(cx - 6, cy - 1, cx + 6, cy + 8);
  if (isLocked)
    g.FillRoundRect(colour, body, 1.5f, &blend_);
  else
    g.DrawRoundRect(colour, body, 1.5f, &blend_, 1.2f);

  const float lift = isLocked ? 0.0f : 3.0f;
  const float ax = isLocked ? cx : cx + 4;
  const float ay = cy - 4 - lift;
  g.DrawArc(colour, ax, ay, 4, -90, 90, &blend_, 1.7f);
  g.DrawLine(colour, ax + 4, ay, ax + 4, cy - 1, &blend_, 1.7f);
  if (isLocked) {
    g.DrawLine(colour, cx - 4, cy - 4, cx - 4, cy - 1, &blend_, 1.7f);
    const Color linkColour(153, locked_.R, locked_.G, locked_.B);
    g.DrawLine(linkColour, rect_.L, cy + 3.5f, cx - 9, cy + 3.5f, &blend_, 1.0f);
    g.DrawLine(linkColour, cx + 9, cy + 3.5f, rect_.R, cy + 3.5f, &blend_, 1.0f);
  }
}

}  // namespace quillfen::controls::limiter_panel
