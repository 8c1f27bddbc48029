// Typed values: the forgiving number parser (also used by the command line) and the sending
// of a typed value to a parameter as one gesture.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/param.h"

namespace quillfen::controls {

/// Reads a number from typed text: leading white space, an optional sign ("-", "+" or the
/// minus sign U+2212), digits with "." or "," as decimal separator, and with `allowKilo` a
/// "k"/"K" multiplier of 1000; anything after the number ("dB", "%") is ignored. The result
/// is clamped to [low, high]. Nothing when the text holds no number. Pure; does not allocate.
std::optional<double> parseTypedValue(std::string_view text, double low, double high, bool allowKilo);

}  // namespace quillfen::controls

namespace plugkit {
class EditorDelegate;
}  // namespace plugkit

namespace quillfen::controls::typed_value {

/// The normalised value a real value becomes when typed: rounded to the step when the parameter
/// is stepped (halves away from zero), clamped to the range, shaped, clamped to 0..1. Pure.
double typedNormalised(const plugkit::Param& param, double value);

/// Sends typed text to a parameter as one complete gesture (begin, value, end) through the
/// delegate. Nothing when the text holds no number (no gesture either); otherwise the
/// parameter's resulting normalised value, for the controls that show it. Editor thread.
std::optional<double> sendTypedText(plugkit::EditorDelegate& delegate, int paramIdx, std::string_view text,
                                    bool allowKilo);

/// The text of an EQ band value: "0.0" near zero, else "+3.0" or "−6.0" (U+2212). Allocates.
std::string bandValueText(double db);

}  // namespace quillfen::controls::typed_value
