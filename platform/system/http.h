// HTTP GET for small JSON documents, and whether this process may use the network.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "updates/http_result.h"

namespace platform {

/// The largest body getJson accepts, in bytes; a longer answer is no answer.
inline constexpr std::size_t kMaxJsonBytes = 65536;

/// Blocking GET of `url` asking for JSON, on the calling thread, for at most `timeoutSeconds`
/// (at least 1) to connect and to finish. Redirects are not followed: a 3xx answer, a transfer
/// error, a body above kMaxJsonBytes or an unparsable URL give status 0 and an empty body.
/// When `cancelled` turns true the request ends within 100 ms with no answer. Allocates;
/// never throws.
HttpResult getJson(const std::string& url, int timeoutSeconds,
                   const std::atomic<bool>* cancelled = nullptr) noexcept;

/// True when the process is allowed to make outgoing connections; always true on Linux.
/// Computed once, cheap afterwards, any thread.
bool mayUseNetwork() noexcept;

}  // namespace platform
