// Standard Base64 (RFC 4648 alphabet, "=" padding, one line) for preset state bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen::presets {

/// Encodes bytes as padded standard Base64 on one line; empty bytes give an empty text. Allocates.
std::string toBase64(std::vector<uint8_t> const& bytes);

/// Strictly decodes padded standard Base64 into out (emptied first); false on a length that is
/// not a multiple of four, any character outside the alphabet, or padding anywhere but at the
/// end of the last group. Allocates.
bool fromBase64(std::string_view text, std::vector<uint8_t>& out);

}  // namespace quillfen::presets
