// Graphics context: attachment, hit testing, mouse routing, prompts, dirty-region drawing, paths.
#include "gfx/graphics.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace plugkit::gfx {

namespace {
constexpr float kClipPad = 0.75f;  // anti-aliased edges reach just outside a control's rectangle
constexpr double kPi = std::numbers::pi;

bool touches(const Rect& a, const Rect& b) { return a.L <= b.R && b.L <= a.R && a.T <= b.B && b.T <= a.B; }
}  // namespace

void RectList::Optimize() {
  bool merged = true;
  while (merged) {
    merged = false;
    for (size_t i = 0; i < rects_.size() && !merged; ++i) {
      for (size_t j = i + 1; j < rects_.size(); ++j) {
        if (touches(rects_[i], rects_[j])) {
          rects_[i] = rects_[i].Union(rects_[j]);
          rects_.erase(rects_.begin() + static_cast<std::ptrdiff_t>(j));
          merged = true;
          break;
        }
      }
    }
  }
}

PopupMenu::Item& PopupMenu::AddItem(const std::string& text, int index, int flags) {
  auto item = std::make_unique<Item>(text, flags);
  Item& ref = *item;
  if (index < 0 || index >= NItems()) {
    items_.push_back(std::move(item));
  } else {
    items_.insert(items_.begin() + index, std::move(item));
  }
  return ref;
}

PopupMenu::Item& PopupMenu::AddItem(const std::string& text, std::unique_ptr<PopupMenu> submenu) {
  Item& item = AddItem(text);
  item.SetSubmenu(std::move(submenu));
  return item;
}

CompositeOp CompositeFor(const Blend* blend) {
  CompositeOp op;
  if (!blend) return op;
  switch (blend->method) {
    case BlendMethod::kAdd:
      op.kind = CompositeOp::Kind::kBlendFunc;
      op.srcFactor = 0x40;   // source alpha
      op.dstFactor = 0x100;  // destination alpha
      break;
    case BlendMethod::kXOR:
      op.operation = 10;  // the back end numbers lighter 8, copy 9, xor 10
      break;
    default:
      op.operation = static_cast<int>(blend->method);
  }
  return op;
}

TextAnchor AnchorFor(const TextStyle& text, const Rect& b) {
  TextAnchor a{b.MW(), b.MH(), text.align, text.valign};
  if (text.align == Align::kNear) a.x = b.L;
  if (text.align == Align::kFar) a.x = b.R;
  if (text.valign == VAlign::kTop) a.y = b.T;
  if (text.valign == VAlign::kBottom) a.y = b.B;
  return a;
}

std::vector<ArcSegment> ArcToBeziers(float cx, float cy, float r, float a1Deg, float a2Deg, Winding dir) {
  // Angles: 0 at the top, clockwise; the drawing convention has 0 at three o'clock.
  double a0 = (a1Deg - 90.0) * kPi / 180.0;
  double a1 = (a2Deg - 90.0) * kPi / 180.0;
  double sweep = a1 - a0;
  if (dir == Winding::kCW) {
    if (std::abs(sweep) >= 2 * kPi) sweep = 2 * kPi;
    else while (sweep < 0) sweep += 2 * kPi;
  } else {
    if (std::abs(sweep) >= 2 * kPi) sweep = -2 * kPi;
    else while (sweep > 0) sweep -= 2 * kPi;
  }
  const int n = std::clamp(static_cast<int>(std::abs(sweep) / (kPi * 0.5) + 0.5), 1, 5);
  const double step = sweep / n;
  const double h = step / 2.0;
  const double k = std::abs(std::sin(h)) < 1e-12 ? 0.0 : 4.0 / 3.0 * (1.0 - std::cos(h)) / std::sin(h);
  std::vector<ArcSegment> segs;
  double a = a0;
  for (int i = 0; i < n; ++i) {
    const double b = a + step;
    const double c0 = std::cos(a), s0 = std::sin(a), c1 = std::cos(b), s1 = std::sin(b);
    segs.push_back({static_cast<float>(cx + r * c0), static_cast<float>(cy + r * s0),
                    static_cast<float>(cx + r * (c0 - k * s0)), static_cast<float>(cy + r * (s0 + k * c0)),
                    static_cast<float>(cx + r * (c1 + k * s1)), static_cast<float>(cy + r * (s1 - k * c1)),
                    static_cast<float>(cx + r * c1), static_cast<float>(cy + r * s1)});
    a = b;
  }
  return segs;
}

// --- Construction and the editor surface -------------------------------------------------------

Graphics::Graphics(EditorDelegate& delegate, int width, int height, float scale)
    : delegate_(delegate), width_(width), height_(height), drawScale_(scale) {
  drawScale_ = std::isfinite(scale) ? std::clamp(scale, minScale_, maxScale_) : 1.f;
}

Graphics::~Graphics() {
  *alive_ = false;
}

void Graphics::SetParamValueFromDelegate(int paramIdx, double normalised) {
  ForEachControlWithParam(paramIdx, [&](Control* c) { c->SetValueFromDelegate(normalised, c->LinkedToParam(paramIdx)); });
}

MessageBoxResult Graphics::ShowMessageBox(const std::string& message, const std::string& caption, MessageBoxType type,
                                          MessageBoxCompletion completion) {
  pointerToPopup();
  if (!platform_) {
    if (completion) completion(MessageBoxResult::kCancel);
    return MessageBoxResult::kCancel;
  }
  return platform_->ShowMessageBox(message, caption, type, std::move(completion));
}

void Graphics::AddDamage(const Rect& r) {
  if (!r.Empty()) damage_.Add(r.GetPadded(kClipPad));
}

void Graphics::MarkAllControlsDirty() {
  ForEachControl([](Control* c) { c->SetDirty(false); });
}

// --- Controls ----------------------------------------------------------------------------------

Control* Graphics::InsertControlAfter(const Control* after, std::unique_ptr<Control> control, int tag,
                                      const std::string& group) {
  if (tag >= 0 && tags_.count(tag)) return nullptr;
  Control* c = control.get();
  if (tag >= 0) tags_[tag] = c;
  c->SetAttachment(&delegate_, this, tag);
  c->OnInit();
  c->OnResize();
  c->OnRescale();
  c->SetGroup(group);
  const int idx = after ? GetControlIdx(after) : -1;
  if (idx < 0) {
    controls_.push_back(std::move(control));
  } else {
    controls_.insert(controls_.begin() + idx + 1, std::move(control));
  }
  c->OnAttached();
  return c;
}

Control* Graphics::AttachControl(std::unique_ptr<Control> control, int tag, const std::string& group) {
  return InsertControlAfter(nullptr, std::move(control), tag, group);
}

void Graphics::AttachBackground(const Pattern& pattern) {
  auto bg = std::make_unique<PanelControl>(GetBounds(), pattern);
  bg->SetAttachment(&delegate_, this, -1);
  bg->OnInit();
  bg->OnResize();
  if (isBackground_ && !controls_.empty()) {
    controls_.front() = std::move(bg);
  } else {
    controls_.insert(controls_.begin(), std::move(bg));
  }
  isBackground_ = true;
}

Control* Graphics::GetControl(int i) const {
  return (i >= 0 && i < NControls()) ? controls_[static_cast<size_t>(i)].get() : nullptr;
}

int Graphics::GetControlIdx(const Control* c) const {
  for (int i = 0; i < NControls(); ++i)
    if (controls_[static_cast<size_t>(i)].get() == c) return i;
  return -1;
}

Control* Graphics::ControlWithTag(int tag) const {
  auto it = tags_.find(tag);
  return it == tags_.end() ? nullptr : it->second;
}

Control* Graphics::ControlWithParam(int paramIdx) const {
  for (const auto& c : controls_)
    if (c->LinkedToParam(paramIdx) >= 0) return c.get();
  return nullptr;
}

void Graphics::ForEachControlWithParam(int paramIdx, const std::function<void(Control*)>& f) {
  if (paramIdx < 0) return;
  for (const auto& c : controls_)
    if (c->LinkedToParam(paramIdx) >= 0) f(c.get());
}

void Graphics::ForEachControlInGroup(const std::string& group, const std::function<void(Control*)>& f) {
  for (const auto& c : controls_)
    if (c->GetGroup() == group) f(c.get());
}

void Graphics::ForEachControl(const std::function<void(Control*)>& f) {
  for (const auto& c : controls_) f(c.get());
}

void Graphics::RemoveAllControls() {
  captured_ = nullptr;
  mouseOver_ = nullptr;
  mouseOverIdx_ = -1;
  inTextEntry_ = inPopupMenu_ = nullptr;
  tags_.clear();
  controls_.clear();
  AddDamage(GetBounds());
  isBackground_ = false;
}

// --- Size and scale ----------------------------------------------------------------------------

void Graphics::SetScreenScale(float s) {
  if (!(s > 0.f) || !std::isfinite(s)) return;
  s = std::clamp(s, kMinScreenScale, kMaxScreenScale);
  if (s == screenScale_) return;
  screenScale_ = s;
  ++layerGeneration_;
  ForEachControl([](Control* c) { c->OnRescale(); c->SetDirty(false); });
}

float Graphics::FitDrawScale(int widthPx, int heightPx) const {
  const float s = std::min(static_cast<float>(widthPx) / (static_cast<float>(width_) * screenScale_),
                           static_cast<float>(heightPx) / (static_cast<float>(height_) * screenScale_));
  return std::isfinite(s) ? std::clamp(s, minScale_, maxScale_) : minScale_;
}

std::pair<int, int> Graphics::PixelSize(float drawScale) const {
  const float s = std::clamp(drawScale, minScale_, maxScale_) * screenScale_;
  return {static_cast<int>(std::lround(static_cast<float>(width_) * s)),
          static_cast<int>(std::lround(static_cast<float>(height_) * s))};
}

void Graphics::Resize(int width, int height, float scale, bool needsPlatformResize) {
  scale = std::clamp(scale, minScale_, maxScale_);
  if (needsPlatformResize && platform_) {
    // Only a request: the size changes when the window reports it (OnWindowResized).
    if (width == width_ && height == height_) {
      const auto [w, h] = PixelSize(scale);
      platform_->ResizeWindow(w, h);
      return;
    }
  }
  if (width == width_ && height == height_ && scale == drawScale_) return;
  // Captures stay: positions in editor units keep their meaning, so a drag (the grip's) goes on.
  width_ = width;
  height_ = height;
  drawScale_ = scale;
  ++layerGeneration_;
  ForEachControl([](Control* c) { c->OnResize(); c->SetDirty(false); });
  AddDamage(GetBounds());
}

void Graphics::OnWindowResized(int widthPx, int heightPx) {
  if (widthPx <= 0 || heightPx <= 0) return;
  Resize(width_, height_, FitDrawScale(widthPx, heightPx), false);
}

// --- Hit testing and mouse ---------------------------------------------------------------------

Control* Graphics::ControlUnderMouse(float x, float y, bool capture, bool mouseOver) {
  if (captured_) return captured_;
  Control* found = nullptr;
  int foundIdx = -1;
  if (!mouseOver || (mouseOverEnabled_ && NControls() >= 2)) {
    const int first = mouseOver ? 1 : 0;
    for (int i = NControls() - 1; i >= first; --i) {
      Control* c = GetControl(i);
      if (c->IsHidden() || c->GetIgnoreMouse()) continue;
      if (c->IsDisabled() && !(mouseOver ? c->GetMouseOverWhenDisabled() : c->GetMouseEventsWhenDisabled())) continue;
      if (c->IsHit(x, y)) {
        found = c;
        foundIdx = i;
        break;
      }
    }
  }
  if (capture && found) captured_ = found;
  if (mouseOver) mouseOverIdx_ = foundIdx;
  return found;
}

void Graphics::ReleaseMouseCapture() { captured_ = nullptr; }

void Graphics::OnMouseDown(float x, float y, const MouseMod& mod) {
  if (captured_) return;  // one pointer at a time
  Control* c = ControlUnderMouse(x, y, true);
  if (!c) return;
  const int valIdx = std::max(c->ValueIndexAt(x, y), 0);
  if (mod.R && c->GetParamIdx(valIdx) >= 0) {
    ReleaseMouseCapture();
    OnMouseOut();
    contextMenu_.Clear();
    c->CreateContextMenu(contextMenu_);
    if (contextMenu_.NItems() > 0) {
      inPopupMenu_ = c;
      popupValIdx_ = valIdx;
      popupIsContext_ = true;
      if (platform_) {
        platform_->ShowPopupMenu(contextMenu_, Rect(x, y, x, y), [this](PopupMenu* chosen) {
          Control* owner = inPopupMenu_;
          inPopupMenu_ = nullptr;
          if (owner && chosen) owner->OnContextSelection(chosen->ChosenItemIdx());
        });
      }
    }
    return;
  }
  beginGesturesOf(c);
  c->OnMouseDown(x, y, mod);
}

void Graphics::beginGesturesOf(Control* c) {
  for (int v = 0; v < c->NVals(); ++v)
    if (c->SendsValue(v)) delegate_.BeginParamGestureFromUI(c->GetParamIdx(v));
}

void Graphics::endGesturesOf(Control* c) {
  for (int v = 0; v < c->NVals(); ++v)
    if (c->SendsValue(v)) delegate_.EndParamGestureFromUI(c->GetParamIdx(v));
}

void Graphics::OnMouseDrag(float x, float y, float dx, float dy, const MouseMod& mod) {
  if (captured_) captured_->OnMouseDrag(x, y, dx, dy, mod);
}

void Graphics::OnMouseUp(float x, float y, const MouseMod& mod) {
  if (Control* c = captured_) {
    c->OnMouseUp(x, y, mod);
    endGesturesOf(c);
    captured_ = nullptr;
  }
  OnMouseOver(x, y, mod);
}

void Graphics::OnMouseOver(float x, float y, const MouseMod& mod) {
  Control* c = ControlUnderMouse(x, y, false, true);
  if (c != mouseOver_ && mouseOver_) mouseOver_->OnMouseOut();
  mouseOver_ = c;
  if (c) c->OnMouseOver(x, y, mod);
}

void Graphics::OnMouseOut() {
  if (mouseOver_) mouseOver_->OnMouseOut();
  mouseOver_ = nullptr;
  mouseOverIdx_ = -1;
}

void Graphics::OnMouseDblClick(float x, float y, const MouseMod& mod) {
  Control* c = ControlUnderMouse(x, y, true);
  if (!c) return;
  if (c->GetMouseDblAsSingleClick()) {
    captured_ = nullptr;
    OnMouseDown(x, y, mod);
  } else {
    c->OnMouseDblClick(x, y, mod);
    ReleaseMouseCapture();
  }
}

void Graphics::OnMouseWheel(float x, float y, const MouseMod& mod, float delta) {
  if (Control* c = ControlUnderMouse(x, y, false)) c->OnMouseWheel(x, y, mod, delta);
}

bool Graphics::OnKeyDown(float x, float y, const KeyPress& key) {
  Control* c = ControlUnderMouse(x, y, false);
  return c && c->OnKeyDown(x, y, key);
}

// --- Pop-ups -----------------------------------------------------------------------------------

void Graphics::pointerToPopup() {
  if (captured_) endGesturesOf(captured_);
  ReleaseMouseCapture();
  OnMouseOut();
}

void Graphics::OpenPopupMenu(Control& control, PopupMenu& menu, const Rect& bounds, int valIdx) {
  pointerToPopup();
  inPopupMenu_ = &control;
  popupValIdx_ = valIdx;
  popupIsContext_ = false;
  auto done = [this](PopupMenu* chosen) {
    Control* c = inPopupMenu_;
    inPopupMenu_ = nullptr;
    if (!c) return;
    const int v = popupValIdx_;
    // A choice is a change of its own, inside a gesture of its own.
    const bool choice = chosen && chosen->ChosenItemIdx() >= 0;
    if (choice) beginGesturesOf(c);
    c->OnMenuChoice(choice ? chosen : nullptr, v);
    if (choice) endGesturesOf(c);
  };
  if (platform_) {
    platform_->ShowPopupMenu(menu, bounds, done);
  } else {
    done(nullptr);
  }
}

void Graphics::OpenTextEntry(Control& control, const TextStyle& text, const Rect& bounds, const std::string& initial,
                             int valIdx) {
  pointerToPopup();
  inTextEntry_ = &control;
  textEntryValIdx_ = valIdx;
  control.SetDirty(false);
  auto done = [this](const std::optional<std::string>& str) {
    Control* c = inTextEntry_;
    const int v = textEntryValIdx_;
    inTextEntry_ = nullptr;
    if (!c || !str) return;
    if (const Param* p = v >= 0 ? c->GetParam(v) : nullptr) {
      beginGesturesOf(c);
      c->SetValueFromUserInput(Control::NormalisedFromReal(*p, p->StringToValue(str->c_str())), v);
      endGesturesOf(c);
    } else {
      c->OnTextEntryDone(*str, v);
    }
  };
  if (platform_) {
    platform_->ShowTextEntry(text, bounds, initial, control.GetTextEntryLength(), done);
  } else {
    done(std::nullopt);
  }
}

void Graphics::PromptForValue(Control& control, const Rect& bounds, int valIdx) {
  const Param* p = control.GetParam(valIdx);
  if (!p) return;
  std::string current;
  p->GetDisplay(p->FromNormalized(control.GetValue(valIdx)), false, current);
  const bool menu = p->Type() == Param::kTypeEnum || (p->Type() == Param::kTypeBool && p->DisplayTextCount() > 0);
  if (menu) {
    promptMenu_ = PopupMenu(p->GetName());
    const int n = p->DisplayTextCount() > 0 ? p->DisplayTextCount() : static_cast<int>(p->GetRange()) + 1;
    for (int i = 0; i < n; ++i) {
      std::string item;
      p->GetDisplay(p->GetMin() + i, false, item);
      promptMenu_.AddItem(item).SetChecked(item == current);
    }
    OpenPopupMenu(control, promptMenu_, bounds, valIdx);
  } else {
    if (control.GetPromptShowsParamLabel() && p->GetLabel()[0] != '\0') current += std::string(" ") + p->GetLabel();
    OpenTextEntry(control, control.GetText(), bounds, current, valIdx);
  }
}

// --- Frame cycle -------------------------------------------------------------------------------

bool Graphics::HasDamage() const {
  if (!damage_.Empty()) return true;
  for (const auto& c : controls_)
    if (c->IsDirty() && (!c->IsHidden() || c.get() == GetControl(0))) return true;
  return false;
}

bool Graphics::IsDirty(RectList& rects) {
  rects.Clear();
  auto add = [&](const Rect& r) {
    if (const Rect inside = r.Intersect(GetBounds()); !inside.Empty()) rects.Add(inside);
  };
  for (const Rect& r : damage_) add(r);
  for (const auto& c : controls_) {
    if (c->IsDirty() && (!c->IsHidden() || c.get() == GetControl(0))) add(c->DirtyRect().GetPadded(kClipPad));
  }
  return !rects.Empty();
}

Rect Graphics::controlClip(const Control& c, const Rect& dirty) const {
  Rect clip = c.GetRECT().GetPadded(kClipPad).PixelSnappedOut(GetTotalScale()).Intersect(dirty);
  for (const ContainerBase* parent = c.GetParent(); parent && !clip.Empty(); parent = parent->GetParent())
    clip = clip.Intersect(parent->GetRECT());
  return clip;
}

void Graphics::drawControl(Control& c, const Rect& dirty) {
  const Rect clip = controlClip(c, dirty);
  if (clip.Empty()) return;
  PathTransformSave();
  PathClipRegion(clip);
  PrepareRegion(clip);
  c.Draw(*this);
  CompleteRegion(clip);
  PathClipRegion();
  PathTransformRestore();
}

void Graphics::Draw(RectList& rects, const TopLayer& top) {
  rects.PixelAlign(GetTotalScale());
  rects.Optimize();
  for (const Rect& dirty : rects) {
    BeginRegion(dirty);
    for (int i = 0; i < NControls(); ++i) {
      Control* c = GetControl(i);
      if (c->IsHidden() && i != 0) continue;
      // The same area as its clip: a control whose fringe reaches into the region draws it there.
      if (!c->GetRECT().GetPadded(kClipPad).PixelSnappedOut(GetTotalScale()).Intersects(dirty)) continue;
      drawControl(*c, dirty);
    }
    if (top) {
      PathTransformSave();
      PathClipRegion(dirty);
      top(*this);
      PathClipRegion();
      PathTransformRestore();
    }
  }
  ForEachControl([](Control* c) { c->SetClean(); });
  damage_.Clear();
}

bool Graphics::DrawFrameIfDirty() {
  RectList rects;
  return DrawFrameIfDirty(rects);
}

bool Graphics::DrawFrameIfDirty(RectList& drawn) {
  if (!IsDirty(drawn)) return false;
  BeginFrame();
  Draw(drawn);
  EndFrame();
  return true;
}

void Graphics::DrawAll() {
  RectList rects;
  rects.Add(GetBounds());
  BeginFrame();
  Draw(rects);
  EndFrame();
}

void Graphics::BeginFrame() {
  pathStarted_ = false;
  DoPathClear();
}

// --- Path operations ---------------------------------------------------------------------------

void Graphics::PathClear() {
  DoPathClear();
  pathStarted_ = false;
}

void Graphics::PathMoveTo(float x, float y) {
  DoPathMoveTo(x, y);
  pathStarted_ = true;
  lastX_ = x, lastY_ = y;
}

void Graphics::PathLineTo(float x, float y) {
  if (pathStarted_) DoPathLineTo(x, y);
  else DoPathMoveTo(x, y);
  pathStarted_ = true;
  lastX_ = x, lastY_ = y;
}

void Graphics::PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) {
  if (!pathStarted_) DoPathMoveTo(c1x, c1y);
  DoPathCubicBezierTo(c1x, c1y, c2x, c2y, x2, y2);
  pathStarted_ = true;
  lastX_ = x2, lastY_ = y2;
}

void Graphics::PathQuadraticBezierTo(float cx, float cy, float x2, float y2) {
  // Elevated to a cubic so back ends need only one curve primitive.
  float x0 = cx, y0 = cy;
  if (!pathStarted_) DoPathMoveTo(cx, cy);
  else x0 = lastX_, y0 = lastY_;
  DoPathCubicBezierTo(x0 + 2.f / 3.f * (cx - x0), y0 + 2.f / 3.f * (cy - y0), x2 + 2.f / 3.f * (cx - x2),
                      y2 + 2.f / 3.f * (cy - y2), x2, y2);
  pathStarted_ = true;
  lastX_ = x2, lastY_ = y2;
}

void Graphics::PathArc(float cx, float cy, float r, float a1, float a2, Winding dir) {
  const auto segs = ArcToBeziers(cx, cy, r, a1, a2, dir);
  if (segs.empty()) return;
  PathLineTo(segs.front().x1, segs.front().y1);
  for (const ArcSegment& s : segs) DoPathCubicBezierTo(s.cx1, s.cy1, s.cx2, s.cy2, s.x2, s.y2);
  lastX_ = segs.back().x2, lastY_ = segs.back().y2;
}

void Graphics::PathRect(const Rect& r) {
  PathMoveTo(r.L, r.T);
  PathLineTo(r.R, r.T);
  PathLineTo(r.R, r.B);
  PathLineTo(r.L, r.B);
  PathClose();
}

void Graphics::PathRoundRect(const Rect& r, float tl, float tr, float br, float bl) {
  const float lim = 0.5f * std::min(r.W(), r.H());
  tl = std::clamp(tl, 0.f, lim), tr = std::clamp(tr, 0.f, lim), br = std::clamp(br, 0.f, lim), bl = std::clamp(bl, 0.f, lim);
  PathMoveTo(r.L, r.T + tl);
  if (tl > 0.f) PathArc(r.L + tl, r.T + tl, tl, 270.f, 360.f);
  PathLineTo(r.R - tr, r.T);
  if (tr > 0.f) PathArc(r.R - tr, r.T + tr, tr, 0.f, 90.f);
  PathLineTo(r.R, r.B - br);
  if (br > 0.f) PathArc(r.R - br, r.B - br, br, 90.f, 180.f);
  PathLineTo(r.L + bl, r.B);
  if (bl > 0.f) PathArc(r.L + bl, r.B - bl, bl, 180.f, 270.f);
  PathClose();
}

void Graphics::PathEllipse(float cx, float cy, float rx, float ry) {
  PathTransformSave();
  PathTransformTranslate(cx, cy);
  PathTransformScale(rx, ry);
  PathMoveTo(0.f, -1.f);
  PathArc(0.f, 0.f, 1.f, 0.f, 360.f);
  PathClose();
  PathTransformRestore();
}

void Graphics::PathTransformRotate(float deg) {
  const float a = static_cast<float>(deg * kPi / 180.0);
  transform(std::cos(a), std::sin(a), -std::sin(a), std::cos(a), 0.f, 0.f);
}

void Graphics::PathFill(const Pattern& pattern, const FillOptions& options, const Blend* blend) {
  DoSetComposite(CompositeFor(blend));
  DoPathFill(pattern, options.rule, blend);
  DoSetComposite(CompositeOp{});
  if (!options.preserve) PathClear();
}

void Graphics::PathStroke(const Pattern& pattern, float thickness, const StrokeOptions& options, const Blend* blend) {
  DoSetComposite(CompositeFor(blend));
  DoPathSetWinding(Winding::kCCW);
  DoPathStroke(pattern, thickness, options, blend);
  DoSetComposite(CompositeOp{});
  if (!options.preserve) PathClear();
}

void Graphics::PathClipRegion(const Rect& r) {
  clip_ = r;
  if (r.Empty()) DoResetClip();
  else DoSetClipRegion(r);
}

// --- Drawing operations ------------------------------------------------------------------------

void Graphics::fillOrStroke(const Color& c, const Blend* blend, float thickness, bool fill) {
  if (fill) PathFill(c, {}, blend);
  else PathStroke(c, thickness, {}, blend);
}

void Graphics::DrawPoint(const Color& c, float x, float y, const Blend* blend) { FillRect(c, Rect(x, y, x + 1.f, y + 1.f), blend); }

void Graphics::DrawLine(const Color& c, float x1, float y1, float x2, float y2, const Blend* blend, float thickness) {
  const float reach = 0.5f * thickness + 1.f;  // half the width, and the anti-aliased edge
  if (ClippedAway(Rect(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)).GetPadded(reach))) return;
  PathClear();
  PathMoveTo(x1, y1);
  PathLineTo(x2, y2);
  fillOrStroke(c, blend, thickness, false);
}

void Graphics::dashTo(float x1, float y1, float x2, float y2, float dashLen) {
  const float len = std::hypot(x2 - x1, y2 - y1);
  if (len <= 0.f || dashLen <= 0.f) return;
  const float ux = (x2 - x1) / len, uy = (y2 - y1) / len;
  for (float d = 0.f; d < len; d += 2.f * dashLen) {
    const float e = std::min(d + dashLen, len);
    PathMoveTo(x1 + ux * d, y1 + uy * d);
    PathLineTo(x1 + ux * e, y1 + uy * e);
  }
}

void Graphics::DrawDottedLine(const Color& c, float x1, float y1, float x2, float y2, const Blend* blend,
                              float thickness, float dashLen) {
  PathClear();
  dashTo(x1, y1, x2, y2, dashLen);
  PathStroke(c, thickness, {}, blend);
}

void Graphics::DrawTriangle(const Color& c, float x1, float y1, float x2, float y2, float x3, float y3,
                            const Blend* blend, float thickness) {
  PathClear();
  PathMoveTo(x1, y1), PathLineTo(x2, y2), PathLineTo(x3, y3), PathClose();
  fillOrStroke(c, blend, thickness, false);
}

void Graphics::DrawRect(const Color& c, const Rect& r, const Blend* blend, float thickness) {
  PathClear();
  PathRect(r);
  fillOrStroke(c, blend, thickness, false);
}

void Graphics::DrawRoundRect(const Color& c, const Rect& r, float radius, const Blend* blend, float thickness) {
  DrawRoundRect(c, r, radius, radius, radius, radius, blend, thickness);
}

void Graphics::DrawRoundRect(const Color& c, const Rect& r, float tl, float tr, float br, float bl, const Blend* blend,
                             float thickness) {
  PathClear();
  PathRoundRect(r, tl, tr, br, bl);
  fillOrStroke(c, blend, thickness, false);
}

void Graphics::DrawArc(const Color& c, float cx, float cy, float r, float a1, float a2, const Blend* blend, float thickness) {
  PathClear();
  PathArc(cx, cy, r, a1, a2);
  fillOrStroke(c, blend, thickness, false);
}

void Graphics::DrawCircle(const Color& c, float cx, float cy, float r, const Blend* blend, float thickness) {
  PathClear();
  PathArc(cx, cy, r, 0.f, 360.f);
  PathClose();
  fillOrStroke(c, blend, thickness, false);
}

void Graphics::DrawEllipse(const Color& c, const Rect& r, const Blend* blend, float thickness) {
  PathClear();
  PathEllipse(r.MW(), r.MH(), 0.5f * r.W(), 0.5f * r.H());
  fillOrStroke(c, blend, thickness, false);
}

void Graphics::DrawEllipse(const Color& c, float x, float y, float r1, float r2, float angle, const Blend* blend,
                           float thickness) {
  PathClear();
  PathTransformSave();
  PathTransformTranslate(x, y);
  PathTransformRotate(angle);
  PathEllipse(0.f, 0.f, r1, r2);
  PathTransformRestore();
  fillOrStroke(c, blend, thickness, false);
}

void Graphics::DrawConvexPolygon(const Color& c, const float* x, const float* y, int n, const Blend* blend, float thickness) {
  if (n < 2) return;
  PathClear();
  PathMoveTo(x[0], y[0]);
  for (int i = 1; i < n; ++i) PathLineTo(x[i], y[i]);
  PathClose();
  fillOrStroke(c, blend, thickness, false);
}

void Graphics::DrawDottedRect(const Color& c, const Rect& r, const Blend* blend, float thickness, float dashLen) {
  PathClear();
  dashTo(r.L, r.T, r.R, r.T, dashLen);
  dashTo(r.R, r.T, r.R, r.B, dashLen);
  dashTo(r.R, r.B, r.L, r.B, dashLen);
  dashTo(r.L, r.B, r.L, r.T, dashLen);
  PathStroke(c, thickness, {}, blend);
}

void Graphics::FillTriangle(const Color& c, float x1, float y1, float x2, float y2, float x3, float y3, const Blend* blend) {
  PathClear();
  PathMoveTo(x1, y1), PathLineTo(x2, y2), PathLineTo(x3, y3), PathClose();
  fillOrStroke(c, blend, 0.f, true);
}

void Graphics::FillRect(const Color& c, const Rect& r, const Blend* blend) {
  if (ClippedAway(r.GetPadded(1.f))) return;
  PathClear();
  PathRect(r);
  fillOrStroke(c, blend, 0.f, true);
}

void Graphics::FillRoundRect(const Color& c, const Rect& r, float radius, const Blend* blend) {
  FillRoundRect(c, r, radius, radius, radius, radius, blend);
}

void Graphics::FillRoundRect(const Color& c, const Rect& r, float tl, float tr, float br, float bl, const Blend* blend) {
  PathClear();
  PathRoundRect(r, tl, tr, br, bl);
  fillOrStroke(c, blend, 0.f, true);
}

void Graphics::FillCircle(const Color& c, float cx, float cy, float r, const Blend* blend) {
  PathClear();
  PathArc(cx, cy, r, 0.f, 360.f);
  PathClose();
  fillOrStroke(c, blend, 0.f, true);
}

void Graphics::FillEllipse(const Color& c, const Rect& r, const Blend* blend) {
  PathClear();
  PathEllipse(r.MW(), r.MH(), 0.5f * r.W(), 0.5f * r.H());
  fillOrStroke(c, blend, 0.f, true);
}

void Graphics::FillEllipse(const Color& c, float x, float y, float r1, float r2, float angle, const Blend* blend) {
  PathClear();
  PathTransformSave();
  PathTransformTranslate(x, y);
  PathTransformRotate(angle);
  PathEllipse(0.f, 0.f, r1, r2);
  PathTransformRestore();
  fillOrStroke(c, blend, 0.f, true);
}

void Graphics::FillConvexPolygon(const Color& c, const float* x, const float* y, int n, const Blend* blend) {
  if (n < 3) return;
  PathClear();
  PathMoveTo(x[0], y[0]);
  for (int i = 1; i < n; ++i) PathLineTo(x[i], y[i]);
  PathClose();
  fillOrStroke(c, blend, 0.f, true);
}

void Graphics::DrawText(const TextStyle& text, const std::string& str, const Rect& bounds, const Blend* blend) {
  if (str.empty()) return;
  const TextAnchor anchor = AnchorFor(text, bounds);
  if (text.angleDeg == 0.f) {
    // A bound that needs no measuring: no glyph advances more than the font's size (a byte of
    // UTF-8 is at most a glyph), and none reaches further than twice the size from the anchor.
    const float width = text.size * static_cast<float>(str.size());
    const float left = text.align == Align::kNear ? anchor.x : text.align == Align::kFar ? anchor.x - width : anchor.x - 0.5f * width;
    const Rect reach = Rect(left, anchor.y, left + width, anchor.y).GetPadded(2.f * text.size);
    if (ClippedAway(reach)) return;
  }
  DoSetComposite(CompositeFor(blend));
  DoTransformSave();
  if (text.angleDeg != 0.f) {
    DoTransform(1, 0, 0, 1, anchor.x, anchor.y);
    PathTransformRotate(text.angleDeg);
    DoTransform(1, 0, 0, 1, -anchor.x, -anchor.y);
  }
  DoDrawText(text, str, anchor, blend);
  DoSetComposite(CompositeOp{});
  DoTransformRestore();
}

float Graphics::MeasureText(const TextStyle& text, const std::string& str, Rect& bounds) {
  const TextAnchor anchor = AnchorFor(text, bounds);
  Rect box = DoMeasureText(text, str, anchor);
  if (text.angleDeg != 0.f) {
    // The rotated box's bounding rectangle about the anchor.
    const double a = text.angleDeg * kPi / 180.0;
    const float cs = static_cast<float>(std::cos(a)), sn = static_cast<float>(std::sin(a));
    const float xs[4] = {box.L, box.R, box.R, box.L}, ys[4] = {box.T, box.T, box.B, box.B};
    Rect rot(1e9f, 1e9f, -1e9f, -1e9f);
    for (int i = 0; i < 4; ++i) {
      const float dx = xs[i] - anchor.x, dy = ys[i] - anchor.y;
      const float x = anchor.x + dx * cs - dy * sn, y = anchor.y + dx * sn + dy * cs;
      rot = Rect(std::min(rot.L, x), std::min(rot.T, y), std::max(rot.R, x), std::max(rot.B, y));
    }
    box = rot;
  }
  bounds = box;
  return box.W();
}

void Graphics::DrawMultiLineText(const TextStyle& text, const std::string& str, const Rect& bounds, const Blend* blend) {
  std::vector<std::string> lines;
  std::string line, word;
  auto flushWord = [&]() {
    if (word.empty()) return;
    const std::string candidate = line.empty() ? word : line + " " + word;
    Rect m = bounds;
    if (!line.empty() && MeasureText(text, candidate, m) > bounds.W()) {
      lines.push_back(line);
      line = word;
    } else {
      line = candidate;
    }
    word.clear();
  };
  for (char ch : str) {
    if (ch == ' ') flushWord();
    else if (ch == '\n') { flushWord(); lines.push_back(line); line.clear(); }
    else word += ch;
  }
  flushWord();
  if (!line.empty()) lines.push_back(line);
  const float lineH = text.size * 1.2f;
  TextStyle top = text.WithVAlign(VAlign::kTop);
  for (size_t i = 0; i < lines.size(); ++i) {
    const float t = bounds.T + lineH * static_cast<float>(i);
    DrawText(top, lines[i], Rect(bounds.L, t, bounds.R, t + lineH), blend);
  }
}

// --- Layers ------------------------------------------------------------------------------------

void Graphics::StartLayer(Control* owner, const Rect& r, bool) {
  const int handle = DoStartLayer(r);
  layerStack_.push_back({owner, r, handle});
}

LayerPtr Graphics::EndLayer() {
  if (layerStack_.empty()) return nullptr;
  const OpenLayer top = layerStack_.back();
  layerStack_.pop_back();
  DoEndLayer(top.handle);
  std::weak_ptr<bool> alive = alive_;
  return std::make_unique<Layer>(top.handle, top.bounds, GetTotalScale(), layerGeneration_, [this, alive](int h) {
    if (auto a = alive.lock(); a && *a) DoDeleteLayer(h);
  });
}

bool Graphics::CheckLayer(const LayerPtr& layer) const {
  return layer && layer->Generation() == layerGeneration_ && layer->Scale() == GetTotalScale();
}

void Graphics::DrawLayer(const LayerPtr& layer, const Blend* blend) {
  if (!layer) return;
  DoSetComposite(CompositeFor(blend));
  DoDrawLayer(*layer, blend);
  DoSetComposite(CompositeOp{});
}

}  // namespace plugkit::gfx
