// Finding and loading presets for the command line through the plug-in's preset operations.
#pragma once

#include <optional>
#include <string>

#include "apps/console_surface.h"
#include "plugin/plumbrook.h"

namespace plumbrook::cli {

/// The first stored preset with exactly this name (as the plug-in lists them, without states).
std::optional<quillfen::presets::SavedPreset> findPreset(const Plumbrook& plugin, const std::string& name);

/// A preset file when the argument ends in the preset extension; else the stored preset of that
/// name; else, when no stored preset has the name, a preset file at that path. False with a
/// message (without a prefix).
bool locatePreset(const Plumbrook& plugin, const std::string& argument, quillfen::presets::SavedPreset& preset,
                  std::string& error);

/// Loads through the plug-in's preset loading; false with the failure message it returned.
bool loadPresetInto(Plumbrook& plugin, const quillfen::presets::SavedPreset& preset,
                    std::string& error);

/// Loads a preset found as locatePreset finds it through the plug-in's own preset loading. False with a one-line message naming the argument.
bool applyPreset(Plumbrook& plugin, const std::string& nameOrFile, std::string& error);

}  // namespace plumbrook::cli
