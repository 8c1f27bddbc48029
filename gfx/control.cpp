// Control values, dirty rules and default mouse behaviour; text, caption and panel controls.
#include "gfx/control.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "gfx/graphics.h"

namespace plugkit::gfx {

namespace {
double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }
// Nearest multiple of step, halves away from zero.
double roundToStep(double v, double step) { return step > 0.0 ? std::round(v / step) * step : v; }
}  // namespace

Control::Control(const Rect& bounds, int paramIdx, ActionFunc action)
    : rect_(bounds), target_(bounds), action_(std::move(action)), vals_{{paramIdx, 0.0}} {}

Control::Control(const Rect& bounds, const std::vector<int>& params, ActionFunc action)
    : rect_(bounds), target_(bounds), action_(std::move(action)) {
  for (int p : params) vals_.push_back({p, 0.0});
}

double Control::GetValue(int valIdx) const {
  return (valIdx >= 0 && valIdx < NVals()) ? vals_[static_cast<size_t>(valIdx)].normalised : 0.0;
}

int Control::GetParamIdx(int valIdx) const {
  return (valIdx >= 0 && valIdx < NVals()) ? vals_[static_cast<size_t>(valIdx)].paramIdx : -1;
}

const Param* Control::GetParam(int valIdx) const {
  const int idx = GetParamIdx(valIdx);
  return (idx >= 0 && delegate_) ? delegate_->GetParam(idx) : nullptr;
}

int Control::LinkedToParam(int paramIdx) const {
  for (int i = 0; i < NVals(); ++i)
    if (vals_[static_cast<size_t>(i)].paramIdx == paramIdx) return i;
  return -1;
}

void Control::SetParamIdx(int paramIdx, int valIdx) {
  if (valIdx >= 0 && valIdx < NVals()) vals_[static_cast<size_t>(valIdx)].paramIdx = paramIdx;
}

void Control::LinkShownParam(int paramIdx) {
  if (NVals() == 1 && vals_.front().paramIdx < 0) vals_.clear();
  vals_.push_back({paramIdx, 0.0, false});
}

bool Control::SendsValue(int valIdx) const {
  return GetParamIdx(valIdx) >= 0 && vals_[static_cast<size_t>(valIdx)].sent;
}

void Control::SetValue(double value, int valIdx) {
  if (valIdx >= 0 && valIdx < NVals()) vals_[static_cast<size_t>(valIdx)].normalised = value;
}

void Control::SetDirty(bool triggerAction, int valIdx) {
  if (NVals() == 1) valIdx = 0;
  const int lo = valIdx < 0 ? 0 : valIdx;
  const int hi = valIdx < 0 ? NVals() : std::min(valIdx + 1, NVals());
  for (int v = lo; v < hi; ++v) SetValue(clamp01(GetValue(v)), v);
  dirty_ = true;
  if (!triggerAction) return;
  for (int v = lo; v < hi; ++v) {
    if (!SendsValue(v)) continue;
    if (delegate_) delegate_->SetParamFromUI(GetParamIdx(v), GetValue(v));
    UpdatePeers(v);
  }
  if (action_) action_(this);
}

void Control::UpdatePeers(int valIdx) {
  if (!graphics_) return;
  const int p = GetParamIdx(valIdx);
  const double v = GetValue(valIdx);
  graphics_->ForEachControlWithParam(p, [&](Control* peer) {
    if (peer == this) return;
    const int peerIdx = peer->LinkedToParam(p);
    peer->SetValueFromDelegate(v, peerIdx);
  });
}

void Control::SetValueFromDelegate(double value, int valIdx) {
  // A control the user is dragging keeps the value under the mouse.
  if (graphics_ && graphics_->HoldsCapture(this)) return;
  if (GetValue(valIdx) != value) {
    SetValue(value, valIdx);
    SetDirty(false);
  }
}

void Control::SetValueFromUserInput(double value, int valIdx) {
  if (GetValue(valIdx) != value) {
    SetValue(value, valIdx);
    SetDirty(true, valIdx);
  }
}

double Control::NormalisedFromReal(const Param& p, double real) {
  real = roundToStep(real, p.GetStep());
  real = std::clamp(real, p.GetMin(), p.GetMax());
  return clamp01(p.ToNormalized(real));
}

void Control::SetValueToDefault(int valIdx) {
  if (NVals() == 1) valIdx = 0;
  const int lo = valIdx < 0 ? 0 : valIdx;
  const int hi = valIdx < 0 ? NVals() : std::min(valIdx + 1, NVals());
  for (int v = lo; v < hi; ++v) {
    if (const Param* p = GetParam(v)) SetValue(NormalisedFromReal(*p, p->GetDefault()), v);
  }
  SetDirty(true, valIdx);
}

void Control::SnapToMouse(float x, float y, Direction direction, const Rect& bounds, int valIdx, double lo,
                          double hi) {
  const float cx = std::clamp(x, bounds.L, bounds.R);
  const float cy = std::clamp(y, bounds.T, bounds.B);
  double v = direction == Direction::kVertical ? 1.0 - (cy - bounds.T) / bounds.H() : (cx - bounds.L) / bounds.W();
  v = std::clamp(std::round(v * 1000.0) / 1000.0, lo, hi);
  if (valIdx < 0) {
    for (int i = 0; i < NVals(); ++i) SetValue(v, i);
  } else {
    SetValue(v, valIdx);
  }
  SetDirty(true, valIdx);
}

void Control::SetPosition(float x, float y) {
  DamageCurrentArea();
  const float dx = x - rect_.L, dy = y - rect_.T;
  rect_ = rect_.GetTranslated(dx, dy);
  target_ = target_.GetTranslated(dx, dy);
  SetDirty(false);
}

void Control::SetSize(float w, float h) {
  DamageCurrentArea();
  rect_ = Rect(rect_.L, rect_.T, rect_.L + w, rect_.T + h);
  target_ = Rect(target_.L, target_.T, target_.L + w, target_.T + h);
  OnResize();
  SetDirty(false);
}

void Control::DamageCurrentArea() {
  if (graphics_) graphics_->AddDamage(rect_);
}

void Control::moveTo(const Rect& drawn, const Rect& target) {
  if (!(drawn == rect_)) DamageCurrentArea();
  rect_ = drawn;
  target_ = target;
  SetDirty(false);
}

void Control::Hide(bool hide) {
  if (hide == hidden_) return;
  // What the control covered is drawn again, from the controls under it.
  DamageCurrentArea();
  hidden_ = hide;
  SetDirty(false);
}

void Control::SetDisabled(bool disabled) {
  blend_.weight = disabled ? 0.25f : 1.f;
  disabled_ = disabled;
  SetDirty(false);
}

void Control::OnMouseDown(float, float, const MouseMod& mod) {
  if (mod.R) PromptForValue(0);
}

void Control::OnMouseDblClick(float x, float y, const MouseMod&) { SetValueToDefault(ValueIndexAt(x, y)); }

void Control::OnMouseOver(float, float, const MouseMod&) {
  if (!mouseIsOver_) {
    mouseIsOver_ = true;
    SetDirty(false);
  }
}

void Control::OnMouseOut() {
  if (mouseIsOver_) {
    mouseIsOver_ = false;
    SetDirty(false);
  }
}

void Control::PromptForValue(int valIdx) {
  const Param* p = GetParam(valIdx);
  if (!p || promptingDisabled_ || !graphics_) return;
  const Rect bounds = p->DisplayTextCount() > 0 ? rect_ : rect_.GetCentredInside(40.f, 16.f);
  graphics_->PromptForValue(*this, bounds, valIdx);
  SetDirty(false);
}

void Control::OnMenuChoice(const PopupMenu* menu, int valIdx) {
  if (!menu || menu->ChosenItemIdx() < 0 || promptingDisabled_) return;
  const Param* p = GetParam(valIdx);
  if (!p) return;
  SetValueFromUserInput(NormalisedFromReal(*p, static_cast<double>(menu->ChosenItemIdx())), valIdx);
}

// --- TextControl -----------------------------------------------------------------------------

TextControl::TextControl(const Rect& bounds, const std::string& str, const TextStyle& text, Color background,
                         bool setBoundsBasedOnStr)
    : Control(bounds), str_(str), bg_(background), setBoundsBasedOnStr_(setBoundsBasedOnStr) {
  text_ = text;
  SetIgnoreMouse(true);
}

void TextControl::OnInit() {
  if (setBoundsBasedOnStr_) fitToText();
}

void TextControl::fitToText() {
  if (!graphics_) return;
  Rect measured = rect_;
  graphics_->MeasureText(text_, str_, measured);
  const float cx = rect_.MW(), cy = rect_.MH();
  const float w = measured.W(), h = measured.H();
  rect_ = target_ = Rect(cx - 0.5f * w, cy - 0.5f * h, cx + 0.5f * w, cy + 0.5f * h);
  OnResize();
}

void TextControl::SetStr(const std::string& str) {
  if (str == str_) return;
  str_ = str;
  if (setBoundsBasedOnStr_) fitToText();
  SetDirty(false);
}

void TextControl::SetStrFmt(int maxLength, const char* format, ...) {
  std::string buf(static_cast<size_t>(std::max(maxLength, 0)) + 1, '\0');
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf.data(), buf.size(), format, args);
  va_end(args);
  buf.resize(std::char_traits<char>::length(buf.c_str()));
  SetStr(buf);
}

void TextControl::Draw(Graphics& g) {
  if (bg_.A > 0) g.FillRect(bg_, rect_, &blend_);
  if (!str_.empty()) g.DrawText(text_, str_, rect_, &blend_);
}

// --- CaptionControl --------------------------------------------------------------------------

CaptionControl::CaptionControl(const Rect& bounds, int paramIdx, const TextStyle& text, Color background,
                               bool showParamLabel)
    : TextControl(bounds, "", text, background), showParamLabel_(showParamLabel) {
  SetParamIdx(paramIdx);
  SetIgnoreMouse(false);
  DisablePrompt(false);
}

void CaptionControl::Draw(Graphics& g) {
  if (const Param* p = GetParam()) {
    std::string display;
    p->GetDisplay(p->FromNormalized(GetValue()), false, display);
    if (showParamLabel_ && p->GetLabel()[0] != '\0') display += std::string(" ") + p->GetLabel();
    str_ = display;
  }
  g.FillRect(bg_, rect_, &blend_);
  if (!str_.empty()) g.DrawText(text_, str_, rect_, &blend_);
}

void CaptionControl::OnMouseDown(float, float, const MouseMod& mod) {
  if (mod.L || mod.R) PromptForValue(0);
}

// --- ContainerBase and PanelControl ------------------------------------------------------------

void ContainerBase::OnAttached() {
  if (attachFunc_) attachFunc_(this, rect_);
}

void ContainerBase::OnResize() {
  if (resizeFunc_ && graphics_) resizeFunc_(this, rect_);
}

Control* ContainerBase::AddChildControl(std::unique_ptr<Control> child, int tag, const std::string& group) {
  if (!graphics_) return nullptr;
  const Control* after = children_.empty() ? static_cast<Control*>(this) : children_.back();
  Control* c = graphics_->InsertControlAfter(after, std::move(child), tag, group);
  if (c) {
    c->SetParent(this);
    if (hidden_) c->Hide(true);
    if (disabled_) c->SetDisabled(true);
    children_.push_back(c);
  }
  return c;
}

void ContainerBase::ForAllChildrenFunc(const std::function<void(Control*)>& f) {
  for (Control* c : children_) f(c);
}

void ContainerBase::Hide(bool hide) {
  for (Control* c : children_) c->Hide(hide);
  Control::Hide(hide);
}

void ContainerBase::SetDisabled(bool disabled) {
  for (Control* c : children_) c->SetDisabled(disabled);
  Control::SetDisabled(disabled);
}

void ContainerBase::SetPosition(float x, float y) {
  const float dx = x - rect_.L, dy = y - rect_.T;
  for (Control* c : children_) c->SetPosition(c->GetRECT().L + dx, c->GetRECT().T + dy);
  Control::SetPosition(x, y);
}

PanelControl::PanelControl(const Rect& bounds, const Pattern& pattern, bool drawFrame, AttachFunc attach,
                           ResizeFunc resize)
    : ContainerBase(bounds, std::move(attach), std::move(resize)), pattern_(pattern), drawFrame_(drawFrame) {
  SetIgnoreMouse(true);
}

void PanelControl::Draw(Graphics& g) {
  const Rect visible = g.VisiblePart(rect_);
  if (visible.W() > 0.f && visible.H() > 0.f) {
    g.PathRect(visible);
    g.PathFill(pattern_, {}, &blend_);
  }
  if (drawFrame_) g.DrawRect(kColorLightGray, rect_, &blend_, 1.f);
}

}  // namespace plugkit::gfx
