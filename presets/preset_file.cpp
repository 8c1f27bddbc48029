// User preset files: a header line, the preset's name and its state bytes in Base64.
#include "presets/preset_file.h"

#include "files/files.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace quillfen::presets {
namespace fs = std::filesystem;

namespace {

constexpr int kMaxAlternatives = 999;
constexpr std::string_view kPartialSuffix = ".partial";

std::string notAPreset(Format const& format, fs::path const& file) {
  return "not an " + std::string(format.product) + " preset: " + file.filename().string();
}

std::string_view dropOneCr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

fs::path userPresetDirectory(Format const& format, fs::path const& base) {
  // Without a support directory a relative "Plumbrook/Presets" would land wherever the host
  // happens to run; no directory at all is the safe answer.
  if (base.empty()) return {};
  return base / fs::path(format.folder) / "Presets";
}

bool parsePreset(Format const& format, std::string_view bytes, fs::path const& fileName,
                 SavedPreset& out, std::string& error) {
  size_t position = 0;
  auto nextLine = [&](std::string_view& line) {
    if (position >= bytes.size()) return false;
    size_t const end = std::min(bytes.find('\n', position), bytes.size());
    line = dropOneCr(bytes.substr(position, end - position));
    position = end + 1;
    return true;
  };

  std::string_view line;
  if (!nextLine(line) || line != format.header) {
    error = notAPreset(format, fileName);
    return false;
  }
  out.name.clear();
  out.state.clear();
  bool hasState = false;
  while (nextLine(line)) {
    size_t const equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view const key = line.substr(0, equals);
    std::string_view const value = line.substr(equals + 1);
    if (key == "name") {
      out.name = value;
    } else if (key == "state") {
      hasState = fromBase64(value, out.state) && !out.state.empty();
    }
  }
  if (!hasState) {
    out.state.clear();
    error = "the preset has no readable state: " + fileName.filename().string();
    return false;
  }
  if (out.name.empty()) out.name = fileName.stem().string();
  return true;
}

bool readPreset(Format const& format, fs::path const& file, SavedPreset& out, std::string& error) {
  // The temporary file of an unfinished save may hold any prefix of a preset; it is never one.
  std::string const name = file.filename().string();
  bool const temporary = name.ends_with(kPartialSuffix) ||
                         (name.starts_with('.') && name.find(std::string(kPartialSuffix) + "-") != std::string::npos);
  if (temporary) {
    error = notAPreset(format, file);
    return false;
  }
  files::ReadResult const read = files::readCapped(file, kMaxPresetFileBytes);
  if (read.problem == files::ReadProblem::tooLarge) {
    error = "the preset file is too large: " + file.filename().string();
    return false;
  }
  if (!read) {
    error = notAPreset(format, file);
    return false;
  }
  if (!parsePreset(format, read.bytes, file, out, error)) return false;
  out.path = file;
  return true;
}

std::vector<SavedPreset> listPresets(Format const& format, fs::path const& dir, bool keepStates) {
  std::vector<SavedPreset> presets;
  std::string ignored;
  for (fs::path const& file : files::filesWithExtension(dir, format.extension)) {
    SavedPreset preset;
    if (!readPreset(format, file, preset, ignored)) continue;
    if (!keepStates) std::vector<uint8_t>().swap(preset.state);
    presets.push_back(std::move(preset));
  }
  // std::string compares as unsigned bytes, which is the order wanted here.
  std::stable_sort(presets.begin(), presets.end(),
                   [](SavedPreset const& a, SavedPreset const& b) { return a.name < b.name; });
  return presets;
}

std::string storedPresetName(std::string_view name) {
  std::string stored(name);
  std::replace(stored.begin(), stored.end(), '\n', ' ');
  std::replace(stored.begin(), stored.end(), '\r', ' ');
  return stored;
}

std::string presetFileContents(Format const& format, std::string_view name,
                               std::vector<uint8_t> const& state) {
  std::string contents;
  std::string const encoded = toBase64(state);
  contents.reserve(format.header.size() + name.size() + encoded.size() + 16);
  contents += format.header;
  contents += "\nname=";
  contents += storedPresetName(name);
  contents += "\nstate=";
  contents += encoded;
  contents += '\n';
  return contents;
}

std::optional<fs::path> freePresetPath(Format const& format, fs::path const& dir, std::string_view name) {
  fs::path const base = files::pathForName(dir, name, format.extension, "Preset");
  std::string const stem = base.stem().string();
  // Compare with the name as the file would give it back, or a name with a line break in it
  // would never find its own file and every save would make a new one.
  std::string const stored = storedPresetName(name);
  for (int n = 0; n <= kMaxAlternatives; ++n) {
    fs::path const candidate =
        n == 0 ? base : dir / (stem + "-" + std::to_string(n) + std::string(format.extension));
    std::error_code ec;
    if (!fs::exists(fs::status(candidate, ec))) return candidate;
    SavedPreset existing;
    std::string ignored;
    if (readPreset(format, candidate, existing, ignored) && existing.name == stored) return candidate;
  }
  return std::nullopt;
}

fs::path presetPathForName(Format const& format, fs::path const& dir, std::string_view name) {
  return freePresetPath(format, dir, name).value_or(fs::path());
}

bool writePreset(Format const& format, fs::path const& dir, std::string_view name,
                 std::vector<uint8_t> const& state, std::string& error) {
  if (name.empty()) {
    error = "the preset has no name";
    return false;
  }
  if (dir.empty()) {
    error = "there is no preset directory";
    return false;
  }
  std::optional<fs::path> const file = freePresetPath(format, dir, name);
  if (!file) {
    error = "no free file name for " + std::string(name);
    return false;
  }
  return files::replaceFile(*file, presetFileContents(format, name, state), error);
}

}  // namespace quillfen::presets
