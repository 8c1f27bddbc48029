// Finding and loading presets for the command line through the plug-in's preset operations.
#include "apps/preset_lookup.h"

#include "apps/command_line.h"

#include <filesystem>

#include "presets/preset_file.h"
#include "presets/preset_format.h"

namespace fs = std::filesystem;

namespace plumbrook::cli {

std::optional<quillfen::presets::SavedPreset> findPreset(const Plumbrook& plugin, const std::string& name) {
  for (quillfen::presets::SavedPreset& stored :
       quillfen::presets::listPresets(plumbrook::offline::kPresetFormat, plugin.presetDirectory(), false))
    if (stored.name == name) return std::move(stored);
  return std::nullopt;
}

bool locatePreset(const Plumbrook& plugin, const std::string& argument, quillfen::presets::SavedPreset& preset,
                  std::string& error) {
  const bool namedAsFile = fs::path(argument).extension() == plumbrook::offline::kPresetFormat.extension;
  if (!namedAsFile) {
    if (auto found = findPreset(plugin, argument)) {
      preset = std::move(*found);
      return true;
    }
  }
  std::error_code ec;
  if (fs::is_regular_file(argument, ec)) {
    // The plug-in reads the file itself when loading, so its own messages say what is wrong.
    preset = {};
    preset.name = fs::path(argument).stem().string();
    preset.path = argument;
    return true;
  }
  if (namedAsFile) {
    error = inQuotes(argument) + ": no such preset file";
    return false;
  }
  error = inQuotes(argument) + ": no preset of that name in " + inQuotes(plugin.presetDirectory().string()) +
          " (see 'plumbrook presets list')";
  return false;
}

bool loadPresetInto(Plumbrook& plugin, const quillfen::presets::SavedPreset& preset, std::string& error) {
  const Plumbrook::PresetOutcome outcome = plugin.loadPreset(preset);
  if (!outcome) error = outcome.message;
  return static_cast<bool>(outcome);
}

bool applyPreset(Plumbrook& plugin, const std::string& nameOrFile, std::string& error) {
  quillfen::presets::SavedPreset preset;
  std::string why;
  if (!locatePreset(plugin, nameOrFile, preset, why) || !loadPresetInto(plugin, preset, why)) {
    error = "--preset " + inQuotes(nameOrFile) + ": " + why;
    return false;
  }
  return true;
}

}  // namespace plumbrook::cli
