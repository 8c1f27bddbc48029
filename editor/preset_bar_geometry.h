// The preset bar apart from drawing: the places of its seven elements, which one is under the
// mouse, where the arrows step to, and names shortened to fit.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "editor/editor_design.h"

namespace plumbrook::editor {

enum PresetBarRegion : int {
  kRegionNone = 0,
  kRegionPrevious,
  kRegionName,
  kRegionNext,
  kRegionSave,
  kRegionSaveAs,
  kRegionDelete,
  kRegionMenu,
};

/// The rectangles of the regions 1..7 (index 0 unused), from the bar's bounds, its insets,
/// its label scale and whether it has a menu button. Pure.
struct PresetBarGeometry {
  Rect bounds;
  float leftInset = 28, rightInset = 28, scale = 1;
  bool hasLabel = false, hasMenu = true;

  std::array<Rect, 8> layout() const;
  /// The first region holding the point (left/top inclusive, right/bottom exclusive), else 0.
  int regionAt(float x, float y) const;
  /// The space kept between the bar's edges and the elements' inside.
  float pad() const;
};

/// The preset an arrow loads: the neighbour of the current one, wrapping at both ends; the
/// first (next) or last (previous) when the current one is not in the list; none for an
/// empty list.
std::optional<std::string> steppedPreset(const std::vector<std::string>& names, const std::string& current,
                                         int direction);

/// The text shortened from its end, one UTF-8 character at a time, with "…" appended until
/// `fits` accepts it; "…" alone when nothing is left. Allocates.
std::string fittedText(const std::string& text, const std::function<bool(const std::string&)>& fits);

/// Spaces and tabs trimmed from both ends.
std::string trimmedName(const std::string& name);

}  // namespace plumbrook::editor
