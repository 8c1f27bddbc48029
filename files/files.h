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

/// Why resolveReplaceTarget refuses a path.
enum class ReplaceProblem { none, untrustedLink, writeProtected, unresolvable };

struct ReplaceTarget {
  std::filesystem::path file;  // what a replacement renames onto
  std::filesystem::path link;  // the path given, when it was a symbolic link; else empty
  ReplaceProblem problem = ReplaceProblem::none;
  std::string reason;  // the system's reason, or why a link is not followed
  explicit operator bool() const { return problem == ReplaceProblem::none; }
};

/// Where replacing path lands: path itself, or the file its symbolic links lead to (the links
/// stay). A link in a sticky, world-writable folder is followed only when it belongs to this user
/// or to the folder's owner, as the kernel does for open, so a link planted by someone else in a
/// shared folder never redirects the write. An existing file this user may not write is refused
/// (the system's reason) unless overwriteProtected. Main thread; allocates; does I/O.
ReplaceTarget resolveReplaceTarget(std::filesystem::path const& path, bool overwriteProtected);

/// Removes file (never a directory); on failure, including a missing file, sets error to
/// "could not delete " + file name and returns false. Main thread; does I/O.
bool deleteNamedFile(std::filesystem::path const& file, std::string& error);

}  // namespace quillfen::files
