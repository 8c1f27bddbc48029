// `plumbrook presets`: the user presets the plug-in keeps, listed, shown, saved and deleted
// through the plug-in's own preset operations, so the command line and a DAW share them.
#include <cstdio>
#include <optional>

#include "apps/command_line.h"
#include "apps/commands.h"
#include "apps/console_surface.h"
#include "apps/preset_lookup.h"
#include "apps/settings.h"
#include "platform/offline/offline_host.h"
#include "presets/preset_file.h"
#include "presets/preset_format.h"

namespace plumbrook::cli {
namespace {

const char* presetsUsage() {
  return "usage: plumbrook presets list\n"
         "       plumbrook presets show NAME|FILE\n"
         "       plumbrook presets save NAME [--set NAME=VALUE ...] [--preset NAME|FILE] [--state FILE] [--yes]\n"
         "       plumbrook presets delete NAME\n"
         "       plumbrook presets dir\n";
}

int fail(const std::string& message, int status = 1) {
  std::fprintf(stderr, "plumbrook presets: %s\n", terminalSafe(message).c_str());
  return status;
}

std::string trimmed(const std::string& name) {
  const size_t first = name.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return name.substr(first, name.find_last_not_of(" \t") - first + 1);
}

int list(Plumbrook& plugin) {
  // Names only: each state is checked and dropped, so a folder of large files stays cheap.
  const auto presets = quillfen::presets::listPresets(plumbrook::offline::kPresetFormat, plugin.presetDirectory(), false);
  if (presets.empty()) {
    std::fprintf(stderr, "plumbrook presets: no presets in %s\n",
                 terminalSafe(inQuotes(plugin.presetDirectory().string())).c_str());
    return 0;
  }
  for (const auto& preset : presets) std::printf("%s\n", terminalSafe(preset.name).c_str());
  return 0;
}

int show(Plumbrook& plugin, const std::string& argument) {
  quillfen::presets::SavedPreset preset;
  std::string error;
  if (!locatePreset(plugin, argument, preset, error)) return fail(error);
  if (!loadPresetInto(plugin, preset, error)) return fail(inQuotes(argument) + ": " + error);
  std::printf("%s  (%s)\n", terminalSafe(plugin.presetName()).c_str(), terminalSafe(preset.path.string()).c_str());
  for (int i = 0; i < plugin.NParams(); ++i) {
    const plugkit::Param& param = *plugin.GetParam(i);
    std::string shown;
    param.GetDisplay(param.Value(), false, shown);
    std::printf("  %-18s %-15s %s\n", param.GetName(), std::string(kParamSymbols[static_cast<size_t>(i)]).c_str(),
                shown.c_str());
  }
  return 0;
}

int save(Plumbrook& plugin, ConsoleSurface& surface, const std::string& name, const Args& rest) {
  Settings settings;
  std::string error;
  OptionReader reader(rest);
  while (reader.next()) {
    const std::string& option = reader.name();
    if ((option == "--yes" || option == "-y") && reader.bare()) {
      surface.answerYes = true;
      continue;
    }
    if (option != "--set" && option != "--preset" && option != "--state")
      return fail("unknown option " + inQuotes(option) + " (see 'plumbrook presets --help')", 2);
    std::string value;
    if (!reader.value(value, error)) return fail(error, 2);
    if (option == "--set") {
      if (!settings.addSet(plugin, value, error)) return fail(error, 2);
    } else if (option == "--preset") {
      settings.addPreset(value);
    } else {
      settings.addState(value);
    }
  }
  for (const std::string& note : settings.notes()) std::fprintf(stderr, "plumbrook presets: %s\n", terminalSafe(note).c_str());
  if (!settings.apply(plugin, error)) return fail(error);

  const std::string stored = trimmed(name);
  if (stored.empty()) return fail("a preset needs a name that is not only spaces");
  const auto& format = plumbrook::offline::kPresetFormat;
  const std::filesystem::path dir = plugin.presetDirectory();
  if (dir.empty()) return fail("no directory for presets: neither XDG_DATA_HOME nor HOME is set");
  // As the plug-in's preset bar does: re-saving the current preset never asks; replacing
  // another stored preset of the same name asks first.
  std::error_code ec;
  const std::filesystem::path target = quillfen::presets::presetPathForName(format, dir, name);
  const bool replaces = name != plugin.presetName() && !target.empty() && std::filesystem::exists(target, ec);
  const Plumbrook::PresetOutcome outcome = plugin.savePreset(name, replaces);
  if (outcome.kind == Plumbrook::PresetOutcome::kFailed) return 1;
  if (outcome.kind == Plumbrook::PresetOutcome::kDeclined)
    return fail(inQuotes(stored) + " was kept as it was (add --yes to replace it)");
  std::fprintf(stderr, "plumbrook presets: saved %s in %s\n", terminalSafe(inQuotes(stored)).c_str(),
               terminalSafe(inQuotes(quillfen::presets::presetPathForName(format, dir, stored).string())).c_str());
  return 0;
}

int remove(Plumbrook& plugin, const std::string& name) {
  const auto preset = findPreset(plugin, name);
  if (!preset)
    return fail(inQuotes(name) + ": no preset of that name in " + inQuotes(plugin.presetDirectory().string()));
  if (!plugin.removePreset(*preset)) return 1;
  std::fprintf(stderr, "plumbrook presets: deleted %s\n", terminalSafe(inQuotes(preset->path.string())).c_str());
  return 0;
}

}  // namespace

int runPresets(const Args& args) {
  if (args.empty()) {
    std::fputs(presetsUsage(), stderr);
    return 2;
  }
  const std::string& action = args[0];
  if (action == "--help" || action == "-h" || action == "help") {
    std::fputs(presetsUsage(), stdout);
    return 0;
  }
  std::string error;
  auto host = offline::OfflineHost::create({}, error);
  if (!host) return fail(error);
  Plumbrook& plugin = host->plugin();
  // The plug-in shows its preset messages in its editor: here they go to standard error.
  ConsoleSurface surface;
  surface.echo = true;
  plugin.AttachUI(&surface);
  int status = 2;
  const bool oneName = args.size() == 2;
  if (action == "list" && args.size() == 1) status = list(plugin);
  else if (action == "dir" && args.size() == 1) {
    std::printf("%s\n", terminalSafe(plugin.presetDirectory().string()).c_str());
    status = 0;
  } else if (action == "show" && oneName) status = show(plugin, args[1]);
  else if (action == "save" && args.size() >= 2) status = save(plugin, surface, args[1], Args(args.begin() + 2, args.end()));
  else if (action == "delete" && oneName) status = remove(plugin, args[1]);
  else status = fail("unknown or incomplete command " + inQuotes(action) + " (see 'plumbrook presets --help')", 2);
  plugin.DetachUI();
  return status;
}

}  // namespace plumbrook::cli
