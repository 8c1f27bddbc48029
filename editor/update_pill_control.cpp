// Update pill: follows the update check's revision, sizes itself to its caption, opens the page.
#include "editor/update_pill_control.h"

#include <algorithm>

#include "gfx/graphics.h"

namespace quillfen::controls {

using namespace plugkit::gfx;

UpdatePillControl::UpdatePillControl(const Rect& bounds, Color fill, Color hoverFill, Color textColour,
                                     const TextStyle& text, std::shared_ptr<updates::UpdateCheck> check,
                                     Relayout relayout)
    : Control(bounds),
      fill_(fill),
      hoverFill_(hoverFill),
      textColour_(textColour),
      check_(std::move(check)),
      relayoutCallback_(std::move(relayout)) {
  text_ = text;
}

void UpdatePillControl::relayout() {
  const std::optional<updates::Notice> notice = check_ ? check_->snapshot().notice : std::nullopt;
  caption_.clear();
  url_.clear();
  Rect pill;
  if (notice && GetUI()) {
    caption_ = notice->version + " AVAILABLE";
    url_ = notice->url;
    Rect measured = rect_;
    const float captionWidth = GetUI()->MeasureText(text_, caption_, measured);
    const float width = std::min(captionWidth + rect_.H() * 2.0f / 3.0f, rect_.W());
    pill = Rect(rect_.R - width, rect_.T, rect_.R, rect_.B);
  }
  if (!(pill == pill_)) {
    pill_ = pill;
    if (relayoutCallback_) relayoutCallback_(pill_);
  }
}

bool UpdatePillControl::IsDirty() const {
  const int64_t revision = check_ ? static_cast<int64_t>(check_->revision()) : 0;
  if (revision != lastRevision_) {
    lastRevision_ = revision;
    // The framework asks through a const call; a new revision is exactly when the pill must change.
    const_cast<UpdatePillControl*>(this)->relayout();
    return true;
  }
  return Control::IsDirty();
}

void UpdatePillControl::Draw(Graphics& g) {
  if (pill_.Empty()) relayout();
  if (pill_.Empty()) return;
  const float shrink = 0.1f * pill_.H();
  const Rect r(pill_.L, pill_.T + shrink, pill_.R, pill_.B - shrink);
  g.FillRoundRect(hovered_ ? hoverFill_ : fill_, r, r.H() / 6, &blend_);
  g.DrawText(text_.WithColor(textColour_), caption_, r, &blend_);
}

void UpdatePillControl::OnMouseDown(float, float, const MouseMod&) {
  if (!url_.empty() && GetUI()) GetUI()->OpenURL(url_);
}

void UpdatePillControl::OnMouseOver(float x, float y, const MouseMod& mod) {
  Control::OnMouseOver(x, y, mod);
  const bool inside = pill_.Contains(x, y);
  if (inside != hovered_) {
    hovered_ = inside;
    if (GetUI()) GetUI()->SetMouseCursor(inside ? Cursor::kHand : Cursor::kArrow);
    SetDirty(false);
  }
}

void UpdatePillControl::OnMouseOut() {
  if (hovered_ && GetUI()) GetUI()->SetMouseCursor(Cursor::kArrow);
  hovered_ = false;
  Control::OnMouseOut();
  SetDirty(false);
}

void UpdatePillControl::OnResize() {
  pill_ = Rect();
  relayout();
}

void UpdatePillControl::SetText(const TextStyle& text) {
  Control::SetText(text);
  pill_ = Rect();
  relayout();
}

void UpdatePillControl::addMenuItems(PopupMenu& menu) const {
  const bool enabled = check_ && check_->snapshot().enabled;
  menu.AddItem("Check for updates", -1, enabled ? PopupMenu::Item::kChecked : PopupMenu::Item::kNoFlags);
  menu.AddSeparator();
}

void UpdatePillControl::toggleCheck() {
  if (!check_) return;
  check_->setEnabled(!check_->snapshot().enabled);
  SetDirty(false);
}

}  // namespace quillfen::controls
