// Forgiving number parser for typed values.
#include "editor/typed_value.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/editor_delegate.h"

namespace quillfen::controls {
namespace {

// The "C" locale's space class, independent of the process locale.
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<double> parseTypedValue(std::string_view text, double low, double high, bool allowKilo) {
  size_t i = 0;
  const size_t n = text.size();
  auto skipSpace = [&] {
    while (i < n && isSpace(text[i])) ++i;
  };

  skipSpace();
  if (i == n) return std::nullopt;

  bool negative = false;
  if (text[i] == '-' || text[i] == '+') {
    negative = text[i] == '-';
    ++i;
    if (i == n) return std::nullopt;
  } else if (n - i >= 3 && static_cast<unsigned char>(text[i]) == 0xE2 &&
             static_cast<unsigned char>(text[i + 1]) == 0x88 && static_cast<unsigned char>(text[i + 2]) == 0x92) {
    negative = true;
    i += 3;
  }
  skipSpace();
  if (i == n) return std::nullopt;

  double value = 0.0;
  bool haveInteger = false;
  while (i < n && isDigit(text[i])) {
    value = value * 10.0 + (text[i] - '0');
    haveInteger = true;
    ++i;
  }
  bool haveFraction = false;
  if (i < n && (text[i] == '.' || text[i] == ',')) {
    ++i;
    double weight = 0.1;
    while (i < n && isDigit(text[i])) {
      value += (text[i] - '0') * weight;
      weight *= 0.1;
      haveFraction = true;
      ++i;
    }
  }
  if (!haveInteger && !haveFraction) return std::nullopt;

  skipSpace();
  if (allowKilo && i < n && (text[i] == 'k' || text[i] == 'K')) value *= 1000.0;

  if (negative) value = -value;
  if (value < low) return low;
  return value > high ? high : value;
}

}  // namespace quillfen::controls

namespace quillfen::controls::typed_value {

double typedNormalised(const plugkit::Param& param, double value) {
  if (param.Stepped() && param.GetStep() > 0.0) value = std::round(value / param.GetStep()) * param.GetStep();
  value = std::clamp(value, param.GetMin(), param.GetMax());
  return std::clamp(param.ToNormalized(value), 0.0, 1.0);
}

std::optional<double> sendTypedText(plugkit::EditorDelegate& delegate, int paramIdx, std::string_view text,
                                    bool allowKilo) {
  const plugkit::Param* param = delegate.GetParam(paramIdx);
  if (!param) return std::nullopt;
  const std::optional<double> value = parseTypedValue(text, param->GetMin(), param->GetMax(), allowKilo);
  if (!value) return std::nullopt;
  delegate.BeginParamGestureFromUI(paramIdx);
  delegate.SetParamFromUI(paramIdx, typedNormalised(*param, *value));
  delegate.EndParamGestureFromUI(paramIdx);
  return typedNormalised(*param, param->Value());
}

std::string bandValueText(double db) {
  if (!(std::fabs(db) >= 0.05)) return "0.0";
  char text[32];
  std::snprintf(text, sizeof text, db > 0 ? "+%.1f" : "\u2212%.1f", std::fabs(db));
  return text;
}

}  // namespace quillfen::controls::typed_value
