// Preset bar: events through the model, drawing in code.
#include "editor/preset_bar_control.h"

#include <algorithm>
#include <cmath>

#include "gfx/graphics.h"

namespace quillfen::controls {

using namespace plugkit::gfx;
using namespace plumbrook::editor;

PresetBarControl::PresetBarControl(const Rect& bounds, Style style, PresetHooks hooks, MenuCallback menu)
    : Control(bounds), style_(std::move(style)), model_(std::move(hooks)), menu_(std::move(menu)) {}

PresetBarGeometry PresetBarControl::geometry() const {
  PresetBarGeometry geometry{{rect_.L, rect_.T, rect_.R, rect_.B}};
  geometry.leftInset = style_.leftInset;
  geometry.rightInset = style_.rightInset;
  geometry.scale = style_.scale;
  geometry.hasLabel = !style_.label.empty();
  geometry.hasMenu = static_cast<bool>(menu_);
  return geometry;
}

Rect PresetBarControl::regionRect(int region) const {
  return geometry().layout()[static_cast<size_t>(std::clamp(region, 0, 7))];
}

void PresetBarControl::OnMouseDown(float x, float y, const MouseMod&) {
  switch (model_.mouseDown(regionAt(x, y))) {
    case PresetBarModel::Request::kOpenList:
      openList();
      break;
    case PresetBarModel::Request::kPromptName:
      promptForName();
      break;
    case PresetBarModel::Request::kOpenSettings:
      if (menu_) menu_(regionRect(kRegionMenu));
      break;
    case PresetBarModel::Request::kNone:
      break;
  }
  SetDirty(false);
}

void PresetBarControl::OnMouseOver(float x, float y, const MouseMod& mod) {
  Control::OnMouseOver(x, y, mod);
  if (model_.hover(regionAt(x, y))) SetDirty(false);
}

void PresetBarControl::OnMouseOut() {
  Control::OnMouseOut();
  model_.mouseOut();
  SetDirty(false);
}

void PresetBarControl::openList() {
  Graphics* g = GetUI();
  const std::vector<std::string>& names = model_.namesForMenu();
  if (!g || names.empty()) return;
  listMenu_.Clear();
  const std::string current = model_.current();
  for (const std::string& name : names)
    listMenu_.AddItem(name, -1, name == current ? PopupMenu::Item::kChecked : PopupMenu::Item::kNoFlags);
  g->OpenPopupMenu(*this, listMenu_, regionRect(kRegionName));
}

void PresetBarControl::OnMenuChoice(const PopupMenu* menu, int) {
  if (menu) model_.listChosen(menu->ChosenItemIdx());
  SetDirty(false);
}

void PresetBarControl::promptForName() {
  Graphics* g = GetUI();
  if (!g) return;
  const Rect box = regionRect(kRegionName);
  const float width = std::max(220.0f * style_.scale, box.W());
  SetTextEntryLength(80);
  // The window stops sending this press's release once a text field is open.
  g->ReleaseMouseCapture();
  g->OpenTextEntry(*this, style_.textStyle, Rect(box.MW() - width / 2, box.T, box.MW() + width / 2, box.B),
                   model_.current());
}

void PresetBarControl::OnTextEntryDone(const std::string& text, int) {
  model_.nameEntered(text);
  SetDirty(false);
}

std::string PresetBarControl::fitted(Graphics& g, const TextStyle& text, const std::string& s, float width) {
  if (s == fitInput_ && std::fabs(width - fitWidth_) < 0.5f) return fitResult_;
  fitInput_ = s;
  fitWidth_ = width;
  fitResult_ = fittedText(s, [&](const std::string& candidate) {
    Rect bounds = rect_;
    return g.MeasureText(text, candidate, bounds) <= width;
  });
  return fitResult_;
}

void PresetBarControl::drawButton(Graphics& g, int region, const std::string& caption, bool hoverable,
                                  const Color& frame, const Color& captionColour) {
  const Rect r = regionRect(region);
  const float radius = r.H() / 4;
  g.FillRoundRect(style_.box, r, radius, &blend_);
  if (hoverable && model_.hovered() == region) g.FillRoundRect(style_.hover, r, radius, &blend_);
  g.DrawRoundRect(frame, r, radius, &blend_, 1.0f);
  g.DrawText(style_.textStyle.WithColor(captionColour).WithAlign(plugkit::gfx::Align::kCenter), caption, r, &blend_);
}

void PresetBarControl::drawHamburger(Graphics& g, const Rect& r, bool hovered) {
  if (hovered) g.FillRoundRect(style_.hover, r, r.H() / 4, &blend_);
  const float length = 0.46f * r.W();
  const float thickness = std::max(1.0f, 0.085f * r.H());
  const Color& colour = hovered ? style_.text : style_.dim;
  for (int i = -1; i <= 1; ++i) {
    const float y = r.MH() + 0.21f * r.H() * static_cast<float>(i);
    g.FillRect(colour, Rect(r.MW() - length / 2, y - thickness / 2, r.MW() + length / 2, y + thickness / 2), &blend_);
  }
}

void PresetBarControl::Draw(Graphics& g) {
  const bool listNonEmpty = !model_.names().empty();
  const std::string name = model_.current();
  const PresetBarGeometry geo = geometry();
  const float pad = geo.pad();

  g.FillRect(style_.background, rect_, &blend_);
  g.FillRect(style_.rule, Rect(rect_.L, rect_.B - 1, rect_.R, rect_.B), &blend_);
  const Rect previous = regionRect(kRegionPrevious);
  if (!style_.label.empty() && previous.L - pad > rect_.L + style_.leftInset)
    g.DrawText(style_.textStyle.WithColor(style_.dim), style_.label,
               Rect(rect_.L + style_.leftInset, rect_.T, previous.L - pad, rect_.B), &blend_);

  const Rect box = regionRect(kRegionName);
  g.FillRoundRect(style_.box, box, box.H() / 4, &blend_);
  if (model_.hovered() == kRegionName) g.FillRoundRect(style_.hover, box, box.H() / 4, &blend_);
  g.DrawRoundRect(style_.frame, box, box.H() / 4, &blend_, 1.0f);

  const float inset = std::max(2.0f, 0.18f * rect_.H());
  const Rect inside(box.L + inset, box.T, box.R - inset, box.B);
  if (!name.empty()) {
    const TextStyle text = style_.textStyle.WithColor(style_.text);
    const std::string suffix = model_.modified() ? "*" : "";
    Rect measured = inside;
    const float suffixWidth = suffix.empty() ? 0.0f : g.MeasureText(text, suffix, measured);
    g.DrawText(text, fitted(g, text, name, inside.W() - suffixWidth) + suffix, inside, &blend_);
  } else {
    g.DrawText(style_.textStyle.WithColor(style_.dim), "no preset", inside, &blend_);
  }

  for (int region : {kRegionPrevious, kRegionNext}) {
    const Rect r = regionRect(region);
    if (listNonEmpty && model_.hovered() == region) g.FillRect(style_.hover, r, &blend_);
    const float halfW = 0.22f * r.W();
    const float halfH = 0.26f * r.H();
    const Color& colour = listNonEmpty ? style_.text : style_.dim;
    if (region == kRegionPrevious)
      g.FillTriangle(colour, r.MW() - halfW, r.MH(), r.MW() + halfW, r.MH() - halfH, r.MW() + halfW, r.MH() + halfH,
                     &blend_);
    else
      g.FillTriangle(colour, r.MW() + halfW, r.MH(), r.MW() - halfW, r.MH() - halfH, r.MW() - halfW, r.MH() + halfH,
                     &blend_);
  }

  const bool current = !name.empty();
  drawButton(g, kRegionSave, "Save", current, style_.frame, current ? style_.text : style_.dim);
  drawButton(g, kRegionSaveAs, "Save as", true, style_.frame, style_.text);
  const bool armed = model_.deleteArmed();
  drawButton(g, kRegionDelete, armed ? "Sure?" : "Delete", current, armed ? style_.warning : style_.frame,
             armed ? style_.warning : style_.text);
  if (menu_) drawHamburger(g, regionRect(kRegionMenu), model_.hovered() == kRegionMenu);
}

}  // namespace quillfen::controls
