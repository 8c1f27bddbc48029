// Settings menu items: check marks for the accent and the window size, and the chosen actions.
#include <gtest/gtest.h>

#include "editor/settings_menu_items.h"

using namespace plumbrook::editor;

namespace {
std::vector<std::string> checkedLabels(const std::vector<MenuEntry>& items) {
  std::vector<std::string> labels;
  for (const auto& item : items)
    if (item.checked) labels.push_back(item.label);
  return labels;
}
}  // namespace

TEST(settings_menu_items, checks_the_accent_and_a_size_within_two_hundredths) {
  const auto updates = updateMenuItems(true);
  EXPECT_EQ(checkedLabels(settingsMenuItems(3, 1.49f, updates, "0.3.2")),
            (std::vector<std::string>{"Blue", "Window 1.5x", "Check for updates"}));
  EXPECT_EQ(checkedLabels(settingsMenuItems(3, 1.51f, {}, "0.3.2")), (std::vector<std::string>{"Blue", "Window 1.5x"}));
  EXPECT_EQ(checkedLabels(settingsMenuItems(0, 1.53f, updateMenuItems(false), "0.3.2")),
            (std::vector<std::string>{"Green"}));

  const auto items = settingsMenuItems(5, 1.0f, updates, "0.3.2");
  ASSERT_EQ(items.size(), 15u);
  EXPECT_EQ(items[5].label, "DAW color");
  EXPECT_TRUE(items[6].separator());
  EXPECT_EQ(items[9].label, "Window 1.5x");
  EXPECT_TRUE(items[11].separator());
  EXPECT_EQ(items[12].label, "Check for updates");
  EXPECT_EQ(items[14].label, "Plumbrook 0.3.2");
  EXPECT_FALSE(items[14].enabled);
}

TEST(settings_menu_items, positions_map_to_accents_sizes_and_update_items) {
  EXPECT_EQ(settingsChoice(4, 2).kind, SettingsChoice::kAccent);
  EXPECT_EQ(settingsChoice(4, 2).index, 4);
  EXPECT_EQ(settingsChoice(6, 2).kind, SettingsChoice::kNothing);
  EXPECT_EQ(settingsChoice(10, 2).kind, SettingsChoice::kScale);
  EXPECT_EQ(settingsChoice(10, 2).scale, 2.0f);
  EXPECT_EQ(settingsChoice(12, 2).kind, SettingsChoice::kUpdateItem);
  EXPECT_EQ(settingsChoice(14, 2).kind, SettingsChoice::kNothing);  // the version line
  EXPECT_EQ(settingsChoice(-1, 2).kind, SettingsChoice::kNothing);
}
