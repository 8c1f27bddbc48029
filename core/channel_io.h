// Parses channel I/O texts such as "1-1 2-2" into the configurations a plug-in accepts.
#pragma once

#include <string_view>
#include <vector>

namespace plugkit {

enum ERoute { kInput = 0, kOutput = 1 };

/// Channel count of one bus; kAnyChannels for "*".
inline constexpr int kAnyChannels = -1;

struct IOConfig {
  std::vector<int> inputBuses;   // channel count per input bus
  std::vector<int> outputBuses;  // channel count per output bus
  int totalChannels(ERoute route) const;
};

struct ChannelIO {
  std::vector<IOConfig> configs;
  int maxInputChannels = 0;
  int maxOutputChannels = 0;
  int maxInputBuses = 0;
  int maxOutputBuses = 0;

  /// True when some configuration takes exactly nIn inputs and nOut outputs ("*" takes any).
  bool legal(int nIn, int nOut) const;
};

/// Parses configurations separated by spaces, each "inputs-outputs", buses separated by ".".
/// Malformed configurations are skipped.
ChannelIO ParseChannelIO(std::string_view text);

}  // namespace plugkit
