// Preset bar geometry, arrow stepping and name fitting.
#include "editor/preset_bar_geometry.h"

#include <algorithm>

namespace plumbrook::editor {

float PresetBarGeometry::pad() const { return std::max(2.0f, 0.18f * bounds.H()); }

std::array<Rect, 8> PresetBarGeometry::layout() const {
  std::array<Rect, 8> rects{};
  const float top = bounds.T + pad();
  const float bottom = bounds.B - pad();
  const float h = bottom - top;

  float right = bounds.R - rightInset;
  if (hasMenu) {
    rects[kRegionMenu] = {right - h + 0.27f * h, top, right + 0.27f * h, bottom};
    right = rects[kRegionMenu].L - 0.5f * h;
  }
  float x = bounds.L + leftInset - 0.28f * h;
  if (hasLabel) x += 120.0f * scale;

  const float gap = 0.16f * h;
  const float buttonWidth = 3.4f * h;
  const float tail = 2 * gap + 3 * buttonWidth + 2.5f * h;
  const float nameWidth = std::max(h, std::min(210.0f * scale + tail, right - x) - tail);

  rects[kRegionPrevious] = {x, top, x + h, bottom};
  rects[kRegionName] = {x + h, top, x + h + nameWidth, bottom};
  const float nextLeft = rects[kRegionName].R;
  rects[kRegionNext] = {nextLeft, top, nextLeft + h, bottom};
  const float saveLeft = rects[kRegionNext].R + 0.5f * h;
  rects[kRegionSave] = {saveLeft, top, saveLeft + buttonWidth, bottom};
  rects[kRegionSaveAs] = {rects[kRegionSave].R + gap, top, rects[kRegionSave].R + gap + buttonWidth, bottom};
  rects[kRegionDelete] = {rects[kRegionSaveAs].R + gap, top, rects[kRegionSaveAs].R + gap + buttonWidth, bottom};
  return rects;
}

int PresetBarGeometry::regionAt(float x, float y) const {
  const auto rects = layout();
  const int last = hasMenu ? kRegionMenu : kRegionDelete;
  for (int region = kRegionPrevious; region <= last; ++region) {
    const Rect& r = rects[static_cast<size_t>(region)];
    if (x >= r.L && x < r.R && y >= r.T && y < r.B) return region;
  }
  return kRegionNone;
}

std::optional<std::string> steppedPreset(const std::vector<std::string>& names, const std::string& current,
                                         int direction) {
  const int n = static_cast<int>(names.size());
  if (n == 0) return std::nullopt;
  const auto found = std::find(names.begin(), names.end(), current);
  int j = direction > 0 ? 0 : n - 1;
  if (found != names.end()) j = (static_cast<int>(found - names.begin()) + direction + n) % n;
  return names[static_cast<size_t>(j)];
}

std::string fittedText(const std::string& text, const std::function<bool(const std::string&)>& fits) {
  if (fits(text)) return text;
  std::string kept = text;
  while (!kept.empty()) {
    // Drop one whole character: continuation bytes, then their lead byte.
    while (!kept.empty() && (static_cast<unsigned char>(kept.back()) & 0xC0) == 0x80) kept.pop_back();
    if (!kept.empty()) kept.pop_back();
    std::string candidate = kept + "\u2026";
    if (fits(candidate)) return candidate;
  }
  return "\u2026";
}

std::string trimmedName(const std::string& name) {
  const size_t first = name.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return name.substr(first, name.find_last_not_of(" \t") - first + 1);
}

}  // namespace plumbrook::editor
