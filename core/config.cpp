// Version texts of the configuration record.
#include "core/config.h"

#include <cstdio>

namespace plugkit {

std::string VersionText(int vendorVersion) {
  char text[32];
  std::snprintf(text, sizeof text, "v%d.%d.%d", vendorVersion >> 16, (vendorVersion >> 8) & 255,
                vendorVersion & 255);
  return text;
}

int VersionDecimal(int vendorVersion) {
  return (vendorVersion >> 16) * 10000 + ((vendorVersion >> 8) & 255) * 100 + (vendorVersion & 255);
}

}  // namespace plugkit
