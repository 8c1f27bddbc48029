// File helpers: capped reads, durable replacement, listing by extension, safe names, delete.
#include "files/files.h"

#include "files/temporary_files.h"

#include <fcntl.h>     // open
#include <sys/stat.h>  // fstat, lstat
#include <unistd.h>    // read, close

#include <cerrno>
#include <cstring>  // strerror
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

std::string kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a file";
}

}  // namespace

ReadResult readCapped(fs::path const& path, std::uintmax_t maxBytes) {
  ReadResult result;
  auto problem = [&](ReadProblem kind, std::string reason) {
    result.bytes.clear();
    result.problem = kind;
    result.reason = std::move(reason);
    return result;
  };
  int const fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    int const why = errno;
    if (why == ENOENT) return problem(ReadProblem::missing, "no such file");
    return problem(ReadProblem::unreadable, std::strerror(why));
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    int const why = errno;
    ::close(fd);
    return problem(ReadProblem::unreadable, std::strerror(why));
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return problem(ReadProblem::notRegular, "not a regular file (" + kindOf(info.st_mode) + ")");
  }
  if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
    ::close(fd);
    return problem(ReadProblem::tooLarge, "larger than " + std::to_string(maxBytes) + " bytes");
  }
  result.bytes.resize(static_cast<size_t>(info.st_size));
  size_t done = 0;
  // One byte more than the size: a file that grew since fstat is caught instead of cut.
  result.bytes.resize(result.bytes.size() + 1);
  while (done < result.bytes.size()) {
    ssize_t const got = ::read(fd, result.bytes.data() + done, result.bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      int const why = errno;
      ::close(fd);
      return problem(ReadProblem::unreadable, std::strerror(why));
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  ::close(fd);
  if (done > maxBytes) return problem(ReadProblem::tooLarge, "larger than " + std::to_string(maxBytes) + " bytes");
  result.bytes.resize(done);
  return result;
}

bool replaceFile(fs::path const& file, std::string_view contents, std::string& error) {
  std::error_code ignored;
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), ignored);
  TemporaryFile temp(file);
  if (temp.descriptor() < 0 || !temp.write(contents) || !temp.commit()) {
    error = temp.error();
    return false;
  }
  return true;
}

ReplaceTarget resolveReplaceTarget(fs::path const& path, bool overwriteProtected) {
  ReplaceTarget target;
  target.file = path;
  auto refuse = [&](ReplaceProblem problem, std::string reason) {
    target.problem = problem;
    target.reason = std::move(reason);
    return target;
  };
  constexpr int kMostLinks = 40;  // the kernel's own limit
  struct stat link {};
  for (int hops = 0; ::lstat(target.file.c_str(), &link) == 0 && S_ISLNK(link.st_mode); ++hops) {
    if (hops == kMostLinks) return refuse(ReplaceProblem::unresolvable, std::strerror(ELOOP));
    fs::path const folder = target.file.has_parent_path() ? target.file.parent_path() : fs::path(".");
    struct stat shared {};
    if (::stat(folder.c_str(), &shared) == 0 && (shared.st_mode & S_ISVTX) && (shared.st_mode & S_IWOTH) &&
        link.st_uid != ::geteuid() && link.st_uid != shared.st_uid)
      return refuse(ReplaceProblem::untrustedLink,
                    "it is a symbolic link owned by another user in a shared folder (sticky and writable by all); "
                    "it is not followed");
    std::error_code ec;
    fs::path const to = fs::read_symlink(target.file, ec);
    if (ec) return refuse(ReplaceProblem::unresolvable, ec.message());
    target.link = path;
    target.file = to.is_absolute() ? to : folder / to;
  }
  if (!target.link.empty()) {
    std::error_code ec;
    fs::path const canonical = fs::weakly_canonical(target.file, ec);
    if (!ec) target.file = canonical;
  }
  if (!overwriteProtected && ::faccessat(AT_FDCWD, target.file.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT)
    return refuse(ReplaceProblem::writeProtected, std::strerror(errno));
  return target;
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
