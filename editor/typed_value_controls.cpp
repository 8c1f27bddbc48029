// Typed caption and EQ band value controls.
#include "editor/typed_value_controls.h"

#include "editor/typed_value.h"
#include "gfx/graphics.h"

namespace quillfen::controls::typed_value {

using namespace plugkit::gfx;

namespace {

constexpr int kTypedLength = 16;

// The text entry covers the control's width, 18 units high, centred on it.
void openEntry(Control& control, const TextStyle& editing, const std::string& text) {
  Graphics* g = control.GetUI();
  if (!g || g->GetInTextEntry()) return;
  const Rect& r = control.GetRECT();
  control.SetTextEntryLength(kTypedLength);
  g->OpenTextEntry(control, editing, Rect(r.L, r.MH() - 9, r.R, r.MH() + 9), text, -1);
}

}  // namespace

bool sendTypedValue(Control& control, int paramIdx, const std::string& text, bool allowKilo) {
  plugkit::EditorDelegate* delegate = control.GetDelegate();
  if (paramIdx < 0 || !delegate) return false;
  const std::optional<double> shown = sendTypedText(*delegate, paramIdx, text, allowKilo);
  if (!shown) return false;
  if (Graphics* g = control.GetUI()) {
    g->ForEachControlWithParam(paramIdx, [&](Control* peer) {
      peer->SetValue(*shown, peer->LinkedToParam(paramIdx));
      peer->SetDirty(false);
    });
  }
  return true;
}

TypedCaptionControl::TypedCaptionControl(const Rect& bounds, int paramIdx, const TextStyle& text, Color background,
                                         bool showParamLabel, const TextStyle& editing)
    : CaptionControl(bounds, paramIdx, text, background, showParamLabel), editing_(editing) {}

void TypedCaptionControl::OnMouseDown(float, float, const MouseMod& mod) {
  const plugkit::Param* param = GetParam();
  if (!mod.L || !param) return;
  std::string display;
  param->GetDisplay(param->Value(), false, display);
  openEntry(*this, editing_, display);
}

void TypedCaptionControl::OnMouseDblClick(float x, float y, const MouseMod& mod) { OnMouseDown(x, y, mod); }

void TypedCaptionControl::OnTextEntryDone(const std::string& text, int) {
  sendTypedValue(*this, GetParamIdx(), text, false);
  SetDirty(false);
}

void TypedCaptionControl::Draw(Graphics& g) {
  const Color normal = text_.fg;
  if (mouseIsOver_) text_.fg = editing_.fg;
  CaptionControl::Draw(g);
  text_.fg = normal;
}

EqValueControl::EqValueControl(const Rect& bounds, int paramIdx, const TextStyle& normal, const TextStyle& editing)
    : Control(bounds, paramIdx), editing_(editing) {
  text_ = normal;
}

std::string EqValueControl::shownText() const {
  const plugkit::Param* param = GetParam();
  return bandValueText(param ? param->FromNormalized(GetValue()) : 0.0);
}

void EqValueControl::OnMouseDown(float, float, const MouseMod& mod) {
  if (mod.L) openEntry(*this, editing_, shownText());
}

void EqValueControl::OnMouseDblClick(float x, float y, const MouseMod& mod) { OnMouseDown(x, y, mod); }

void EqValueControl::OnTextEntryDone(const std::string& text, int) {
  sendTypedValue(*this, GetParamIdx(), text, false);
  SetDirty(false);
}

void EqValueControl::Draw(Graphics& g) {
  g.DrawText(mouseIsOver_ ? text_.WithColor(editing_.fg) : text_, shownText(), rect_, &blend_);
}

}  // namespace quillfen::controls::typed_value
