// Recording back end: text measurement by a fixed advance.
#include "gfx/graphics_recording.h"

namespace plugkit::gfx {

std::vector<GraphicsRecording::Op> GraphicsRecording::OpsOf(const std::string& kind) const {
  std::vector<Op> out;
  for (const Op& op : ops)
    if (op.kind == kind) out.push_back(op);
  return out;
}

Rect GraphicsRecording::DoMeasureText(const TextStyle& t, const std::string& s, const TextAnchor& a) {
  const float w = 0.5f * t.size * static_cast<float>(s.size()), h = t.size;
  const float l = a.align == Align::kNear ? a.x : a.align == Align::kCenter ? a.x - 0.5f * w : a.x - w;
  const float top = a.valign == VAlign::kTop ? a.y : a.valign == VAlign::kMiddle ? a.y - 0.5f * h : a.y - h;
  return {l, top, l + w, top + h};
}

}  // namespace plugkit::gfx
