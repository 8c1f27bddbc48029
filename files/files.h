// File helpers: capped reads, durable replacement, listing by extension, safe names, delete.
#pragma once

#include <cstdint>
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

/// Why readCapped gave no bytes.
enum class ReadProblem { none, missing, notRegular, tooLarge, unreadable };

struct ReadResult {
  std::string bytes;
  ReadProblem problem = ReadProblem::none;
  std::string reason;  // "no such file", "not a regular file (a FIFO)", "larger than 1048576 bytes", ...
  explicit operator bool() const { return problem == ReadProblem::none; }
};

/// The whole of path when it is a regular file (symbolic links followed) of at most maxBytes;
/// opened without blocking, so a FIFO or device under the name never hangs the caller. Any
/// thread; allocates; does I/O.
ReadResult readCapped(std::filesystem::path const& path, std::uintmax_t maxBytes);

/// Replaces file with contents durably and in one step: a temporary file unique to this writer
/// beside it (never opened through a symbolic link), fsync, rename, fsync of the folder; missing
/// parent folders are created. On failure any previous file is unchanged, no temporary file
/// remains, error is "could not write <full path>: <system reason>" and the result is false.
/// Main thread; allocates; does I/O.
bool replaceFile(std::filesystem::path const& file, std::string_view contents, std::string& error);

/// Removes file (never a directory); on failure, including a missing file, sets error to
/// "could not delete " + file name and returns false. Main thread; does I/O.
bool deleteNamedFile(std::filesystem::path const& file, std::string& error);

}  // namespace quillfen::files
