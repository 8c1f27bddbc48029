// User preset files: a header line, the preset's name and its state bytes in Base64.
#pragma once

#include "presets/base64.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen::presets {

/// What makes one product's preset files its own; the texts are static and not owned.
struct Format {
  std::string_view extension;  // with its dot, e.g. ".pbpreset"
  std::string_view header;     // exact first line of every file
  std::string_view folder;     // product folder under the application-support directory
  std::string_view product;    // product name in the error for a file that is not a preset
};

/// One preset as read from disk.
struct SavedPreset {
  std::string name;            // name stored in the file, or the file's stem when it holds none
  std::vector<uint8_t> state;  // decoded state bytes, never empty
  std::filesystem::path path;  // the file it was read from
};

/// Files larger than this are refused unread; a real preset is a few hundred bytes.
inline constexpr std::uintmax_t kMaxPresetFileBytes = 1u << 20;

/// base / folder / "Presets", or an empty path when base is empty (no support directory known).
/// Pure; allocates.
std::filesystem::path userPresetDirectory(Format const& format, std::filesystem::path const& base);

/// Every readable preset in dir, sorted by the bytes of their names (duplicates kept, equal names
/// in directory order); unreadable files are skipped silently. Without keepStates each state is
/// checked and then dropped, so memory stays small however many files there are. Main thread;
/// allocates; does I/O.
std::vector<SavedPreset> listPresets(Format const& format, std::filesystem::path const& dir,
                                     bool keepStates = true);

/// Reads one preset file into out; false with error "not an <product> preset: <file name>" or
/// "the preset has no readable state: <file name>" (or "the preset file is too large: <file
/// name>"). Main thread; allocates; does I/O.
bool readPreset(Format const& format, std::filesystem::path const& file, SavedPreset& out,
                std::string& error);

/// Parses the bytes of a preset file named fileName the way readPreset does, without the file:
/// fills out.name and out.state (out.path is left alone). Pure; allocates.
bool parsePreset(Format const& format, std::string_view bytes, std::filesystem::path const& fileName,
                 SavedPreset& out, std::string& error);

/// The exact bytes writePreset stores for this name and state. Pure; allocates.
std::string presetFileContents(Format const& format, std::string_view name,
                               std::vector<uint8_t> const& state);

/// The name as a file stores it (and reads it back): every CR and LF becomes a space. Pure.
std::string storedPresetName(std::string_view name);

/// The file a preset of this name is or would be saved to: the safe file name, or the first free
/// numbered alternative "<stem>-<n><extension>" (n = 1..999) when that holds something else;
/// nothing when all 1000 are taken. Main thread; allocates; does I/O.
std::optional<std::filesystem::path> freePresetPath(Format const& format,
                                                    std::filesystem::path const& dir,
                                                    std::string_view name);

/// freePresetPath, or an empty path when every alternative is taken. Main thread; allocates; I/O.
std::filesystem::path presetPathForName(Format const& format, std::filesystem::path const& dir,
                                        std::string_view name);

/// Saves state under name in dir (created when missing) without ever leaving a half-written
/// preset under its final name; false with a short lower-case error (an empty name, no directory,
/// no free file name, or "could not write <path>"). Main thread; allocates; does I/O.
bool writePreset(Format const& format, std::filesystem::path const& dir, std::string_view name,
                 std::vector<uint8_t> const& state, std::string& error);

}  // namespace quillfen::presets
