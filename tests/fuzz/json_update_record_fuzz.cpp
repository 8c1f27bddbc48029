// Fuzzes reading the update record file: any bytes on disk give a sane record that round-trips.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "updates/json.h"
#include "updates/update_check.h"

namespace {

using quillfen::updates::UpdateCheck;

// Deliberately never destroyed, so the exit handler that removes it can still read it.
const std::filesystem::path& scratch() {
  static const std::filesystem::path* path = [] {
    // Every run replaces a file; memory-backed storage keeps that from dominating the run time.
    std::error_code error;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "plumbrook-fuzz-record-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    auto* made = new std::filesystem::path(pattern);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(scratch(), ignored);
    });
    return made;
  }();
  return *path;
}

UpdateCheck& check() {
  static UpdateCheck instance([] {
    quillfen::updates::Config config;
    config.product = "plumbrook";
    config.version = "0.3.2";
    config.directory = scratch();
    config.fetch = [](const std::string&, const std::atomic<bool>&) { return platform::HttpResult{}; };
    config.networkAllowed = [] { return false; };
    return config;
  }());
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  UpdateCheck& updates = check();
  {
    std::ofstream out(updates.recordFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const UpdateCheck::Record record = updates.readRecord();
  if (size > quillfen::updates::kMaxTextBytes && record != UpdateCheck::Record{}) __builtin_trap();
  if (record.feed.size() > quillfen::updates::kMaxTextBytes) __builtin_trap();
  if (!record.feed.empty() && !json::detail::Reader(record.feed).document()) __builtin_trap();

  // Whatever was read, writing it back and reading it again gives the same record.
  if (updates.writeRecord(record) && updates.readRecord() != record) __builtin_trap();
  updates.reload();
  return 0;
}
