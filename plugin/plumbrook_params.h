// Parameter indices of Plumbrook and their stable symbols.
#pragma once

#include <array>
#include <string_view>

namespace plumbrook {

enum ParamIndex : int {
  kBypass = 0,
  kGain,
  kAmount,
  kWidthActive,
  kLimiterActive,
  kLimiterThreshold,
  kLimiterCeiling,
  kLimiterTruePeak,
  kLimiterLookahead,
  kLimiterLink,
  kEqLow,
  kEqMid,
  kEqHigh,
  kNumParams
};

/// Stable machine identifiers of the parameters, in index order (host port symbols,
/// command-line names). Never rename: saved sessions refer to them.
inline constexpr std::array<std::string_view, kNumParams> kParamSymbols = {
    "bypass",  "gain",      "amount",    "width_active", "limiter_active", "threshold", "ceiling",
    "true_peak", "lookahead", "link",    "eq_low",       "eq_mid",         "eq_high"};

}  // namespace plumbrook
