// A pill-shaped on/off switch with a dot and a text for each state.
#pragma once

#include <functional>
#include <string>

#include "gfx/control.h"

namespace quillfen::controls {

class PillToggleControl : public plugkit::gfx::Control {
 public:
  using Forced = std::function<bool()>;
  /// A pill on a bool parameter; `inverted` highlights the off state (Bypass's "ACTIVE").
  PillToggleControl(const plugkit::gfx::Rect& bounds, int paramIdx, std::string offText, std::string onText,
                    const plugkit::gfx::TextStyle& text, float dotScale, plugkit::gfx::Color onColour, bool inverted,
                    Forced forced = {});

  /// Any button toggles, unless the pill is forced on. Editor thread.
  void OnMouseDown(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  void Draw(plugkit::gfx::Graphics& g) override;
  /// The text the pill shows now.
  const std::string& shownText() const;

 private:
  bool forced() const { return forced_ && forced_(); }

  plugkit::gfx::Color fill_{255, 20, 20, 20};
  plugkit::gfx::Color border_[2] = {{56, 250, 250, 250}, {107, 250, 250, 250}};
  plugkit::gfx::Color dot_[2];
  std::string offText_, onText_;
  float dotScale_;
  bool inverted_;
  Forced forced_;
};

}  // namespace quillfen::controls
