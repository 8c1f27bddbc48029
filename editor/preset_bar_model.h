// What the preset bar does with clicks and hovers, apart from drawing: the cached list, the
// two-click Delete, stepping, the list menu's names and the name prompt's result.
#pragma once

#include <string>
#include <vector>

#include "plugin/preset_hooks.h"
#include "editor/preset_bar_geometry.h"

namespace plumbrook::editor {

class PresetBarModel {
 public:
  /// What the bar must do after an event besides redrawing.
  enum class Request { kNone, kOpenList, kPromptName, kOpenSettings };

  explicit PresetBarModel(quillfen::controls::PresetHooks hooks);

  /// A click on a region (PresetBarRegion). Editor thread; calls the hooks.
  Request mouseDown(int region);
  /// The pointer moved over a region; true when the bar must redraw.
  bool hover(int region);
  /// The pointer left the bar.
  void mouseOut();

  /// Reloads and returns the names for the list menu (also the names a choice refers to).
  const std::vector<std::string>& namesForMenu();
  /// The list menu's answer: an index into namesForMenu(), or negative when dismissed.
  void listChosen(int index);
  /// The name prompt's answer: saved under the trimmed name unless it is empty.
  void nameEntered(const std::string& text);

  /// The stored names, loaded once and again after changes.
  const std::vector<std::string>& names();
  std::string current() const;
  bool modified() const;
  /// Delete reads "Sure?" while armed for the current preset.
  bool deleteArmed() const;
  int hovered() const { return hovered_; }

 private:
  void reload();
  void step(int direction);

  quillfen::controls::PresetHooks hooks_;
  std::vector<std::string> names_;
  bool cacheValid_ = false;
  std::vector<std::string> menuNames_;
  std::string deleteArm_;
  int hovered_ = kRegionNone;
};

}  // namespace plumbrook::editor
