// Settings menu: built from the items model, choices handed to the actions.
#include "editor/settings_menu_control.h"

#include "editor/settings_menu_items.h"
#include "gfx/graphics.h"

namespace plumbrook::editor {

using namespace plugkit::gfx;

SettingsMenuControl::SettingsMenuControl(Actions actions, std::string version)
    : Control(Rect()), actions_(std::move(actions)), version_(std::move(version)) {
  SetIgnoreMouse(true);
}

void SettingsMenuControl::OpenAt(const Rect& anchor) {
  PopupMenu updates;
  if (actions_.addUpdateItems) actions_.addUpdateItems(updates);
  std::vector<MenuEntry> updateEntries;
  for (int i = 0; i < updates.NItems(); ++i) {
    const PopupMenu::Item* item = updates.GetItem(i);
    updateEntries.push_back({item->IsSeparator() ? "" : item->Text(), item->Checked(), item->Enabled()});
  }
  updateItems_ = updates.NItems();

  menu_.Clear();
  const int accent = actions_.accent ? actions_.accent() : 0;
  const float scale = actions_.scale ? actions_.scale() : 1.0f;
  for (const MenuEntry& entry : settingsMenuItems(accent, scale, updateEntries, version_)) {
    if (entry.separator()) {
      menu_.AddSeparator();
      continue;
    }
    int flags = PopupMenu::Item::kNoFlags;
    if (entry.checked) flags |= PopupMenu::Item::kChecked;
    if (!entry.enabled) flags |= PopupMenu::Item::kDisabled;
    menu_.AddItem(entry.label, -1, flags);
  }
  if (Graphics* g = GetUI()) g->OpenPopupMenu(*this, menu_, anchor);
}

void SettingsMenuControl::OnMenuChoice(const PopupMenu* menu, int) {
  if (!menu) return;
  const SettingsChoice choice = settingsChoice(menu->ChosenItemIdx(), updateItems_);
  switch (choice.kind) {
    case SettingsChoice::kAccent:
      if (actions_.setAccent) actions_.setAccent(choice.index);
      break;
    case SettingsChoice::kScale:
      if (actions_.setScale) actions_.setScale(choice.scale);
      break;
    case SettingsChoice::kUpdateItem:
      if (actions_.updateItemChosen) actions_.updateItemChosen(choice.index);
      break;
    case SettingsChoice::kNothing:
      break;
  }
}

}  // namespace plumbrook::editor
