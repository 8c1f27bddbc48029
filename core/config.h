// The plug-in's identity and layout record handed to the framework bases.
#pragma once

#include <cstdint>
#include <string>

namespace plugkit {

/// Four-character code packed big-endian into an int ("QfPb" -> 0x51665062).
constexpr int32_t FourCharCode(const char (&code)[5]) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(code[0])) << 24) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 16) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 8) |
                              static_cast<uint32_t>(static_cast<uint8_t>(code[3])));
}

struct Config {
  int nParams = 0;
  int nPresets = 0;
  const char* channelIOStr = "";
  const char* pluginName = "";
  const char* productName = "";
  const char* mfrName = "";
  int vendorVersion = 0;  // major << 16 | minor << 8 | patch
  int32_t uniqueID = 0;
  int32_t mfrID = 0;
  int latency = 0;
  bool plugDoesMidiIn = false;
  bool plugDoesMidiOut = false;
  bool plugDoesMPE = false;
  bool plugDoesChunks = false;
  int plugType = 0;
  bool plugHasUI = false;
  int plugWidth = 0;
  int plugHeight = 0;
  int plugMinWidth = 0;
  int plugMinHeight = 0;
  int plugMaxWidth = 0;
  int plugMaxHeight = 0;
  bool plugHostResize = false;
  const char* bundleID = "";
  const char* appGroupID = "";
};

/// What the adapter tells the plug-in about the instance it creates.
struct InstanceInfo {
  std::string viewClassName;
};

/// "v%d.%d.%d" of a packed version.
std::string VersionText(int vendorVersion);
/// The decimal form major * 10000 + minor * 100 + patch.
int VersionDecimal(int vendorVersion);

}  // namespace plugkit
