// The settings menu behind the preset bar's menu button: accent, window size, update check.
#pragma once

#include <functional>
#include <string>

#include "gfx/control.h"

namespace plumbrook::editor {

class SettingsMenuControl : public plugkit::gfx::Control {
 public:
  struct Actions {
    std::function<float()> scale;
    std::function<void(float)> setScale;
    std::function<int()> accent;
    std::function<void(int)> setAccent;
    std::function<void(plugkit::gfx::PopupMenu&)> addUpdateItems;
    std::function<void(int)> updateItemChosen;
  };

  SettingsMenuControl(Actions actions, std::string version);
  /// Builds the menu and opens it at the anchor. Editor thread.
  void OpenAt(const plugkit::gfx::Rect& anchor);
  void OnMenuChoice(const plugkit::gfx::PopupMenu* menu, int valIdx) override;
  void Draw(plugkit::gfx::Graphics&) override {}
  const plugkit::gfx::PopupMenu& menu() const { return menu_; }

 private:
  Actions actions_;
  std::string version_;
  plugkit::gfx::PopupMenu menu_;
  int updateItems_ = 0;
};

}  // namespace plumbrook::editor
