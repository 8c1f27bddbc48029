// HTTP GET through libcurl: no redirects, hard time-outs, a capped body.
#include "platform/system/http.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace platform {

namespace {

struct Transfer {
  std::string body;
  bool overflowed = false;
};

// Aborts the transfer as soon as the body would pass the cap, so an endless answer costs no
// more than the cap in memory.
size_t receive(char* data, size_t size, size_t count, void* context) {
  auto& transfer = *static_cast<Transfer*>(context);
  const size_t bytes = size * count;
  if (transfer.body.size() + bytes > kMaxJsonBytes) {
    transfer.overflowed = true;
    return 0;
  }
  transfer.body.append(data, bytes);
  return bytes;
}

bool globalInit() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return ready;
}

// The URL as curl will report it back (scheme and host in lower case, "/" for an empty path,
// dot segments removed); empty when curl cannot parse it.
std::string normalised(const std::string& url) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), &curl_url_cleanup);
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
  char* text = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_URL, &text, 0) != CURLUE_OK || text == nullptr) return {};
  std::string result(text);
  curl_free(text);
  return result;
}

// Runs the transfer through a multi handle, waking at least every 50 ms to look at the
// cancellation flag: a silent or dripping server cannot hold up a stopping caller.
CURLcode perform(CURL* easy, const std::atomic<bool>* cancelled) {
  if (!cancelled) return curl_easy_perform(easy);
  std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(), &curl_multi_cleanup);
  if (!multi || curl_multi_add_handle(multi.get(), easy) != CURLM_OK) return CURLE_FAILED_INIT;
  CURLcode result = CURLE_ABORTED_BY_CALLBACK;
  for (;;) {
    if (cancelled->load(std::memory_order_acquire)) break;
    int running = 0;
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    if (running == 0) {
      int queued = 0;
      CURLMsg* message = curl_multi_info_read(multi.get(), &queued);
      result = (message && message->msg == CURLMSG_DONE) ? message->data.result : CURLE_FAILED_INIT;
      break;
    }
    if (curl_multi_poll(multi.get(), nullptr, 0, 50, nullptr) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
  }
  curl_multi_remove_handle(multi.get(), easy);
  return result;
}

HttpResult request(const std::string& url, int timeoutSeconds, const std::atomic<bool>* cancelled) {
  if (url.find('\0') != std::string::npos || !globalInit()) return {};
  const std::string canonical = normalised(url);
  if (canonical.empty()) return {};
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), &curl_easy_cleanup);
  if (!easy) return {};
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(
      curl_slist_append(nullptr, "Accept: application/json"), &curl_slist_free_all);
  if (!headers) return {};

  // Zero would mean "no time-out" to curl.
  const long seconds = timeoutSeconds < 1 ? 1L : static_cast<long>(timeoutSeconds);
  Transfer transfer;
  CURL* h = easy.get();
  bool ok = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_HTTPGET, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, seconds) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_TIMEOUT, seconds) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                              static_cast<curl_off_t>(kMaxJsonBytes)) == CURLE_OK;
  // A fresh handle per request already means no shared connection or cookie state; forbid
  // keeping the connection so nothing outlives the call.
  ok = ok && curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &receive) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer) == CURLE_OK;
  if (!ok) return {};

  if (perform(h, cancelled) != CURLE_OK || transfer.overflowed) return {};
  long status = 0;
  if (curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) return {};
  if (status < 100 || status > 599 || (status >= 300 && status < 400)) return {};
  // Redirects are never followed, so this only guards against an answer for another resource;
  // curl reports the URL in its normalised form, which names the same resource.
  char* effective = nullptr;
  if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective) != CURLE_OK || effective == nullptr ||
      (url != effective && canonical != effective)) {
    return {};
  }
  return HttpResult{static_cast<int32_t>(status), std::move(transfer.body)};
}

}  // namespace

HttpResult getJson(const std::string& url, int timeoutSeconds, const std::atomic<bool>* cancelled) noexcept {
  try {
    return request(url, timeoutSeconds, cancelled);
  } catch (...) {
    return {};
  }
}

bool mayUseNetwork() noexcept { return true; }

}  // namespace platform
