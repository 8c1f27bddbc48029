// In-window pop-ups: layout, drawing with the graphics context, and mouse and keyboard handling.
#include "platform/window/overlays.h"

#include <algorithm>

namespace plugkit::platform {

namespace {
using gfx::Color;
using gfx::Rect;

// The editor's dark look.
constexpr Color kPanel{255, 38, 40, 44};
constexpr Color kPanelEdge{255, 84, 88, 96};
constexpr Color kText{255, 226, 228, 232};
constexpr Color kDimText{255, 120, 124, 130};
constexpr Color kHighlight{255, 62, 108, 170};
constexpr Color kShade{140, 0, 0, 0};
// A value being typed: the editor's editing style.
constexpr Color kEntryFill{255, 30, 30, 30};
constexpr Color kEntryText{255, 250, 250, 250};
constexpr float kRowH = 22.f;
constexpr float kSeparatorH = 9.f;
constexpr float kPadX = 10.f;
constexpr float kCheckW = 18.f;
constexpr float kShadowX = 2.f, kShadowY = 3.f;  // a menu's shadow, offset from it
const gfx::TextStyle kMenuText = gfx::TextStyle(14.f, kText).WithAlign(gfx::Align::kNear);
const gfx::TextStyle kBoldText = gfx::TextStyle(15.f, kText).WithFont("RobotoCondensed-Bold");

float rowHeight(const gfx::PopupMenu::Item& item) { return item.IsSeparator() ? kSeparatorH : kRowH; }
}  // namespace

std::u32string FromUtf8(const std::string& s) {
  std::u32string out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + static_cast<size_t>(n) > s.size()) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    char32_t cp = n == 1 ? c : c & (0x7F >> n);
    bool ok = true;
    for (int k = 1; k < n; ++k) {
      const unsigned char cc = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
      ok = ok && (cc >> 6) == 2;
      cp = (cp << 6) | (cc & 0x3F);
    }
    out.push_back(ok ? cp : 0xFFFD);
    i += ok ? static_cast<size_t>(n) : 1;
  }
  return out;
}

std::string ToUtf8(const std::u32string& s) {
  std::string out;
  for (char32_t cp : s) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6)), out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12)), out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18)), out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

// --- Menu --------------------------------------------------------------------------------------

MenuOverlay::MenuOverlay(gfx::PopupMenu& menu, const Rect& anchor, const Rect& editorBounds,
                         gfx::GraphicsPlatform::MenuDone done)
    : root_(menu), editor_(editorBounds), done_(std::move(done)) {
  menu.SetChosenItemIdx(-1);
  openLevel(&menu, anchor.L, anchor.B);
}

void MenuOverlay::openLevel(gfx::PopupMenu* menu, float x, float y) {
  float h = 4.f;
  size_t longest = menu->Title().size();
  for (int i = 0; i < menu->NItems(); ++i) {
    h += rowHeight(*menu->GetItem(i));
    longest = std::max(longest, menu->GetItem(i)->Text().size());
  }
  const float title = menu->Title().empty() ? 0.f : kRowH;
  h += title;
  // Width from the text length: 7.5 units per character of 14-unit Roboto is generous.
  const float w = std::max(120.f, 2 * kPadX + kCheckW + 7.5f * static_cast<float>(longest) + 16.f);
  // Keep the menu inside the editor.
  x = std::clamp(x, editor_.L, std::max(editor_.L, editor_.R - w));
  y = std::clamp(y, editor_.T, std::max(editor_.T, editor_.B - h));
  levels_.push_back({menu, Rect(x, y, x + w, y + h), -1});
}

Rect MenuOverlay::itemRect(const Level& l, int i) const {
  float y = l.bounds.T + 2.f + (l.menu->Title().empty() ? 0.f : kRowH);
  for (int k = 0; k < i; ++k) y += rowHeight(*l.menu->GetItem(k));
  return Rect(l.bounds.L, y, l.bounds.R, y + rowHeight(*l.menu->GetItem(i)));
}

void MenuOverlay::move(int direction) {
  Level& l = levels_.back();
  const int n = l.menu->NItems();
  int i = l.highlight;
  for (int step = 0; step < n; ++step) {
    i = i < 0 ? (direction > 0 ? 0 : n - 1) : (i + direction + n) % n;
    const auto* item = l.menu->GetItem(i);
    if (item->Enabled() && !item->IsSeparator() && !item->IsTitle()) {
      l.highlight = i;
      return;
    }
  }
}

bool MenuOverlay::activate(int levelIdx, int item) {
  levels_.resize(static_cast<size_t>(levelIdx) + 1);
  Level& l = levels_.back();
  const auto* it = l.menu->GetItem(item);
  if (!it || !it->Enabled() || it->IsSeparator() || it->IsTitle()) return true;
  l.highlight = item;
  if (it->Submenu()) {
    const Rect r = itemRect(l, item);
    openLevel(it->Submenu(), r.R - 2.f, r.T - 2.f);
    move(+1);
    return true;
  }
  finish(l.menu, item);
  return false;
}

void MenuOverlay::finish(gfx::PopupMenu* chosen, int index) {
  if (finished_) return;
  finished_ = true;
  if (chosen) chosen->SetChosenItemIdx(index);
  auto done = std::move(done_);
  if (done) done(chosen);
}

bool MenuOverlay::MouseDown(float x, float y) {
  for (int li = static_cast<int>(levels_.size()) - 1; li >= 0; --li) {
    const Level& l = levels_[static_cast<size_t>(li)];
    if (!l.bounds.Contains(x, y)) continue;
    for (int i = 0; i < l.menu->NItems(); ++i)
      if (itemRect(l, i).Contains(x, y)) return activate(li, i);
    return true;  // on the title or the border
  }
  finish(nullptr, -1);  // a click outside dismisses
  return false;
}

bool MenuOverlay::MouseMove(float x, float y) {
  bool changed = false;
  for (Level& l : levels_) {
    if (!l.bounds.Contains(x, y)) continue;
    for (int i = 0; i < l.menu->NItems(); ++i) {
      const auto* it = l.menu->GetItem(i);
      if (itemRect(l, i).Contains(x, y) && it->Enabled() && !it->IsSeparator() && !it->IsTitle() &&
          l.highlight != i) {
        l.highlight = i;
        changed = true;
      }
    }
  }
  return changed;
}

Rect MenuOverlay::Bounds() const {
  Rect all;
  for (const Level& l : levels_) all = all.Union(l.bounds).Union(l.bounds.GetTranslated(kShadowX, kShadowY));
  return all;
}

bool MenuOverlay::Key(const gfx::KeyPress& key) {
  Level& l = levels_.back();
  switch (key.key) {
    case gfx::Key::kDown: move(+1); return true;
    case gfx::Key::kUp: move(-1); return true;
    case gfx::Key::kRight: {
      const auto* it = l.menu->GetItem(l.highlight);
      if (it && it->Submenu()) return activate(static_cast<int>(levels_.size()) - 1, l.highlight);
      return true;
    }
    case gfx::Key::kLeft:
      if (levels_.size() > 1) levels_.pop_back();
      return true;
    case gfx::Key::kEnter:
    case gfx::Key::kSpace:
      if (l.highlight < 0) return true;
      return activate(static_cast<int>(levels_.size()) - 1, l.highlight);
    case gfx::Key::kEscape:
      if (levels_.size() > 1) {
        levels_.pop_back();
        return true;
      }
      finish(nullptr, -1);
      return false;
    default: return true;
  }
}

void MenuOverlay::Draw(gfx::Graphics& g) {
  for (const Level& l : levels_) {
    g.FillRoundRect(kShade, l.bounds.GetTranslated(kShadowX, kShadowY), 4.f);
    g.FillRoundRect(kPanel, l.bounds, 4.f);
    g.DrawRoundRect(kPanelEdge, l.bounds, 4.f);
    if (!l.menu->Title().empty()) {
      const Rect t(l.bounds.L + kPadX, l.bounds.T + 2.f, l.bounds.R - kPadX, l.bounds.T + 2.f + kRowH);
      g.DrawText(kMenuText.WithColor(kDimText), l.menu->Title(), t);
    }
    for (int i = 0; i < l.menu->NItems(); ++i) {
      const auto* it = l.menu->GetItem(i);
      const Rect r = itemRect(l, i);
      if (it->IsSeparator()) {
        g.DrawLine(kPanelEdge, r.L + 6.f, r.MH(), r.R - 6.f, r.MH());
        continue;
      }
      if (i == l.highlight) g.FillRect(kHighlight, r.GetPadded(-2.f));
      const Color c = it->Enabled() ? kText : kDimText;
      if (it->Checked()) {
        const float x = r.L + kPadX, y = r.MH();
        const float xs[] = {x, x + 4.f, x + 11.f}, ys[] = {y, y + 4.f, y - 5.f};
        g.DrawLine(c, xs[0], ys[0], xs[1], ys[1], nullptr, 1.8f);
        g.DrawLine(c, xs[1], ys[1], xs[2], ys[2], nullptr, 1.8f);
      }
      const Rect textR(r.L + kPadX + kCheckW, r.T, r.R - kPadX, r.B);
      g.DrawText(it->IsTitle() ? kMenuText.WithColor(kDimText) : kMenuText.WithColor(c), it->Text(), textR);
      if (it->Submenu()) g.FillTriangle(c, r.R - 12.f, r.MH() - 4.f, r.R - 12.f, r.MH() + 4.f, r.R - 7.f, r.MH());
    }
  }
}

// --- Text field --------------------------------------------------------------------------------

TextFieldOverlay::TextFieldOverlay(const gfx::TextStyle& style, const Rect& bounds, const std::string& initial,
                                   int maxLength, gfx::GraphicsPlatform::TextDone done)
    : style_(style), bounds_(bounds), text_(FromUtf8(initial)), maxLength_(maxLength), done_(std::move(done)) {
  if (maxLength_ > 0 && static_cast<int>(text_.size()) > maxLength_) text_.resize(static_cast<size_t>(maxLength_));
  // The whole initial text starts selected, so typing replaces it.
  anchor_ = 0;
  caret_ = static_cast<int>(text_.size());
}

std::string TextFieldOverlay::Value() const { return ToUtf8(text_); }

void TextFieldOverlay::eraseSelection() {
  const int a = std::min(anchor_, caret_), b = std::max(anchor_, caret_);
  text_.erase(static_cast<size_t>(a), static_cast<size_t>(b - a));
  caret_ = anchor_ = a;
}

void TextFieldOverlay::insert(const std::u32string& text) {
  eraseSelection();
  for (char32_t cp : text) {
    if (cp < 0x20 || cp == 0x7F) continue;  // control characters are keys, not text
    if (maxLength_ > 0 && static_cast<int>(text_.size()) >= maxLength_) break;
    text_.insert(text_.begin() + caret_, cp);
    ++caret_;
  }
  anchor_ = caret_;
}

void TextFieldOverlay::Text(const std::u32string& text) { insert(text); }

void TextFieldOverlay::cancel() {
  if (finished_) return;
  finished_ = true;
  auto done = std::move(done_);
  if (done) done(std::nullopt);
}

void TextFieldOverlay::commit() {
  if (finished_) return;
  finished_ = true;
  auto done = std::move(done_);
  if (done) done(Value());
}

bool TextFieldOverlay::MouseDown(float x, float y) {
  if (!bounds_.Contains(x, y)) {
    commit();  // a click outside commits
    return false;
  }
  // Place the caret by the share of the width (a monospace estimate is close enough for short values).
  const float frac = (x - bounds_.L) / std::max(1.f, bounds_.W());
  caret_ = anchor_ = std::clamp(static_cast<int>(frac * static_cast<float>(text_.size()) + 0.5f), 0,
                                static_cast<int>(text_.size()));
  return true;
}

bool TextFieldOverlay::Key(const gfx::KeyPress& key) {
  const int n = static_cast<int>(text_.size());
  switch (key.key) {
    case gfx::Key::kEnter: commit(); return false;
    case gfx::Key::kEscape: cancel(); return false;
    case gfx::Key::kBackspace:
      if (!hasSelection() && caret_ > 0) anchor_ = caret_ - 1;
      eraseSelection();
      return true;
    case gfx::Key::kDelete:
      if (!hasSelection() && caret_ < n) anchor_ = caret_ + 1;
      eraseSelection();
      return true;
    case gfx::Key::kLeft:
    case gfx::Key::kRight: {
      const int dir = key.key == gfx::Key::kLeft ? -1 : 1;
      if (!key.S && hasSelection()) {
        caret_ = anchor_ = dir < 0 ? std::min(anchor_, caret_) : std::max(anchor_, caret_);
        return true;
      }
      caret_ = std::clamp(caret_ + dir, 0, n);
      if (!key.S) anchor_ = caret_;
      return true;
    }
    case gfx::Key::kHome:
    case gfx::Key::kEnd:
      caret_ = key.key == gfx::Key::kHome ? 0 : n;
      if (!key.S) anchor_ = caret_;
      return true;
    case gfx::Key::kChar:
      if (key.C && (key.codepoint == 'a' || key.codepoint == 'A')) {
        anchor_ = 0, caret_ = n;
        return true;
      }
      if (!key.C && !key.A) insert(std::u32string(1, key.codepoint));
      return true;
    // A space arrives as text as well; taking the key too typed it twice.
    case gfx::Key::kSpace: return true;
    default: return true;
  }
}

void TextFieldOverlay::Draw(gfx::Graphics& g) {
  g.FillRect(kEntryFill, bounds_);
  const gfx::TextStyle text = style_.WithColor(kEntryText).WithAlign(gfx::Align::kCenter).WithVAlign(gfx::VAlign::kMiddle);
  const Rect inner = bounds_.GetPadded(-4.f);
  auto widthOf = [&](int count) {
    if (count <= 0) return 0.f;
    Rect m = inner;
    return g.MeasureText(text, ToUtf8(text_.substr(0, static_cast<size_t>(count))), m);
  };
  // Centred: positions in the text count from where its measured width starts.
  const float left = inner.MW() - widthOf(static_cast<int>(text_.size())) / 2.f;
  if (hasSelection()) {
    const float a = left + widthOf(std::min(anchor_, caret_)), b = left + widthOf(std::max(anchor_, caret_));
    g.FillRect(kHighlight, Rect(a, inner.T + 1.f, b, inner.B - 1.f));
  }
  g.DrawText(text, Value(), inner);
  const float cx = left + widthOf(caret_);
  g.DrawLine(kEntryText, cx, inner.T + 1.f, cx, inner.B - 1.f, nullptr, 1.f);
}

// --- Message box -------------------------------------------------------------------------------

MessageBoxOverlay::MessageBoxOverlay(const std::string& message, const std::string& caption, MessageBoxType type,
                                     const Rect& editorBounds, MessageBoxCompletion done)
    : message_(message), caption_(caption), editor_(editorBounds), done_(std::move(done)) {
  using R = MessageBoxResult;
  switch (type) {
    case MessageBoxType::kOK: buttons_ = {{"OK", R::kOK}}; break;
    case MessageBoxType::kOKCancel: buttons_ = {{"OK", R::kOK}, {"Cancel", R::kCancel}}; break;
    case MessageBoxType::kYesNoCancel: buttons_ = {{"Yes", R::kYes}, {"No", R::kNo}, {"Cancel", R::kCancel}}; break;
    case MessageBoxType::kYesNo: buttons_ = {{"Yes", R::kYes}, {"No", R::kNo}}; break;
    case MessageBoxType::kRetryCancel: buttons_ = {{"Retry", R::kRetry}, {"Cancel", R::kCancel}}; break;
  }
  const float w = std::min(editor_.W() - 20.f, 360.f), h = 140.f;
  box_ = editor_.GetCentredInside(w, h);
}

Rect MessageBoxOverlay::buttonRect(int i) const {
  const float bw = 76.f, bh = 26.f, gap = 8.f;
  const int n = static_cast<int>(buttons_.size());
  const float right = box_.R - 12.f - static_cast<float>(n - 1 - i) * (bw + gap);
  return Rect(right - bw, box_.B - 12.f - bh, right, box_.B - 12.f);
}

MessageBoxResult MessageBoxOverlay::dismissResult() const {
  for (const auto& b : buttons_)
    if (b.second == MessageBoxResult::kCancel) return MessageBoxResult::kCancel;
  if (buttons_.size() == 2 && buttons_[1].second == MessageBoxResult::kNo) return MessageBoxResult::kNo;
  return buttons_.front().second;
}

void MessageBoxOverlay::finish(MessageBoxResult result) {
  if (finished_) return;
  finished_ = true;
  auto done = std::move(done_);
  if (done) done(result);
}

bool MessageBoxOverlay::MouseDown(float x, float y) {
  for (int i = 0; i < static_cast<int>(buttons_.size()); ++i) {
    if (buttonRect(i).Contains(x, y)) {
      finish(buttons_[static_cast<size_t>(i)].second);
      return false;
    }
  }
  return true;  // modal: clicks elsewhere do nothing
}

bool MessageBoxOverlay::Key(const gfx::KeyPress& key) {
  const int n = static_cast<int>(buttons_.size());
  switch (key.key) {
    case gfx::Key::kLeft: focus_ = (focus_ + n - 1) % n; return true;
    case gfx::Key::kRight:
    case gfx::Key::kTab: focus_ = (focus_ + 1) % n; return true;
    case gfx::Key::kEnter:
    case gfx::Key::kSpace: finish(buttons_[static_cast<size_t>(focus_)].second); return false;
    case gfx::Key::kEscape: finish(dismissResult()); return false;
    default: return true;
  }
}

void MessageBoxOverlay::Draw(gfx::Graphics& g) {
  g.FillRect(kShade, editor_);
  g.FillRoundRect(kPanel, box_, 6.f);
  g.DrawRoundRect(kPanelEdge, box_, 6.f);
  g.DrawText(kBoldText.WithAlign(gfx::Align::kNear).WithVAlign(gfx::VAlign::kTop), caption_,
             Rect(box_.L + 14.f, box_.T + 12.f, box_.R - 14.f, box_.T + 32.f));
  g.DrawMultiLineText(kMenuText, message_, Rect(box_.L + 14.f, box_.T + 40.f, box_.R - 14.f, box_.B - 46.f));
  for (int i = 0; i < static_cast<int>(buttons_.size()); ++i) {
    const Rect r = buttonRect(i);
    g.FillRoundRect(i == focus_ ? kHighlight : kPanelEdge, r, 4.f);
    g.DrawText(gfx::TextStyle(14.f, kText), buttons_[static_cast<size_t>(i)].first, r);
  }
}

}  // namespace plugkit::platform
