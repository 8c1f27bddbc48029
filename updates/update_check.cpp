// Shared update check: files, fetch, notice and the background worker.
#include "updates/update_check.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "files/files.h"
#include "updates/json.h"

namespace quillfen::updates {

namespace fs = std::filesystem;

namespace {

uint32_t randomU32() {
  try {
    std::random_device device;
    return static_cast<uint32_t>(device());
  } catch (...) {
    // No entropy source: a clock-derived value still keeps concurrent writers apart.
    return static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
}

std::optional<json::Value> parseObject(std::string_view text) {
  if (text.size() > kMaxTextBytes) return std::nullopt;
  auto value = json::detail::Reader(text).document();
  if (!value || value->kind != json::Value::Kind::Object) return std::nullopt;
  return value;
}

bool acceptablePage(std::string_view page) {
  if (page.empty() || page.size() > 100 || page.front() != '/') return false;
  if (page.size() >= 2 && page[1] == '/') return false;
  return std::all_of(page.begin(), page.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
           c == '#' || c == '-' || c == '_';
  });
}

// True when `now` is at least the interval past `checkedAt`, or before it; computed without
// signed overflow, since both come from outside (a record file, an injected clock).
bool checkDue(int64_t now, int64_t checkedAt) {
  if (now < checkedAt) return true;
  const uint64_t elapsed = static_cast<uint64_t>(now) - static_cast<uint64_t>(checkedAt);
  return elapsed >= static_cast<uint64_t>(kCheckIntervalSeconds);
}

}  // namespace

fs::path defaultDirectory(const fs::path& appSupport) {
  return appSupport / "Quillfen" / fs::path(std::string(kSupportSubfolder));
}

std::optional<Version> parseVersion(std::string_view text) {
  Version version{};
  std::size_t pos = 0;
  for (std::size_t group = 0; group < version.size(); ++group) {
    if (group > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    int value = 0;
    std::size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      if (++digits > 4) return std::nullopt;
      value = value * 10 + (text[pos] - '0');
      ++pos;
    }
    if (digits == 0) return std::nullopt;
    version[group] = value;
  }
  if (pos != text.size()) return std::nullopt;
  return version;
}

UpdateCheck::UpdateCheck(Config config) : config_(std::move(config)) {
  if (!config_.now) {
    config_.now = [] {
      using namespace std::chrono;
      return static_cast<int64_t>(
          duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
    };
  }
  if (const char* url = std::getenv("QUILLFEN_UPDATES_URL"); url != nullptr && *url != '\0') {
    config_.feedUrl = url;
  }
  reload();
}

fs::path UpdateCheck::offFile() const { return config_.directory / "updates-off"; }

fs::path UpdateCheck::recordFile() const { return config_.directory / "updates.json"; }

const std::atomic<bool> UpdateCheck::kNeverCancelled{false};

bool UpdateCheck::markerPresent() const {
  std::error_code error;
  return fs::exists(offFile(), error);
}

void UpdateCheck::reload() {
  std::lock_guard reloading(reloadMutex_);
  const bool enabled = !config_.directory.empty() && !markerPresent();
  std::optional<Notice> notice = enabled ? noticeFrom(readRecord()) : std::nullopt;
  std::lock_guard lock(mutex_);
  if (enabled != enabled_ || notice != notice_) ++revision_;
  enabled_ = enabled;
  notice_ = std::move(notice);
}

void UpdateCheck::checkIfDue(const std::atomic<bool>& cancelled) {
  // Without a known folder a relative path would land in the host's working directory.
  if (config_.directory.empty() || !config_.fetch || !config_.networkAllowed) return;
  if (markerPresent()) return;
  if (!config_.networkAllowed()) return;
  Record record = readRecord();
  const int64_t now = config_.now();
  if (!checkDue(now, record.checkedAt)) return;
  record.checkedAt = now;
  // Claiming the check before the request keeps every instance sharing the directory quiet for
  // the next interval, whatever the network does; an unwritable directory means no request.
  if (!writeRecord(record)) return;
  platform::HttpResult answer = config_.fetch(config_.feedUrl, cancelled);
  if (answer.status != 200 || !parseObject(answer.body)) return;
  record.feed = std::move(answer.body);
  // A feed too long for the record once quoted is refused: the record keeps the old feed.
  writeRecord(record);
}

void UpdateCheck::setEnabled(bool on) {
  if (config_.directory.empty()) return;
  if (on) {
    std::error_code error;
    fs::remove(offFile(), error);
  } else {
    writeFile(offFile(), kOffFileText);
  }
  reload();
}

UpdateCheck::Snapshot UpdateCheck::snapshot() const {
  std::lock_guard lock(mutex_);
  return Snapshot{enabled_, notice_, revision_};
}

uint32_t UpdateCheck::revision() const {
  std::lock_guard lock(mutex_);
  return revision_;
}

UpdateCheck::Record UpdateCheck::readRecord() const {
  if (config_.directory.empty()) return {};
  const std::optional<std::string> text = readFile(recordFile());
  if (!text) return {};
  const std::optional<json::Value> root = parseObject(*text);
  if (!root) return {};
  Record record;
  if (const json::Value* checked = root->find("checked_at");
      checked != nullptr && checked->kind == json::Value::Kind::Number) {
    const double seconds = checked->number;
    // Only whole numbers inside the 64-bit range convert; anything else (1.5, 1e300, inf)
    // counts as never checked.
    if (seconds >= -9223372036854775808.0 && seconds < 9223372036854775808.0 &&
        seconds == static_cast<double>(static_cast<int64_t>(seconds))) {
      record.checkedAt = static_cast<int64_t>(seconds);
    }
  }
  if (const json::Value* feed = root->find("feed");
      feed != nullptr && feed->kind == json::Value::Kind::String &&
      feed->text.size() <= kMaxTextBytes && json::detail::Reader(feed->text).document()) {
    record.feed = feed->text;
  }
  return record;
}

bool UpdateCheck::writeRecord(const Record& record) const {
  if (config_.directory.empty()) return false;
  std::string text = "{\"version\":1,\"checked_at\":";
  text += std::to_string(record.checkedAt);
  text += ",\"feed\":";
  text += json::quote(record.feed);
  text += "}\n";
  // readRecord() caps the file, so a longer record would read back as damaged and make every
  // instance fetch on every run.
  if (text.size() > kMaxTextBytes) return false;
  return writeFile(recordFile(), text);
}

std::optional<Notice> UpdateCheck::noticeFrom(const Record& record) const {
  const std::optional<json::Value> feed = parseObject(record.feed);
  if (!feed) return std::nullopt;
  const json::Value* entry = feed->find(config_.product);
  if (entry == nullptr) return std::nullopt;
  std::optional<std::string> version = entry->string("version");
  const std::optional<std::string> page = entry->string("page");
  if (!version || !page || !acceptablePage(*page)) return std::nullopt;
  const std::optional<Version> available = parseVersion(*version);
  const std::optional<Version> current = parseVersion(config_.version);
  if (!available || !current || !(*available > *current)) return std::nullopt;
  return Notice{std::move(*version), std::string(kMakerOrigin) + *page};
}

std::optional<std::string> UpdateCheck::readFile(const fs::path& path) {
  try {
    quillfen::files::ReadResult read = quillfen::files::readCapped(path, kMaxTextBytes);
    if (!read) return std::nullopt;
    return std::move(read.bytes);
  } catch (...) {
    return std::nullopt;
  }
}

bool UpdateCheck::writeFile(const fs::path& path, std::string_view text) {
  try {
    std::string error;
    return quillfen::files::replaceFile(path, text, error);
  } catch (...) {
    return false;
  }
}

UpdateWorker::UpdateWorker(std::shared_ptr<UpdateCheck> check, std::chrono::milliseconds firstDelay,
                           std::chrono::milliseconds firstSpread, std::chrono::milliseconds period)
    : check_(std::move(check)), period_(period) {
  std::chrono::milliseconds firstWait = firstDelay;
  if (firstSpread.count() > 0) {
    std::mt19937 generator(randomU32());
    std::uniform_int_distribution<int64_t> spread(0, firstSpread.count());
    firstWait += std::chrono::milliseconds(spread(generator));
  }
  try {
    thread_ = std::thread([this, firstWait] { run(firstWait); });
  } catch (...) {
    // Without a thread the plug-in simply never checks.
  }
}

UpdateWorker::~UpdateWorker() { stop(); }

void UpdateWorker::stop() {
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  cancelRequest_.store(true, std::memory_order_release);
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

int UpdateWorker::runs() const {
  std::lock_guard lock(mutex_);
  return runs_;
}

void UpdateWorker::runHook() {
  if (!check_) return;
  try {
    check_->checkIfDue(cancelRequest_);
    check_->reload();
  } catch (...) {
    // Failures are silent; the next period tries again.
  }
}

void UpdateWorker::run(std::chrono::milliseconds firstWait) {
  using Clock = std::chrono::steady_clock;
  constexpr Clock::duration kLongestWait = std::chrono::milliseconds(5000);
  const auto stopping = [this] { return stopRequested_; };
  std::unique_lock lock(mutex_);
  if (wake_.wait_for(lock, firstWait, stopping)) return;
  for (;;) {
    const Clock::time_point started = Clock::now();
    lock.unlock();
    runHook();
    lock.lock();
    ++runs_;
    for (;;) {
      if (stopRequested_) return;
      const Clock::duration elapsed = Clock::now() - started;
      if (elapsed >= period_) break;
      wake_.wait_for(lock, std::min(kLongestWait, Clock::duration(period_) - elapsed), stopping);
    }
  }
}

}  // namespace quillfen::updates
