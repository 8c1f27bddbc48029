// What the update check needs from the platform's HTTP layer: the result of one request.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

/// The answer to one request: the HTTP status (0 when there was no usable answer) and the body.
struct HttpResult {
  int32_t status = 0;
  std::string body;
};

}  // namespace platform
