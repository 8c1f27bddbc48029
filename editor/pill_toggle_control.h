// A pill-shaped on/off switch with a dot and a text for each state.
#pragma once

#include <string>

#include "gfx/control.h"

namespace quillfen::controls {

class PillToggleControl : public plugkit::gfx::Control {
 public:
  struct Colours {
    plugkit::gfx::Color fill, border, highlightedBorder, dotOff;
  };
  /// A pill on a bool parameter; `inverted` highlights the off state (Bypass's "ACTIVE"). While
  /// the bool parameter `forcedBy` (if any) is on, the pill shows on, dimmed, and takes no clicks.
  PillToggleControl(const plugkit::gfx::Rect& bounds, int paramIdx, std::string offText, std::string onText,
                    const plugkit::gfx::TextStyle& text, float dotScale, plugkit::gfx::Color onColour,
                    const Colours& colours, bool inverted, int forcedBy = -1);

  /// Any button toggles, unless the pill is forced on. Editor thread.
  void OnMouseDown(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  void Draw(plugkit::gfx::Graphics& g) override;
  /// Only the pill's own value is ever reset or sent, never the forcing one.
  int ValueIndexAt(float, float) const override { return 0; }
  /// The text the pill shows now.
  const std::string& shownText() const;

 private:
  bool forced() const { return NVals() > 1 && GetValue(1) > 0.5; }

  plugkit::gfx::Color fill_;
  plugkit::gfx::Color border_[2];
  plugkit::gfx::Color dot_[2];
  std::string offText_, onText_;
  float dotScale_;
  bool inverted_;
};

}  // namespace quillfen::controls
