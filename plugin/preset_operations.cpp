// Plumbrook's preset operations: load, save, delete, the modified mark and their messages.
#include <algorithm>
#include <cmath>
#include <exception>
#include <system_error>

#include "plugin/plumbrook.h"
#include "files/files.h"
#include "presets/preset_format.h"

using quillfen::presets::SavedPreset;
using plumbrook::offline::kPresetFormat;

namespace {

std::string trimSpacesAndTabs(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool somethingAt(const std::filesystem::path& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::symlink_status(path, error).type() !=
                              std::filesystem::file_type::not_found &&
         !error;
}

}  // namespace

std::filesystem::path Plumbrook::presetDirectory() const {
  return quillfen::presets::userPresetDirectory(kPresetFormat, appSupport_);
}

std::vector<SavedPreset> Plumbrook::savedPresets() const {
  try {
    return quillfen::presets::listPresets(kPresetFormat, presetDirectory());
  } catch (const std::exception&) {
    return {};
  }
}

void Plumbrook::tell(const std::string& message, const std::string& title) {
  if (plugkit::EditorSurface* ui = GetUI())
    ui->ShowMessageBox(message, title, plugkit::MessageBoxType::kOK, nullptr);
}

bool Plumbrook::ask(const std::string& message, const std::string& title) {
  plugkit::EditorSurface* ui = GetUI();
  return ui && ui->ShowMessageBox(message, title, plugkit::MessageBoxType::kYesNo, nullptr) ==
                   plugkit::MessageBoxResult::kYes;
}

Plumbrook::PresetOutcome Plumbrook::presetFailure(const std::string& message, const std::string& title) {
  tell(message, title);
  return {PresetOutcome::kFailed, message};
}

Plumbrook::PresetOutcome Plumbrook::loadPreset(const SavedPreset& preset) {
  try {
    return loadPresetFile(preset);
  } catch (const std::exception& e) {
    return presetFailure(std::string("Could not load the preset: ") + e.what(), "Load preset");
  }
}

Plumbrook::PresetOutcome Plumbrook::loadPresetFile(const SavedPreset& preset) {
  SavedPreset loaded;
  std::string error;
  if (!quillfen::presets::readPreset(kPresetFormat, preset.path, loaded, error)) {
    return presetFailure("Could not load the preset: " + error, "Load preset");
  }
  int32_t tag = 0;
  const plugkit::ByteChunk chunk(loaded.state.data(), static_cast<int>(loaded.state.size()));
  if (chunk.Get(&tag, 0) < 0 || tag != plumbrook::kStateTag) {
    return presetFailure("Could not load the preset: it does not hold an Plumbrook state.", "Load preset");
  }
  if (UnserializeState(chunk, 0) < 0) {
    return presetFailure("Could not load the preset: its state is damaged.", "Load preset");
  }

  // The host sees a whole gesture for every parameter, then the editor follows. The trip
  // through normalised values can move a value in its last bits, so the exact values read
  // from the preset are put back afterwards: a preset sounds exactly as it was saved.
  const std::vector<double> exact = soundSnapshot();
  for (int i = 0; i < NParams(); ++i) BeginParamGesture(i);
  for (int i = 0; i < NParams(); ++i) SetParamFromUI(i, GetParam(i)->GetNormalized());
  for (int i = 0; i < NParams(); ++i) EndParamGesture(i);
  for (int i = 0; i < NParams(); ++i) GetParam(i)->Set(exact[static_cast<size_t>(i)]);
  for (int i = 0; i < NParams(); ++i) ShowParamInUI(i, GetParam(i)->GetNormalized(), true);

  // A preset carries the window size it was saved with; an open editor takes it on.
  const float savedScale = static_cast<float>(restoredEditorSize_.first) / plumbrook::kDesignWidth;
  if (editor() && restoredEditorSize_.first > 0 && std::fabs(savedScale - editorScale()) > 0.01f)
    applyEditorScale(savedScale);

  setPresetName(loaded.name);
  retakePresetSnapshot(false);
  return {};
}

Plumbrook::PresetOutcome Plumbrook::savePreset(const std::string& name, bool confirm) {
  try {
    return savePresetFile(name, confirm);
  } catch (const std::exception& e) {
    return presetFailure(std::string("Could not save the preset: ") + e.what(), "Save preset");
  }
}

Plumbrook::PresetOutcome Plumbrook::savePresetFile(const std::string& name, bool confirm) {
  const std::string trimmed = trimSpacesAndTabs(name);
  if (trimmed.empty()) return {PresetOutcome::kDeclined, {}};
  const std::filesystem::path dir = presetDirectory();

  if (confirm) {
    const auto target = quillfen::presets::presetPathForName(kPresetFormat, dir, trimmed);
    if (somethingAt(target) &&
        !ask("A preset named \"" + trimmed + "\" already exists. Replace it?", "Save preset"))
      return {PresetOutcome::kDeclined, {}};
  }

  // Name and clean mark first, so the stored state carries the preset's own name.
  std::string oldName;
  {
    std::lock_guard lock(presetNameMutex_);
    oldName = presetName_;
    presetName_ = trimmed;
  }
  const bool wasModified = presetModified();
  retakePresetSnapshot(false);

  std::string error;
  plugkit::ByteChunk chunk;
  const bool stateTaken = SerializeState(chunk);
  if (stateTaken && quillfen::presets::writePreset(kPresetFormat, dir, trimmed, chunk.Bytes(), error))
    return {};

  setPresetName(oldName);
  retakePresetSnapshot(wasModified);
  return presetFailure(
      "Could not save the preset: " + (stateTaken ? error : std::string("the state could not be taken")),
      "Save preset");
}

Plumbrook::PresetOutcome Plumbrook::removePreset(const SavedPreset& preset) {
  try {
    return removePresetFile(preset);
  } catch (const std::exception& e) {
    return presetFailure(std::string("Could not delete the preset: ") + e.what(), "Delete preset");
  }
}

Plumbrook::PresetOutcome Plumbrook::removePresetFile(const SavedPreset& preset) {
  std::string error;
  if (!quillfen::files::deleteNamedFile(preset.path, error))
    return presetFailure("Could not delete the preset: " + error, "Delete preset");
  return {};
}

std::vector<std::string> Plumbrook::presetNames() const {
  std::vector<std::string> names;
  try {
    for (const SavedPreset& preset : quillfen::presets::listPresets(kPresetFormat, presetDirectory(), false))
      names.push_back(preset.name);
  } catch (const std::exception&) {
  }
  return names;
}

void Plumbrook::loadPresetNamed(const std::string& name) {
  for (const SavedPreset& preset : savedPresets()) {
    if (preset.name == name) {
      loadPreset(preset);
      return;
    }
  }
}

void Plumbrook::savePresetNamed(const std::string& name) {
  if (name == presetName()) {
    savePreset(name, false);
    return;
  }
  const auto target = quillfen::presets::presetPathForName(kPresetFormat, presetDirectory(), name);
  if (!somethingAt(target)) {
    savePreset(name, false);
    return;
  }
  pendingSave_ = name;  // asks before replacing, at the next idle tick
}

void Plumbrook::removePresetNamed(const std::string& name) {
  for (const SavedPreset& preset : savedPresets()) {
    if (preset.name == name) {
      removePreset(preset);
      return;
    }
  }
}

quillfen::controls::PresetHooks Plumbrook::presetHooks() {
  quillfen::controls::PresetHooks hooks;
  hooks.list = [this] { return presetNames(); };
  hooks.current = [this] { return presetName(); };
  hooks.load = [this](const std::string& name) { loadPresetNamed(name); };
  hooks.save = [this](const std::string& name) { savePresetNamed(name); };
  hooks.remove = [this](const std::string& name) { removePresetNamed(name); };
  hooks.modified = [this] { return presetModified(); };
  return hooks;
}

void Plumbrook::runPendingPresetSave() {
  if (!pendingSave_) return;
  const std::string name = std::move(*pendingSave_);
  pendingSave_.reset();
  savePreset(name, true);
}
