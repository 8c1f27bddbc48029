// Settings menu items and choices.
#include "editor/settings_menu_items.h"

#include <cmath>

#include "editor/editor_design.h"

namespace plumbrook::editor {
namespace {
constexpr int kFirstSize = 7;
constexpr int kFirstUpdateItem = 12;
}  // namespace

std::vector<MenuEntry> settingsMenuItems(int accentIndex, float scale, const std::vector<MenuEntry>& updateItems,
                                            const std::string& version) {
  std::vector<MenuEntry> items;
  for (int i = 0; i < 6; ++i) items.push_back({kAccents[i].name, i == accentIndex});
  items.push_back({});
  for (const WindowSize& size : kSizes) items.push_back({size.label, std::fabs(size.scale - scale) < 0.02f});
  items.push_back({});
  items.insert(items.end(), updateItems.begin(), updateItems.end());
  items.push_back({"Plumbrook " + version, false, false});
  return items;
}

std::vector<MenuEntry> updateMenuItems(bool checkEnabled) { return {{"Check for updates", checkEnabled}, {}}; }

SettingsChoice settingsChoice(int position, int updateItemCount) {
  if (position >= 0 && position < 6) return {SettingsChoice::kAccent, position};
  if (position >= kFirstSize && position < kFirstSize + 4)
    return {SettingsChoice::kScale, 0, kSizes[position - kFirstSize].scale};
  if (position >= kFirstUpdateItem && position < kFirstUpdateItem + updateItemCount)
    return {SettingsChoice::kUpdateItem, position - kFirstUpdateItem};
  return {};
}

}  // namespace plumbrook::editor
