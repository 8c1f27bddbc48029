// The framework's vector knob with a dim ring over its whole sweep under the value arc.
#pragma once

#include "gfx/vector_knob.h"

namespace quillfen::controls {

class RingKnobControl : public plugkit::gfx::VectorKnobControl {
 public:
  RingKnobControl(const plugkit::gfx::Rect& bounds, int paramIdx, const plugkit::gfx::VectorStyle& style,
                  float anchorDeg, plugkit::gfx::Color ring)
      : VectorKnobControl(bounds, paramIdx, "", style, false, false, -135.f, 135.f, anchorDeg,
                          plugkit::gfx::Direction::kVertical, 4.0, 2.f),
        ring_(ring) {}

  void DrawValueArc(plugkit::gfx::Graphics& g, float angle, float cx, float cy, float radius) override;

 private:
  plugkit::gfx::Color ring_;
};

}  // namespace quillfen::controls
