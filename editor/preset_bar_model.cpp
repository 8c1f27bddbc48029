// Preset bar behaviour: delete arm, stepping, list and name prompt.
#include "editor/preset_bar_model.h"

namespace plumbrook::editor {

PresetBarModel::PresetBarModel(quillfen::controls::PresetHooks hooks) : hooks_(std::move(hooks)) {}

void PresetBarModel::reload() {
  names_ = hooks_.list ? hooks_.list() : std::vector<std::string>{};
  cacheValid_ = true;
}

const std::vector<std::string>& PresetBarModel::names() {
  if (!cacheValid_) reload();
  return names_;
}

std::string PresetBarModel::current() const { return hooks_.current ? hooks_.current() : std::string(); }
bool PresetBarModel::modified() const { return hooks_.modified && hooks_.modified(); }
bool PresetBarModel::deleteArmed() const { return !deleteArm_.empty() && deleteArm_ == current(); }

void PresetBarModel::step(int direction) {
  reload();
  if (const auto target = steppedPreset(names_, current(), direction); target && hooks_.load) hooks_.load(*target);
}

PresetBarModel::Request PresetBarModel::mouseDown(int region) {
  const std::string name = current();
  if (region == kRegionDelete) {
    if (name.empty()) return Request::kNone;
    if (deleteArm_ != name) {
      deleteArm_ = name;
      return Request::kNone;
    }
    deleteArm_.clear();
    if (hooks_.remove) hooks_.remove(name);
    reload();
    return Request::kNone;
  }
  deleteArm_.clear();
  switch (region) {
    case kRegionPrevious:
      step(-1);
      return Request::kNone;
    case kRegionNext:
      step(+1);
      return Request::kNone;
    case kRegionName:
      return namesForMenu().empty() ? Request::kNone : Request::kOpenList;
    case kRegionSave:
      // Rewrites the current preset without asking.
      if (!name.empty() && hooks_.save) hooks_.save(name);
      return Request::kNone;
    case kRegionSaveAs:
      return Request::kPromptName;
    case kRegionMenu:
      return Request::kOpenSettings;
    default:
      return Request::kNone;
  }
}

bool PresetBarModel::hover(int region) {
  if (region == hovered_) return false;
  if (hovered_ == kRegionNone) reload();  // the pointer just entered the bar
  if (hovered_ == kRegionDelete) deleteArm_.clear();
  hovered_ = region;
  return true;
}

void PresetBarModel::mouseOut() {
  hovered_ = kRegionNone;
  deleteArm_.clear();
}

const std::vector<std::string>& PresetBarModel::namesForMenu() {
  reload();
  menuNames_ = names_;
  return menuNames_;
}

void PresetBarModel::listChosen(int index) {
  if (index >= 0 && index < static_cast<int>(menuNames_.size()) && hooks_.load)
    hooks_.load(menuNames_[static_cast<size_t>(index)]);
}

void PresetBarModel::nameEntered(const std::string& text) {
  if (!hooks_.save) return;
  const std::string name = trimmedName(text);
  if (name.empty()) return;
  hooks_.save(name);
  reload();
}

}  // namespace plumbrook::editor
