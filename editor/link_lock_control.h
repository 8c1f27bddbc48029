// The padlock switch of Limiter Link, with link lines to the knobs on either side.
#pragma once

#include "gfx/control.h"

namespace quillfen::controls::limiter_panel {

class LinkLockControl : public plugkit::gfx::Control {
 public:
  /// Colours: locked (the accent), unlocked, unlocked under the mouse.
  LinkLockControl(const plugkit::gfx::Rect& bounds, int paramIdx, plugkit::gfx::Color locked,
                  plugkit::gfx::Color unlocked, plugkit::gfx::Color unlockedHover);

  void OnMouseDown(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  void OnMouseOver(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  void OnMouseOut() override;
  void Draw(plugkit::gfx::Graphics& g) override;

 private:
  plugkit::gfx::Color locked_, unlocked_, unlockedHover_;
};

}  // namespace quillfen::controls::limiter_panel
