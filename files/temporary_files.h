// Temporary files with names unique to their writer, and the table that removes them on signals.
#pragma once

#include <filesystem>
#include <string>

namespace quillfen::files {

/// Records path so that a terminating signal removes it (once removeTemporariesOnSignals ran);
/// false when the table is full or the path is too long. Any thread; async-signal-safe; no allocation.
bool registerTemporary(char const* path) noexcept;

/// Forgets path (byte-equal to a registered one). Any thread; async-signal-safe; no allocation.
void unregisterTemporary(char const* path) noexcept;

/// Installs handlers for SIGINT, SIGTERM, SIGHUP, SIGPIPE and SIGQUIT that remove every registered
/// temporary file and then re-raise the signal with its default action; signals already ignored
/// stay ignored. For programs only: a plug-in inside a host never calls this. Main thread;
/// idempotent.
void removeTemporariesOnSignals();

/// A new, empty, nameless scratch file in $TMPDIR (else /tmp), open for reading and writing, that
/// disappears when its descriptor is closed, whatever ends the process; -1 with error set to the
/// system's reason. Main thread; does I/O.
int openScratchFile(std::string& error);

/// A new, empty file beside a target, under a hidden name unique to this writer (process id,
/// counter and random bits), created exclusively and never through a symbolic link, registered
/// in the table until it is committed or destroyed. Making one also removes this user's files of
/// the same naming in that folder whose writer process is gone (killed before it could clean up).
class TemporaryFile {
 public:
  /// Creates the file in target's folder (mode 0600 until commit). On failure descriptor() < 0 and
  /// error() says "could not write <target>: <system reason>". Main thread; allocates; does I/O.
  explicit TemporaryFile(std::filesystem::path const& target);
  ~TemporaryFile();
  TemporaryFile(TemporaryFile const&) = delete;
  TemporaryFile& operator=(TemporaryFile const&) = delete;

  int descriptor() const { return fd_; }
  std::filesystem::path const& path() const { return path_; }
  std::string const& error() const { return error_; }

  /// Writes all of bytes at the current position; false with error() set. Main thread; I/O.
  bool write(std::string_view bytes);

  /// Flushes the data to disk, gives the file the permissions of the file it replaces (or the
  /// usual ones), renames it over the target and flushes the folder; false with error() set and
  /// the target untouched. The descriptor is closed either way. Main thread; allocates; I/O.
  bool commit();

 private:
  bool fail(int systemError);
  std::filesystem::path target_;
  std::filesystem::path path_;
  std::string error_;
  int fd_ = -1;
  bool owned_ = false;  // created here and not yet renamed away
  bool registered_ = false;
};

}  // namespace quillfen::files
