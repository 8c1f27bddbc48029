// The editor's design data as the framework's types.
#pragma once

#include "editor/editor_design.h"
#include "gfx/types.h"

namespace plumbrook::editor {

inline plugkit::gfx::Rect toRect(const DesignRect& r) { return {r.l, r.t, r.r, r.b}; }
inline plugkit::gfx::Color toColor(const Argb& c) { return {c.a, c.r, c.g, c.b}; }
inline plugkit::gfx::Align toAlign(Align a) {
  return a == Align::kNear ? plugkit::gfx::Align::kNear
                           : a == Align::kFar ? plugkit::gfx::Align::kFar : plugkit::gfx::Align::kCenter;
}
/// A text style, vertically centred, with its text-entry colours.
inline plugkit::gfx::TextStyle toTextStyle(const TextLook& look) {
  plugkit::gfx::TextStyle style(look.size, toColor(look.colour), look.font, toAlign(look.align));
  style.textEntryBg = toColor(look.entryBackground);
  style.textEntryFg = toColor(look.entryForeground);
  return style;
}

}  // namespace plumbrook::editor
