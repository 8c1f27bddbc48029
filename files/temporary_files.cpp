// Temporary files with names unique to their writer, and the table that removes them on signals.
#include "files/temporary_files.h"

#include <dirent.h>      // opendir, readdir
#include <fcntl.h>       // open
#include <signal.h>      // sigaction, raise
#include <sys/random.h>  // getrandom
#include <sys/stat.h>    // fstat, stat, fchmod, umask
#include <unistd.h>      // write, fsync, close, unlink, getpid

#include <atomic>
#include <cerrno>
#include <cstdio>   // rename, snprintf
#include <cstdlib>  // getenv, mkostemp
#include <cstring>  // strerror, strlen, strcmp

namespace quillfen::files {
namespace fs = std::filesystem;

namespace {

constexpr int kTableSlots = 64;
constexpr size_t kPathBytes = 4096;

enum SlotState : int { kFree = 0, kFilling = 1, kInUse = 2 };

struct Slot {
  std::atomic<int> state{kFree};
  char path[kPathBytes];
};

Slot g_table[kTableSlots];
std::atomic<bool> g_handlersInstalled{false};

extern "C" void removeTemporariesAndReraise(int signalNumber) {
  int const savedErrno = errno;
  for (Slot& slot : g_table)
    if (slot.state.load(std::memory_order_acquire) == kInUse) ::unlink(slot.path);
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signalNumber, &fallback, nullptr);
  errno = savedErrno;
  ::raise(signalNumber);
}

std::atomic<unsigned> g_counter{0};

unsigned randomBits() {
  unsigned value = 0;
  if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) {
    // Early boot without entropy: the process id and counter still keep the name unique.
    value = static_cast<unsigned>(reinterpret_cast<uintptr_t>(&value));
  }
  return value;
}

void syncFolder(fs::path const& dir) {
  int const fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // a failure here loses nothing already renamed
  ::close(fd);
}

// The process id in a name this writer makes (".NAME.partial-PID-COUNTER-RANDOM"), or 0.
long writerOf(char const* name) {
  if (name[0] != '.') return 0;
  char const* tag = nullptr;
  for (char const* at = std::strstr(name, ".partial-"); at; at = std::strstr(at + 1, ".partial-")) tag = at;
  if (!tag) return 0;
  long pid = 0;
  unsigned counter = 0, random = 0;
  int used = 0;
  if (std::sscanf(tag, ".partial-%ld-%u-%8x%n", &pid, &counter, &random, &used) != 3 || tag[used] != '\0') return 0;
  return pid > 0 ? pid : 0;
}

// A writer killed outright (SIGKILL, a power cut) cannot remove its file: the next writer into
// the folder removes those of this user whose process is gone.
void removeStaleTemporaries(fs::path const& dir) {
  DIR* folder = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!folder) return;
  int const folderFd = ::dirfd(folder);
  while (dirent const* entry = ::readdir(folder)) {
    long const pid = writerOf(entry->d_name);
    if (pid == 0 || pid == static_cast<long>(::getpid())) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    struct stat info {};
    if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::geteuid())
      continue;
    ::unlinkat(folderFd, entry->d_name, 0);
  }
  ::closedir(folder);
}

}  // namespace

bool registerTemporary(char const* path) noexcept {
  size_t const length = std::strlen(path);
  if (length >= kPathBytes) return false;
  for (Slot& slot : g_table) {
    int expected = kFree;
    if (!slot.state.compare_exchange_strong(expected, kFilling, std::memory_order_acq_rel)) continue;
    std::memcpy(slot.path, path, length + 1);
    slot.state.store(kInUse, std::memory_order_release);
    return true;
  }
  return false;
}

void unregisterTemporary(char const* path) noexcept {
  for (Slot& slot : g_table) {
    if (slot.state.load(std::memory_order_acquire) != kInUse || std::strcmp(slot.path, path) != 0) continue;
    int expected = kInUse;
    if (slot.state.compare_exchange_strong(expected, kFree, std::memory_order_acq_rel)) return;
  }
}

void removeTemporariesOnSignals() {
  if (g_handlersInstalled.exchange(true)) return;
  struct sigaction action {};
  action.sa_handler = removeTemporariesAndReraise;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) sigaddset(&action.sa_mask, s);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) {
    // A signal the caller ignores (nohup, a background job) stays ignored.
    struct sigaction current {};
    if (::sigaction(s, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    ::sigaction(s, &action, nullptr);
  }
}

int openScratchFile(std::string& error) {
  char const* fromEnvironment = std::getenv("TMPDIR");
  fs::path const dir = fromEnvironment && *fromEnvironment ? fs::path(fromEnvironment) : fs::path("/tmp");
  int fd = ::open(dir.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  // A file system without nameless files: a named one, unlinked at once.
  std::string pattern = (dir / ".plumbrook-scratch-XXXXXX").string();
  fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    error = "cannot make a scratch file in " + dir.string() + ": " + std::strerror(errno);
    return -1;
  }
  ::unlink(pattern.c_str());
  return fd;
}

TemporaryFile::TemporaryFile(fs::path const& target) : target_(target) {
  fs::path dir = target.parent_path();
  removeStaleTemporaries(dir);
  char unique[64];
  std::snprintf(unique, sizeof unique, ".partial-%ld-%u-%08x", static_cast<long>(::getpid()),
                g_counter.fetch_add(1), randomBits());
  path_ = dir / ("." + target.filename().string() + unique);
  // Registered before it exists, so that no signal can fall between creating and registering.
  registered_ = registerTemporary(path_.c_str());
  // Exclusive and no-follow: a link or file planted at this name makes the open fail instead of
  // being written through.
  fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    int const reason = errno;
    if (registered_) unregisterTemporary(path_.c_str());
    registered_ = false;
    fail(reason);
    return;
  }
  owned_ = true;
}

TemporaryFile::~TemporaryFile() {
  if (fd_ >= 0) ::close(fd_);
  if (owned_) ::unlink(path_.c_str());
  if (registered_) unregisterTemporary(path_.c_str());
}

bool TemporaryFile::fail(int systemError) {
  error_ = "could not write " + target_.string() + ": " + std::strerror(systemError);
  return false;
}

bool TemporaryFile::write(std::string_view bytes) {
  if (fd_ < 0) return false;
  char const* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t const written = ::write(fd_, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  return true;
}

bool TemporaryFile::commit() {
  if (fd_ < 0) return false;
  struct stat existing {};
  mode_t mode = 0;
  if (::stat(target_.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    mode_t const mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  // The data reaches the disk before the rename, so that even a power cut leaves either the old
  // file or the whole new one under the final name.
  bool ok = ::fchmod(fd_, mode) == 0 && ::fsync(fd_) == 0;
  int reason = errno;
  if (::close(fd_) != 0 && ok) {
    ok = false;
    reason = errno;
  }
  fd_ = -1;
  if (ok && std::rename(path_.c_str(), target_.c_str()) != 0) {
    ok = false;
    reason = errno;
  }
  if (!ok) ::unlink(path_.c_str());
  owned_ = false;
  if (registered_) unregisterTemporary(path_.c_str());
  registered_ = false;
  if (!ok) return fail(reason);
  syncFolder(target_.parent_path());
  return true;
}

}  // namespace quillfen::files
