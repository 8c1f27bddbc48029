// Finding and loading presets for the command line through the plug-in's preset operations.
#include "apps/preset_lookup.h"

#include <filesystem>

#include "presets/preset_format.h"

namespace fs = std::filesystem;

namespace plumbrook::cli {
namespace {

std::string inQuotes(const std::string& text) { return "'" + text + "'"; }

}  // namespace

bool looksLikePresetFile(const std::string& argument) {
  return argument.find('/') != std::string::npos ||
         fs::path(argument).extension() == plumbrook::offline::kPresetFormat.extension;
}

std::optional<quillfen::presets::SavedPreset> findPreset(const Plumbrook& plugin, const std::string& name) {
  for (const quillfen::presets::SavedPreset& stored : plugin.savedPresets())
    if (stored.name == name) return stored;
  return std::nullopt;
}

bool locatePreset(const Plumbrook& plugin, const std::string& argument, quillfen::presets::SavedPreset& preset,
                  std::string& error) {
  if (looksLikePresetFile(argument)) {
    std::error_code ec;
    if (!fs::is_regular_file(argument, ec)) {
      error = inQuotes(argument) + ": no such preset file";
      return false;
    }
    // The plug-in reads the file itself when loading, so its own messages say what is wrong.
    preset = {};
    preset.name = fs::path(argument).stem().string();
    preset.path = argument;
    return true;
  }
  if (auto found = findPreset(plugin, argument)) {
    preset = *found;
    return true;
  }
  error = inQuotes(argument) + ": no preset of that name in " + inQuotes(plugin.presetDirectory().string()) +
          " (see 'plumbrook presets list')";
  return false;
}

bool loadPresetInto(Plumbrook& plugin, ConsoleSurface& surface, const quillfen::presets::SavedPreset& preset,
                    std::string& error) {
  const size_t shown = surface.messages().size();
  plugin.loadPreset(preset);
  for (size_t i = shown; i < surface.messages().size(); ++i) {
    if (!surface.messages()[i].question) {
      error = surface.messages()[i].text;
      return false;
    }
  }
  return true;
}

bool applyPreset(Plumbrook& plugin, ConsoleSurface& surface, const std::string& nameOrFile, std::string& error) {
  quillfen::presets::SavedPreset preset;
  std::string why;
  if (!locatePreset(plugin, nameOrFile, preset, why) || !loadPresetInto(plugin, surface, preset, why)) {
    error = "--preset " + inQuotes(nameOrFile) + ": " + why;
    return false;
  }
  return true;
}

}  // namespace plumbrook::cli
