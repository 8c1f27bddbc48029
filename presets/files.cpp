// File helpers for user documents: listing by extension, safe names, atomic replace, delete.
#include "presets/files.h"

#include <fcntl.h>     // open
#include <sys/stat.h>  // fstat, lstat
#include <unistd.h>    // write, fsync, close, unlink

#include <cerrno>
#include <cstdio>  // rename
#include <system_error>

namespace quillfen::files {
namespace fs = std::filesystem;

std::vector<fs::path> filesWithExtension(fs::path const& dir, std::string_view extension) {
  std::vector<fs::path> found;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return found;
  fs::directory_iterator it(dir, ec);
  if (ec) return found;
  // Advancing through error codes: a directory that fails half-way gives what was read so far.
  for (fs::directory_iterator const end; it != end; it.increment(ec)) {
    std::error_code entryError;
    if (!it->is_regular_file(entryError)) continue;
    fs::path const& path = it->path();
    if (path.filename().extension().native() == extension) found.push_back(path);
  }
  return found;
}

namespace {

bool forbiddenByte(unsigned char byte) {
  if (byte < 32) return true;
  switch (byte) {
    case '"': case '*': case '/': case ':': case '<': case '>': case '?': case '\\': case '|':
      return true;
    default:
      return false;
  }
}

constexpr size_t kMaxNameBytes = 80;

bool continuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Device names that some file systems refuse even with an extension; kept off every platform
// so that a preset folder can be copied anywhere.
bool reservedDeviceName(std::string_view name) {
  std::string stem(name.substr(0, name.find('.')));
  for (char& c : stem)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' &&
         stem[3] <= '9';
}

}  // namespace

fs::path pathForName(fs::path const& dir, std::string_view name, std::string_view extension,
                     std::string_view fallback) {
  std::string safe(name);
  for (char& c : safe)
    if (forbiddenByte(static_cast<unsigned char>(c))) c = '-';
  if (safe.size() > kMaxNameBytes) {
    size_t cut = kMaxNameBytes;
    // Step back to the lead byte of a character split by the cut; a run of stray continuation
    // bytes longer than any character is not UTF-8 and is cut where it stands.
    size_t back = 0;
    while (back < 4 && cut - back > 0 && continuationByte(static_cast<unsigned char>(safe[cut - back])))
      ++back;
    if (back > 0 && back < 4) cut -= back;
    safe.resize(cut);
  }
  size_t const first = safe.find_first_not_of(". ");
  if (first == std::string::npos) {
    safe = fallback;
  } else {
    size_t const last = safe.find_last_not_of(". ");
    safe = safe.substr(first, last - first + 1);
  }
  if (reservedDeviceName(safe)) safe += '-';
  safe += extension;
  return dir / safe;
}

namespace {

bool writeAll(int fd, std::string_view contents) {
  char const* data = contents.data();
  size_t left = contents.size();
  while (left > 0) {
    ssize_t const written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  return true;
}

// Makes a finished rename survive a power cut; failure here loses nothing already written.
void syncDirectory(fs::path const& dir) {
  int const fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool replaceFile(fs::path const& file, std::string_view contents, std::string& error) {
  auto fail = [&] {
    error = "could not write " + file.string();
    return false;
  };
  std::error_code ignored;
  fs::create_directories(file.parent_path(), ignored);

  fs::path const temp = file.native() + ".partial";
  // A leftover from a crashed save is stale: remove it, then create the temporary file afresh
  // and exclusively, so that a symbolic link planted at its name is never written through.
  if (::unlink(temp.c_str()) != 0 && errno != ENOENT) return fail();
  int const fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return fail();

  // The data reaches the disk before the rename, so that even a power cut leaves either the old
  // file or the whole new one under the final name.
  bool ok = writeAll(fd, contents) && ::fsync(fd) == 0;
  struct stat written {};
  ok = ::fstat(fd, &written) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  // Another writer of the same name may have replaced the temporary file meanwhile; never move
  // a file this call did not finish writing into place.
  struct stat current {};
  bool const stillOurs = ::lstat(temp.c_str(), &current) == 0 && current.st_dev == written.st_dev &&
                         current.st_ino == written.st_ino;
  if (!ok || !stillOurs) {
    if (stillOurs) ::unlink(temp.c_str());
    return fail();
  }
  if (std::rename(temp.c_str(), file.c_str()) != 0) {
    ::unlink(temp.c_str());
    return fail();
  }
  syncDirectory(file.parent_path());
  return true;
}

bool deleteNamedFile(fs::path const& file, std::string& error) {
  std::error_code ec;
  // A directory that happens to carry the name is not the user's file; leave it alone.
  bool removed = false;
  if (!fs::is_directory(fs::symlink_status(file, ec))) removed = fs::remove(file, ec);
  if (!removed || ec) {
    error = "could not delete " + file.filename().string();
    return false;
  }
  return true;
}

}  // namespace quillfen::files
