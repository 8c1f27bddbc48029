// Shared check for newer versions: record and marker files, feed fetch, notice, worker thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "updates/http_result.h"
#include "updates/maker.h"

namespace quillfen::updates {

/// The largest record file, feed document or answer body that is read or parsed, in bytes.
inline constexpr std::size_t kMaxTextBytes = 65536;

/// At least this many seconds pass between two fetches made from one directory.
inline constexpr int64_t kCheckIntervalSeconds = 600;

/// What the marker file holds when setEnabled(false) creates it.
inline constexpr std::string_view kOffFileText =
    "The Quillfen plug-ins do not check for updates while this file is here.\n";

/// <appSupport>/Quillfen/<support subfolder>: the directory shared by all of the maker's plug-ins.
std::filesystem::path defaultDirectory(const std::filesystem::path& appSupport);

/// One GET of a feed URL; it gives up with no answer soon after `cancelled` turns true.
using Fetch = std::function<platform::HttpResult(const std::string& url, const std::atomic<bool>& cancelled)>;

/// Who is asking, where the shared files live and how the platform fetches. The host binding
/// hands in the fetch and the network permission; without them no request is ever made.
struct Config {
  std::string product;
  std::string version;
  /// The shared folder; when empty (no application-support folder is known) the check is off
  /// and touches no file.
  std::filesystem::path directory;
  /// The feed endpoint; QUILLFEN_UPDATES_URL, when set and not empty, replaces it.
  std::string feedUrl = defaultFeedUrl();
  /// Seconds since the Unix epoch; the system clock when empty.
  std::function<int64_t()> now;
  /// One GET of the feed; none is made when empty.
  Fetch fetch;
  /// Whether a request may be made at all; none is made when empty.
  std::function<bool()> networkAllowed;
};

/// A newer version offered by the feed, and the web page that describes it.
struct Notice {
  std::string version;
  std::string url;
  bool operator==(const Notice&) const = default;
};

/// Major, minor and patch numbers.
using Version = std::array<int, 3>;

/// Three groups of 1 to 4 decimal digits joined by single dots and nothing else; empty otherwise.
std::optional<Version> parseVersion(std::string_view text);

/// The check shared by all instances of all of the maker's plug-ins on this machine. File and
/// network work happens on the caller's thread; the published state is guarded by a mutex.
class UpdateCheck {
 public:
  /// What the record file holds: when the last check was claimed, and the last good feed.
  struct Record {
    int64_t checkedAt = 0;
    std::string feed;
    bool operator==(const Record&) const = default;
  };
  using Notice = updates::Notice;

  /// A copy of the published state, for the editor.
  struct Snapshot {
    bool enabled = true;
    std::optional<Notice> notice;
    uint32_t revision = 0;
  };

  /// Fills in the default operations, lets QUILLFEN_UPDATES_URL (when set and not empty) replace
  /// the feed URL, and runs reload() on the calling thread. Reads files; allocates.
  explicit UpdateCheck(Config config);
  UpdateCheck(const UpdateCheck&) = delete;
  UpdateCheck& operator=(const UpdateCheck&) = delete;

  /// The configuration in use, defaults and environment applied.
  const Config& config() const noexcept { return config_; }

  /// Recomputes enabled and the notice from the marker and record files, bumping the revision
  /// when either changed. No network; any thread; allocates.
  void reload();

  /// When no marker exists, the network is allowed and 600 s have passed since the recorded check
  /// (or the clock went back): records the new time, then fetches the feed and records it if it
  /// is a JSON object and the record still fits in kMaxTextBytes. Blocks for the fetch, which
  /// `cancelled` cuts short; worker thread; allocates.
  void checkIfDue(const std::atomic<bool>& cancelled = kNeverCancelled);
  static const std::atomic<bool> kNeverCancelled;

  /// Removes (on) or creates (off) the marker file, then reload(). Editor thread; allocates.
  void setEnabled(bool on);

  /// The published state, copied under the mutex. Any thread; allocates for the notice.
  Snapshot snapshot() const;

  /// The published revision alone, which grows whenever enabled or the notice changes.
  uint32_t revision() const;

  /// directory / "updates-off".
  std::filesystem::path offFile() const;
  /// directory / "updates.json".
  std::filesystem::path recordFile() const;

  /// The record file's content; {0, ""} when missing or damaged, checkedAt 0 when not a whole
  /// number, feed "" when not JSON. Allocates.
  Record readRecord() const;
  /// Replaces the record file atomically; false when it could not be written or would be longer
  /// than kMaxTextBytes (and so unreadable). Allocates.
  bool writeRecord(const Record& record) const;

  /// The notice for this product when the record's feed offers a version newer than the running
  /// one with an acceptable page; empty otherwise. Allocates.
  std::optional<Notice> noticeFrom(const Record& record) const;

  /// The whole file as bytes; empty when it cannot be read or is longer than kMaxTextBytes.
  static std::optional<std::string> readFile(const std::filesystem::path& path);
  /// Replaces `path` with `text` durably (a temporary file unique to this writer, renamed),
  /// creating missing directories; false (and no temporary left behind) on failure.
  static bool writeFile(const std::filesystem::path& path, std::string_view text);

 private:
  bool markerPresent() const;

  Config config_;
  mutable std::mutex mutex_;
  std::optional<Notice> notice_;
  bool enabled_ = true;
  uint32_t revision_ = 0;
  // Serialises whole reloads, so a slower reload that read older files cannot publish its
  // result after a newer one.
  std::mutex reloadMutex_;
};

/// Runs checkIfDue() and reload() on a thread of its own: once after the first delay, then each
/// time the period has passed on the monotonic clock. Stopping wakes every wait at once and
/// cancels a request in flight, so it returns promptly.
class UpdateWorker {
 public:
  /// Starts the thread; the first run comes `firstDelay` plus a uniform 0..`firstSpread` later.
  /// When no thread can be started, nothing is ever checked. Allocates.
  explicit UpdateWorker(std::shared_ptr<UpdateCheck> check,
                        std::chrono::milliseconds firstDelay = std::chrono::milliseconds(4000),
                        std::chrono::milliseconds firstSpread = std::chrono::milliseconds(6000),
                        std::chrono::milliseconds period = std::chrono::seconds(600));
  /// stop().
  ~UpdateWorker();
  UpdateWorker(const UpdateWorker&) = delete;
  UpdateWorker& operator=(const UpdateWorker&) = delete;

  /// Asks the thread to stop and joins it; safe to call more than once.
  void stop();

  /// How many times the hook has finished; any thread.
  int runs() const;

 private:
  void run(std::chrono::milliseconds firstWait);
  void runHook();

  std::shared_ptr<UpdateCheck> check_;
  std::chrono::milliseconds period_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopRequested_ = false;
  std::atomic<bool> cancelRequest_{false};
  int runs_ = 0;
  std::thread thread_;
};

}  // namespace quillfen::updates
