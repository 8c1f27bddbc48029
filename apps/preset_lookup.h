// Finding and loading presets for the command line through the plug-in's preset operations.
#pragma once

#include <optional>
#include <string>

#include "apps/console_surface.h"
#include "core/plumbrook.h"

namespace plumbrook::cli {

/// True when the argument names a file rather than a stored preset: it holds "/" or ends in
/// the preset extension.
bool looksLikePresetFile(const std::string& argument);

/// The first stored preset with exactly this name (as the plug-in lists them).
std::optional<quillfen::presets::SavedPreset> findPreset(const Plumbrook& plugin, const std::string& name);

/// A stored preset by name, or a preset file. False with a message (without a prefix).
bool locatePreset(const Plumbrook& plugin, const std::string& argument, quillfen::presets::SavedPreset& preset,
                  std::string& error);

/// Loads through the plug-in's preset loading; false with the plug-in's own failure message.
bool loadPresetInto(Plumbrook& plugin, ConsoleSurface& surface, const quillfen::presets::SavedPreset& preset,
                    std::string& error);

/// Loads a stored preset by name, or a preset file (a path with "/" or the preset extension),
/// through the plug-in's own preset loading. False with a one-line message naming the argument.
bool applyPreset(Plumbrook& plugin, ConsoleSurface& surface, const std::string& nameOrFile, std::string& error);

}  // namespace plumbrook::cli
