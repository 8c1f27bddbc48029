// Port layout and identifiers of the LV2 bundle, shared by the adapter and the turtle generator.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "plugin/plumbrook_params.h"

namespace plumbrook::lv2 {

inline constexpr std::string_view kStereoUri = "https://quillfen.example/lv2/plumbrook#stereo";
inline constexpr std::string_view kMonoUri = "https://quillfen.example/lv2/plumbrook#mono";
/// Key of the one state property; its value is the plug-in's state chunk (atom:Chunk).
inline constexpr std::string_view kStateKeyUri = "https://quillfen.example/lv2/plumbrook#state";
/// The editor UI, shared by both plug-ins.
inline constexpr std::string_view kUiUri = "https://quillfen.example/lv2/plumbrook#ui";
inline constexpr std::string_view kBinaryStem = "plumbrook";

/// Largest block the core is prepared for; longer host blocks are split.
inline constexpr int kMaxBlockFrames = 8192;

/// One plug-in of the bundle: its URI, name and channel count each way.
struct Variant {
  std::string_view uri;
  std::string_view name;
  int channels;
  std::array<std::string_view, 2> inputSymbols;
  std::array<std::string_view, 2> outputSymbols;
  std::array<std::string_view, 2> inputNames;
  std::array<std::string_view, 2> outputNames;
};

inline constexpr std::array<Variant, 2> kVariants = {{
    {kStereoUri, "Plumbrook Stereo", 2, {"in_l", "in_r"}, {"out_l", "out_r"},
     {"Left In", "Right In"}, {"Left Out", "Right Out"}},
    {kMonoUri, "Plumbrook Mono", 1, {"in", ""}, {"out", ""}, {"In", ""}, {"Out", ""}},
}};

inline constexpr std::string_view kLatencySymbol = "latency";
inline constexpr std::string_view kEnabledSymbol = "enabled";

// Port order: audio inputs, audio outputs, one control input per parameter in parameter
// order, the latency output, the enabled input.
constexpr uint32_t audioInPort(int channels, int channel) {
  (void)channels;
  return static_cast<uint32_t>(channel);
}
constexpr uint32_t audioOutPort(int channels, int channel) {
  return static_cast<uint32_t>(channels + channel);
}
constexpr uint32_t paramPort(int channels, int paramIdx) {
  return static_cast<uint32_t>(2 * channels + paramIdx);
}
constexpr uint32_t latencyPort(int channels) { return paramPort(channels, kNumParams); }
constexpr uint32_t enabledPort(int channels) { return latencyPort(channels) + 1; }
constexpr uint32_t portCount(int channels) { return enabledPort(channels) + 1; }

}  // namespace plumbrook::lv2
