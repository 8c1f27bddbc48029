// The pill that announces a newer version and opens its page.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "gfx/control.h"
#include "updates/update_check.h"

namespace quillfen::controls {

class UpdatePillControl : public plugkit::gfx::Control {
 public:
  using Relayout = std::function<void(const plugkit::gfx::Rect& pill)>;

  UpdatePillControl(const plugkit::gfx::Rect& bounds, plugkit::gfx::Color fill, plugkit::gfx::Color hoverFill,
                    plugkit::gfx::Color textColour, const plugkit::gfx::TextStyle& text,
                    std::shared_ptr<updates::UpdateCheck> check, Relayout relayout);

  void Draw(plugkit::gfx::Graphics& g) override;
  /// Polls the update check's revision: a new one lays the pill out again and redraws it.
  bool IsDirty() const override;
  bool IsHit(float x, float y) const override { return pill_.Contains(x, y); }
  void OnMouseDown(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  void OnMouseOver(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  void OnMouseOut() override;
  void OnResize() override;
  void SetText(const plugkit::gfx::TextStyle& text) override;

  /// Reads the notice and sizes the pill to its caption (empty while there is none).
  void relayout();
  /// "Check for updates" (checked while enabled) and a separator.
  void addMenuItems(plugkit::gfx::PopupMenu& menu) const;
  /// Switches the update check on or off and redraws.
  void toggleCheck();

  const plugkit::gfx::Rect& pill() const { return pill_; }
  const std::string& caption() const { return caption_; }
  const std::string& url() const { return url_; }

 private:
  plugkit::gfx::Color fill_, hoverFill_, textColour_;
  std::shared_ptr<updates::UpdateCheck> check_;
  Relayout relayoutCallback_;
  mutable int64_t lastRevision_ = -1;
  plugkit::gfx::Rect pill_;
  std::string caption_, url_;
  bool hovered_ = false;
};

}  // namespace quillfen::controls
