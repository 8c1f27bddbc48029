// A small HTTP/1.1 server on 127.0.0.1 for tests: one request per connection, one thread each.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace plumbrook::test {

class HttpTestServer {
 public:
  /// What the client asked for.
  struct Request {
    std::string method;
    std::string path;
    /// Header lines as sent, names in lower case.
    std::vector<std::pair<std::string, std::string>> headers;
    /// The value of the first header named `name` (lower case), or "".
    std::string header(std::string_view name) const;
  };

  /// What the server answers; `delay` passes (or the server stops) before anything is sent.
  struct Response {
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    std::chrono::milliseconds delay{0};
    /// When false, no Content-Length is sent and the body ends when the connection closes.
    bool sendLength = true;
  };

  using Handler = std::function<Response(const Request&)>;

  /// Listens on an ephemeral port of 127.0.0.1 and serves every connection with `handler`,
  /// which may be called from several threads at once. Fails the test when it cannot listen.
  explicit HttpTestServer(Handler handler);
  /// Stops listening, cuts delayed answers short and joins every thread.
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  uint16_t port() const { return port_; }
  /// "http://127.0.0.1:<port>" followed by `path`.
  std::string url(std::string_view path) const;
  /// Every request received so far, in arrival order.
  std::vector<Request> requests() const;
  /// Waits until at least `count` requests have arrived; false when `timeout` passed first.
  bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

 private:
  void acceptLoop();
  void serve(int fd);

  Handler handler_;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool stopping_ = false;
  std::vector<Request> requests_;
  std::set<int> openFds_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

}  // namespace plumbrook::test
