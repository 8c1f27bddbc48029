// File helpers for user documents: listing by extension, safe names, atomic replace, delete.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen::files {

/// Regular files (symbolic links followed) directly in dir whose extension equals extension
/// byte for byte, in directory order; empty when dir is missing. A directory read error ends
/// the list early instead of throwing. Main thread; allocates; does I/O.
std::vector<std::filesystem::path> filesWithExtension(std::filesystem::path const& dir,
                                                      std::string_view extension);

/// The file in dir that stands for a user-given name: forbidden bytes become "-", the name is cut
/// to 80 bytes on a character boundary, dots and spaces are trimmed (fallback when nothing is
/// left), reserved device names get a "-" appended, then extension is added. Pure; allocates.
std::filesystem::path pathForName(std::filesystem::path const& dir, std::string_view name,
                                  std::string_view extension, std::string_view fallback);

/// Replaces file with contents in one step through file + ".partial" and a rename, creating
/// missing parent directories; on failure leaves any previous file unchanged, sets error to
/// "could not write " + full path and returns false. Main thread; allocates; does I/O.
bool replaceFile(std::filesystem::path const& file, std::string_view contents, std::string& error);

/// Removes file (never a directory); on failure, including a missing file, sets error to
/// "could not delete " + file name and returns false. Main thread; does I/O.
bool deleteNamedFile(std::filesystem::path const& file, std::string& error);

}  // namespace quillfen::files
