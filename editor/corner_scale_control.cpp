// Corner grip: drag to scale, double click for 1x.
#include "editor/corner_scale_control.h"

#include <algorithm>
#include <cmath>

#include "gfx/graphics.h"

namespace plumbrook::editor {

using namespace plugkit::gfx;

CornerScaleControl::CornerScaleControl(const Rect& bounds, float baseWidth, float minScale, float maxScale,
                                       Color normal, Color hover)
    : Control(bounds), baseWidth_(baseWidth), minScale_(minScale), maxScale_(maxScale), normal_(normal), hover_(hover) {}

void CornerScaleControl::resizeTo(float scale) {
  Graphics* g = GetUI();
  if (g && scale != g->GetDrawScale()) g->Resize(g->Width(), g->Height(), scale, true);
}

void CornerScaleControl::OnMouseDown(float, float, const MouseMod&) {
  if (Graphics* g = GetUI()) startWidth_ = std::trunc(static_cast<float>(g->Width()) * g->GetDrawScale());
  dragged_ = 0;
}

void CornerScaleControl::OnMouseDrag(float, float, float dX, float dY, const MouseMod&) {
  Graphics* g = GetUI();
  if (!g) return;
  dragged_ += std::max(dX, dY) * g->GetDrawScale();
  const float scale = std::clamp((startWidth_ + dragged_) / baseWidth_, minScale_, maxScale_);
  if (scale == g->GetDrawScale()) return;
  resizeTo(scale);
  // A resize releases every capture; the grip takes the mouse back so the drag goes on.
  g->ControlUnderMouse(rect_.MW(), rect_.MH(), true);
}

void CornerScaleControl::OnMouseDblClick(float, float, const MouseMod&) { resizeTo(1.0f); }

void CornerScaleControl::OnMouseOver(float x, float y, const MouseMod& mod) {
  if (!changedCursor_ && GetUI()) {
    // The window layer keeps no cursor to ask for, so the arrow is what the grip replaced.
    previousCursor_ = Cursor::kArrow;
    GetUI()->SetMouseCursor(Cursor::kSizeNWSE);
    changedCursor_ = true;
  }
  Control::OnMouseOver(x, y, mod);
  SetDirty(false);
}

void CornerScaleControl::OnMouseOut() {
  if (changedCursor_ && GetUI()) GetUI()->SetMouseCursor(previousCursor_);
  changedCursor_ = false;
  Control::OnMouseOut();
  SetDirty(false);
}

void CornerScaleControl::Draw(Graphics& g) {
  g.FillTriangle(mouseIsOver_ ? hover_ : normal_, rect_.L, rect_.B, rect_.R, rect_.T, rect_.R, rect_.B, &blend_);
}

}  // namespace plumbrook::editor
