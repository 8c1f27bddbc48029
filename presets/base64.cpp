// Standard Base64 (RFC 4648 alphabet, "=" padding, one line) for preset state bytes.
#include "presets/base64.h"

#include <array>

namespace quillfen::presets {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int8_t kInvalid = -1;

constexpr std::array<int8_t, 256> makeDecodeTable() {
  std::array<int8_t, 256> table{};
  for (auto& entry : table) entry = kInvalid;
  for (int i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
  return table;
}

constexpr std::array<int8_t, 256> kDecode = makeDecodeTable();

}  // namespace

std::string toBase64(std::vector<uint8_t> const& bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  size_t const n = bytes.size();
  for (; i + 3 <= n; i += 3) {
    uint32_t const group = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    text.push_back(kAlphabet[(group >> 18) & 63]);
    text.push_back(kAlphabet[(group >> 12) & 63]);
    text.push_back(kAlphabet[(group >> 6) & 63]);
    text.push_back(kAlphabet[group & 63]);
  }
  if (size_t const rest = n - i; rest > 0) {
    uint32_t group = uint32_t{bytes[i]} << 16;
    if (rest == 2) group |= uint32_t{bytes[i + 1]} << 8;
    text.push_back(kAlphabet[(group >> 18) & 63]);
    text.push_back(kAlphabet[(group >> 12) & 63]);
    text.push_back(rest == 2 ? kAlphabet[(group >> 6) & 63] : '=');
    text.push_back('=');
  }
  return text;
}

bool fromBase64(std::string_view text, std::vector<uint8_t>& out) {
  out.clear();
  if (text.size() % 4 != 0) return false;
  if (text.empty()) return true;
  size_t padding = 0;
  if (text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
  out.reserve(text.size() / 4 * 3 - padding);
  size_t const dataChars = text.size() - padding;
  for (size_t i = 0; i < text.size(); i += 4) {
    uint32_t group = 0;
    for (size_t k = 0; k < 4; ++k) {
      uint32_t value = 0;
      if (i + k < dataChars) {
        int8_t const decoded = kDecode[static_cast<uint8_t>(text[i + k])];
        if (decoded == kInvalid) {
          out.clear();
          return false;
        }
        value = static_cast<uint32_t>(decoded);
      }
      group = (group << 6) | value;
    }
    out.push_back(static_cast<uint8_t>(group >> 16));
    bool const last = i + 4 == text.size();
    if (!last || padding < 2) out.push_back(static_cast<uint8_t>(group >> 8));
    if (!last || padding < 1) out.push_back(static_cast<uint8_t>(group));
  }
  return true;
}

}  // namespace quillfen::presets
