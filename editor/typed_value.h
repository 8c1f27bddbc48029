// Forgiving number parser for values typed into the editor or given on the command line.
#pragma once

#include <optional>
#include <string_view>

namespace quillfen::controls {

/// Reads a number from typed text: leading white space, an optional sign ("-", "+" or the
/// minus sign U+2212), digits with "." or "," as decimal separator, and with `allowKilo` a
/// "k"/"K" multiplier of 1000; anything after the number ("dB", "%") is ignored. The result
/// is clamped to [low, high]. Nothing when the text holds no number. Pure; does not allocate.
std::optional<double> parseTypedValue(std::string_view text, double low, double high, bool allowKilo);

}  // namespace quillfen::controls
