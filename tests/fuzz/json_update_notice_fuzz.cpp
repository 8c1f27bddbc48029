// Fuzzes the feed document: any bytes give either no notice or a newer version on the maker's site.
#include <cstddef>
#include <cstdint>
#include <string>

#include "updates/maker.h"
#include "updates/update_check.h"

namespace {

using quillfen::updates::UpdateCheck;

const UpdateCheck& check() {
  static const UpdateCheck instance([] {
    quillfen::updates::Config config;
    config.product = "plumbrook";
    config.version = "0.3.2";
    // Never created: construction only looks for files that are not there.
    config.directory = "/nonexistent/plumbrook-fuzz-notice";
    config.fetch = [](const std::string&, const std::atomic<bool>&) { return platform::HttpResult{}; };
    config.networkAllowed = [] { return false; };
    return config;
  }());
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using quillfen::updates::kMakerOrigin;
  using quillfen::updates::parseVersion;
  const UpdateCheck::Record record{0, std::string(reinterpret_cast<const char*>(data), size)};
  const auto notice = check().noticeFrom(record);
  if (!notice) return 0;
  const std::string origin = std::string(kMakerOrigin) + "/";
  if (notice->url.compare(0, origin.size(), origin) != 0) __builtin_trap();
  if (notice->url.size() > kMakerOrigin.size() + 100) __builtin_trap();
  if (notice->url.find_first_of(".?%:@ ", kMakerOrigin.size()) != std::string::npos) __builtin_trap();
  const auto offered = parseVersion(notice->version);
  if (!offered || !(*offered > *parseVersion("0.3.2"))) __builtin_trap();
  return 0;
}
