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
  if (g && scale != requested_) g->Resize(g->Width(), g->Height(), scale, true);
  requested_ = scale;
}

// The drag is measured in device pixels from where it started: editor units change size while the
// window follows it.
void CornerScaleControl::OnMouseDown(float x, float y, const MouseMod&) {
  Graphics* g = GetUI();
  if (!g) return;
  const float s = g->GetTotalScale();
  downX_ = x * s, downY_ = y * s;
  startWidthPx_ = static_cast<float>(g->PixelSize(g->GetDrawScale()).first);
  requested_ = g->GetDrawScale();
}

void CornerScaleControl::OnMouseDrag(float x, float y, float, float, const MouseMod&) {
  Graphics* g = GetUI();
  if (!g) return;
  const float s = g->GetTotalScale();
  const float moved = std::max(x * s - downX_, y * s - downY_);
  resizeTo(std::clamp((startWidthPx_ + moved) / (baseWidth_ * g->GetBackingScale()), minScale_, maxScale_));
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
