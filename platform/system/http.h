// HTTP GET for small JSON documents, and whether this process may use the network.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

/// The answer to one request: the HTTP status (0 when there was no usable answer) and the body.
struct HttpResult {
  int32_t status = 0;
  std::string body;
};

/// The largest body getJson accepts, in bytes; a longer answer is no answer.
inline constexpr std::size_t kMaxJsonBytes = 65536;

/// Blocking GET of `url` asking for JSON, on the calling thread, for at most `timeoutSeconds`
/// (at least 1) to connect and to finish. Redirects are not followed: a 3xx answer, a transfer
/// error, a body above kMaxJsonBytes or an unparsable URL give status 0 and an empty body.
/// Allocates; never throws.
HttpResult getJson(const std::string& url, int timeoutSeconds) noexcept;

/// True when the process is allowed to make outgoing connections; always true on Linux.
/// Computed once, cheap afterwards, any thread.
bool mayUseNetwork() noexcept;

}  // namespace platform
