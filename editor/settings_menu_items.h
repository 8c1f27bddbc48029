// The settings menu's items and what a chosen position means, apart from the menu widget.
#pragma once

#include <string>
#include <vector>

namespace plumbrook::editor {

struct WindowSize {
  const char* label;
  float scale;
};
/// The window sizes offered, in menu order.
inline constexpr WindowSize kSizes[4] = {
    {"Window 0.75x", 0.75f}, {"Window 1x", 1.0f}, {"Window 1.5x", 1.5f}, {"Window 2x", 2.0f}};

struct MenuEntry {
  std::string label;  // empty: a separator
  bool checked = false;
  bool enabled = true;
  bool separator() const { return label.empty(); }
};

/// The menu: six accents (the current one checked), a separator, the four sizes (checked
/// within 0.02 of the scale), a separator, the update items, then "Plumbrook <version>"
/// disabled. Allocates.
std::vector<MenuEntry> settingsMenuItems(int accentIndex, float scale, const std::vector<MenuEntry>& updateItems,
                                            const std::string& version);

/// The update items: "Check for updates" (checked while enabled) and a separator.
std::vector<MenuEntry> updateMenuItems(bool checkEnabled);

/// What a chosen position asks for.
struct SettingsChoice {
  enum Kind { kNothing, kAccent, kScale, kUpdateItem } kind = kNothing;
  int index = 0;      // accent index or update item index
  float scale = 1.0f;  // window scale
};
/// A position chosen in a menu built with `updateItemCount` update items.
SettingsChoice settingsChoice(int position, int updateItemCount);

}  // namespace plumbrook::editor
