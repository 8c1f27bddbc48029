// Vector knob: layout, face, value arc and pointer, and the drag, wheel and double-click rules.
#include "gfx/vector_knob.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "gfx/graphics.h"

namespace plugkit::gfx {

namespace {
constexpr int kDisabledDarken = 63;

// A normalised position moved to the nearest step of a stepped parameter (0..1 out).
double steppedNormalised(const Param& p, double normalised) {
  double real = p.FromNormalized(std::clamp(normalised, 0.0, 1.0));
  real = std::round(real / p.GetStep()) * p.GetStep();
  real = std::clamp(real, p.GetMin(), p.GetMax());
  return std::clamp(p.ToNormalized(real), 0.0, 1.0);
}

bool isStepped(const Param* p) {
  return p && (p->Stepped() || p->Type() == Param::kTypeInt || p->Type() == Param::kTypeEnum ||
               p->Type() == Param::kTypeBool) && p->GetStep() > 0.0;
}
}  // namespace

// --- VectorBase --------------------------------------------------------------------------------

void VectorBase::MakeRects(const Rect& parent, bool) {
  labelBounds_ = valueBounds_ = Rect();
  Rect area = parent;
  if (style_.showLabel && !label_.empty()) {
    // The label takes a line at the top sized by its text.
    const float h = style_.labelText.size * 1.2f;
    labelBounds_ = Rect(parent.L, parent.T, parent.R, parent.T + h);
    area.T += h;
  }
  if (style_.showValue) {
    const float h = style_.valueText.size * 1.2f;
    valueBounds_ = Rect(parent.L, parent.B - h, parent.R, parent.B);
    area.B -= h;
  }
  // The widget is the largest square of the remaining area, scaled by the widget fraction.
  const float side = std::max(0.f, std::min(area.W(), area.H()));
  widgetBounds_ = area.GetCentredInside(side, side).GetScaledAboutCentre(style_.widgetFrac);
}

void VectorBase::DrawPressableEllipse(Graphics& g, const Rect& bounds, bool pressed, bool mouseOver, bool disabled) {
  auto col = [&](VectorColor c) { return disabled ? GetColor(c).Darkened(kDisabledDarken) : GetColor(c); };
  const Blend* blend = &control_.GetBlend();
  if (!pressed && style_.drawShadows)
    g.FillEllipse(col(kSH), bounds.GetTranslated(style_.shadowOffset, style_.shadowOffset), blend);
  g.FillEllipse(pressed ? col(kPR) : col(kFG), bounds, blend);
  if (mouseOver) g.FillEllipse(col(kHL), bounds, blend);
  if (style_.drawFrame) g.DrawEllipse(col(kFR), bounds, blend, style_.frameThickness);
}

// --- KnobControlBase ---------------------------------------------------------------------------

void KnobControlBase::OnMouseDown(float x, float y, const MouseMod& mod) {
  mouseDown_ = true;
  dragAccum_ = GetValue();
  if (hideCursorOnDrag_) HideCursorIfAttached(true);
  if (mod.R) PromptForValue(0);
  (void)x, (void)y;
  SetDirty(false);
}

void KnobControlBase::HideCursorIfAttached(bool hide) {
  if (graphics_) graphics_->HideMouseCursor(hide, hide);
}

void KnobControlBase::OnMouseUp(float, float, const MouseMod&) {
  if (hideCursorOnDrag_) HideCursorIfAttached(false);
  mouseDown_ = false;
  SetDirty(true);
}

void KnobControlBase::OnMouseDrag(float, float, float dx, float dy, const MouseMod& mod) {
  double gearing = gearing_;
  if (mod.S || mod.C) gearing *= 10.0;
  const Rect drag = DragBounds();
  if (direction_ == Direction::kVertical) dragAccum_ += -dy / drag.H() / gearing;
  else dragAccum_ += dx / drag.W() / gearing;
  dragAccum_ = std::clamp(dragAccum_, 0.0, 1.0);
  const Param* p = GetParam();
  SetValue(isStepped(p) ? steppedNormalised(*p, dragAccum_) : dragAccum_);
  SetDirty(true);
}

void KnobControlBase::OnMouseWheel(float, float, const MouseMod& mod, float delta) {
  const double increment = (mod.S || mod.C) ? 0.001 : 0.01;
  const Param* p = GetParam();
  if (isStepped(p) && delta != 0.f) {
    double real = p->FromNormalized(GetValue()) + (delta > 0.f ? p->GetStep() : -p->GetStep());
    real = std::clamp(std::round(real / p->GetStep()) * p->GetStep(), p->GetMin(), p->GetMax());
    SetValue(std::clamp(p->ToNormalized(real), 0.0, 1.0));
  } else {
    SetValue(GetValue() + increment * delta);
  }
  SetDirty(true);
}

// --- VectorKnobControl -------------------------------------------------------------------------

VectorKnobControl::VectorKnobControl(const Rect& bounds, int paramIdx, const std::string& label,
                                     const VectorStyle& style, bool valueIsEditable, bool valueInWidget, float aMin,
                                     float aMax, float aAnchor, Direction direction, double gearing, float trackSize)
    : KnobControlBase(bounds, paramIdx, direction, gearing),
      VectorBase(*this, style, label),
      trackSize_(trackSize),
      aMin_(aMin),
      aMax_(aMax),
      aAnchor_(aAnchor),
      valueIsEditable_(valueIsEditable),
      valueInWidget_(valueInWidget) {
  hideCursorOnDrag_ = style.hideCursor;
  text_ = style.valueText;
  DisablePrompt(!valueIsEditable);
}

float VectorKnobControl::GetRadius() const {
  return 0.5f * std::min(widgetBounds_.W(), widgetBounds_.H()) - 0.5f * trackSize_;
}

Rect VectorKnobControl::DragBounds() const {
  const float w = widgetBounds_.W(), h = widgetBounds_.H();
  if (w > h) return widgetBounds_.GetCentredInside(std::max(1.f, 0.5f * h), h);
  return widgetBounds_.GetCentredInside(std::max(1.f, w), 0.5f * w);
}

bool VectorKnobControl::IsHit(float x, float y) const {
  if (valueIsEditable_ && valueBounds_.Contains(x, y)) return true;
  return widgetBounds_.Contains(x, y);
}

void VectorKnobControl::OnInit() { OnResize(); }

void VectorKnobControl::OnResize() {
  MakeRects(rect_, true);
  if (valueInWidget_) valueBounds_ = widgetBounds_;
  Control::SetDirty(false);
}

void VectorKnobControl::SetDirty(bool triggerAction, int valIdx) { Control::SetDirty(triggerAction, valIdx); }

void VectorKnobControl::Draw(Graphics& g) {
  g.FillRect(GetColor(kBG), rect_, &blend_);
  DrawWidget(g);
  DrawLabel(g);
  DrawValue(g, valueMouseOver_);
}

void VectorKnobControl::DrawLabel(Graphics& g) {
  if (style_.showLabel && !label_.empty()) g.DrawText(style_.labelText, label_, labelBounds_, &blend_);
}

void VectorKnobControl::DrawValue(Graphics& g, bool mouseOver) {
  if (!style_.showValue || valueBounds_.Empty()) return;
  if (mouseOver) g.FillRect(GetColor(kHL), valueBounds_, &blend_);
  std::string display;
  if (const Param* p = GetParam()) p->GetDisplay(p->FromNormalized(GetValue()), false, display);
  g.DrawText(style_.valueText, display, valueBounds_, &blend_);
}

void VectorKnobControl::DrawWidget(Graphics& g) {
  const float cx = widgetBounds_.MW(), cy = widgetBounds_.MH();
  const float r = GetRadius();
  const float side = std::max(1.f, 2.f * (r - trackToHandleDistance_));
  const Rect handle(cx - 0.5f * side, cy - 0.5f * side, cx + 0.5f * side, cy + 0.5f * side);
  const float angle = ValueAngle();
  DrawValueArc(g, angle, cx, cy, r);
  DrawHandle(g, handle);
  DrawPointer(g, angle, cx, cy, 0.5f * handle.W());
}

void VectorKnobControl::DrawValueArc(Graphics& g, float angle, float cx, float cy, float radius) {
  if (trackSize_ <= 0.f) return;
  const float a1 = std::min(aAnchor_, angle), a2 = std::max(aAnchor_, angle);
  if (a2 - a1 <= 0.f) return;
  g.DrawArc(GetColor(kX1), cx, cy, radius, a1, a2, &blend_, trackSize_);
}

void VectorKnobControl::DrawHandle(Graphics& g, const Rect& handle) {
  DrawPressableEllipse(g, handle, mouseDown_, mouseIsOver_, IsDisabled());
}

void VectorKnobControl::DrawPointer(Graphics& g, float angle, float cx, float cy, float radius) {
  const float rad = (angle - 90.f) * std::numbers::pi_v<float> / 180.f;
  const float c = std::cos(rad), s = std::sin(rad);
  g.DrawLine(GetColor(kFR), cx + innerPointerFrac_ * radius * c, cy + innerPointerFrac_ * radius * s,
             cx + outerPointerFrac_ * radius * c, cy + outerPointerFrac_ * radius * s, &blend_, pointerThickness_);
}

void VectorKnobControl::OnMouseDown(float x, float y, const MouseMod& mod) {
  if (style_.showValue && valueIsEditable_ && valueBounds_.Contains(x, y)) {
    PromptForValue(0);
    return;
  }
  KnobControlBase::OnMouseDown(x, y, mod);
}

void VectorKnobControl::OnMouseUp(float x, float y, const MouseMod& mod) { KnobControlBase::OnMouseUp(x, y, mod); }

void VectorKnobControl::OnMouseDrag(float x, float y, float dx, float dy, const MouseMod& mod) {
  KnobControlBase::OnMouseDrag(x, y, dx, dy, mod);
}

void VectorKnobControl::OnMouseDblClick(float x, float y, const MouseMod& mod) { Control::OnMouseDblClick(x, y, mod); }

void VectorKnobControl::OnMouseWheel(float x, float y, const MouseMod& mod, float delta) {
  KnobControlBase::OnMouseWheel(x, y, mod, delta);
}

void VectorKnobControl::OnMouseOver(float x, float y, const MouseMod& mod) {
  if (style_.showValue && valueIsEditable_) valueMouseOver_ = valueBounds_.Contains(x, y);
  mouseIsOver_ = true;
  Control::OnMouseOver(x, y, mod);
  Control::SetDirty(false);
}

}  // namespace plugkit::gfx
