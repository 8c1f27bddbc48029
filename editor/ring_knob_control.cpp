// Ring knob drawing.
#include "editor/ring_knob_control.h"

#include "gfx/graphics.h"

namespace quillfen::controls {

void RingKnobControl::DrawValueArc(plugkit::gfx::Graphics& g, float angle, float cx, float cy, float radius) {
  if (trackSize_ > 0) g.DrawArc(ring_, cx, cy, radius, aMin_, aMax_, &blend_, trackSize_);
  VectorKnobControl::DrawValueArc(g, angle, cx, cy, radius);
}

}  // namespace quillfen::controls
