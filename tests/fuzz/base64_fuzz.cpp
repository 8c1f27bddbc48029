// Fuzz target: bytes survive encode and decode; any text decodes strictly or not at all.
#include "presets/base64.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using quillfen::presets::fromBase64;
using quillfen::presets::toBase64;

namespace {

void require(bool condition, char const* what) {
  if (!condition) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
  std::vector<uint8_t> const bytes(data, data + size);
  std::string const text = toBase64(bytes);
  require(text.size() == (size + 2) / 3 * 4, "encoded length");
  std::vector<uint8_t> back;
  require(fromBase64(text, back) && back == bytes, "bytes round trip");

  std::string_view const input(reinterpret_cast<char const*>(data), size);
  std::vector<uint8_t> decoded{1};
  if (!fromBase64(input, decoded)) {
    require(decoded.empty(), "a failed decode leaves nothing");
    return 0;
  }
  require(size % 4 == 0, "only whole groups decode");
  std::string const again = toBase64(decoded);
  require(again.size() == size, "re-encoded length");
  // Re-encoding is the canonical form: equal to the input except for unused low bits in the
  // last data character of a padded final group.
  size_t const padding = size == 0 ? 0 : (input[size - 1] == '=') + (input[size - 2] == '=');
  for (size_t i = 0; i < size; ++i)
    if (!(padding > 0 && i == size - padding - 1)) require(again[i] == input[i], "canonical re-encoding");
  return 0;
}
