// Fuzzes the JSON reader on arbitrary bytes, and checks that quoting any bytes reads back as them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "updates/json.h"

namespace {

int depthOf(const json::Value& value) {
  int deepest = 0;
  for (const auto& element : value.array) deepest = std::max(deepest, 1 + depthOf(element));
  for (const auto& member : value.object) deepest = std::max(deepest, 1 + depthOf(member.second));
  return deepest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  if (const auto value = json::detail::Reader(text).document()) {
    if (depthOf(*value) > json::kMaxDepth) __builtin_trap();
    const json::Value copy = *value;
    if (copy.kind != value->kind || copy.object.size() != value->object.size()) __builtin_trap();
    if (!value->object.empty()) {
      const auto& first = value->object.front();
      const auto found = value->string(first.first);
      if (found.has_value() != (first.second.kind == json::Value::Kind::String)) __builtin_trap();
    }
  }

  const std::string quoted = json::quote(text);
  const auto back = json::detail::Reader(quoted).document();
  if (!back || back->kind != json::Value::Kind::String || back->text != text) __builtin_trap();
  return 0;
}
