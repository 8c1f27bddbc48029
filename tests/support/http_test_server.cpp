// Loopback HTTP server for tests of the update check's requests.
#include "tests/support/http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace plumbrook::test {

namespace {

const char* reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

void sendAll(int fd, const std::string& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the client gave up (as after a time-out or a capped body)
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace

std::string HttpTestServer::Request::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (key == name) return value;
  }
  return {};
}

HttpTestServer::HttpTestServer(Handler handler) : handler_(std::move(handler)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) {
    ADD_FAILURE() << "socket() failed";
    return;
  }
  const int yes = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 16) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ADD_FAILURE() << "cannot listen on 127.0.0.1";
    ::close(listenFd_);
    listenFd_ = -1;
    return;
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
  }
  changed_.notify_all();
  if (listenFd_ >= 0) ::shutdown(listenFd_, SHUT_RDWR);
  if (acceptor_.joinable()) acceptor_.join();
  if (listenFd_ >= 0) ::close(listenFd_);
  // The acceptor has ended, so the list of connection threads no longer grows.
  for (auto& connection : connections_) connection.join();
}

std::string HttpTestServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<HttpTestServer::Request> HttpTestServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool HttpTestServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void HttpTestServer::acceptLoop() {
  for (;;) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    std::lock_guard lock(mutex_);
    if (stopping_) {
      if (fd >= 0) ::close(fd);
      return;
    }
    if (fd < 0) continue;
    openFds_.insert(fd);
    connections_.emplace_back([this, fd] { serve(fd); });
  }
}

void HttpTestServer::serve(int fd) {
  timeval receiveTimeout{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &receiveTimeout, sizeof receiveTimeout);
  std::string head;
  char buffer[2048];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 16384) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<std::size_t>(n));
  }

  Request request;
  const std::size_t lineEnd = head.find("\r\n");
  const std::string line = head.substr(0, lineEnd);
  const std::size_t firstSpace = line.find(' ');
  const std::size_t secondSpace = line.find(' ', firstSpace + 1);
  bool complete = lineEnd != std::string::npos && secondSpace != std::string::npos &&
                  head.find("\r\n\r\n") != std::string::npos;
  if (complete) {
    request.method = line.substr(0, firstSpace);
    request.path = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    std::size_t pos = lineEnd + 2;
    for (std::size_t end; (end = head.find("\r\n", pos)) != std::string::npos && end > pos;
         pos = end + 2) {
      const std::string header = head.substr(pos, end - pos);
      const std::size_t colon = header.find(':');
      if (colon == std::string::npos) continue;
      std::string value = header.substr(colon + 1);
      value.erase(0, value.find_first_not_of(' '));
      request.headers.emplace_back(lower(header.substr(0, colon)), value);
    }
  }

  if (complete) {
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    changed_.notify_all();
    const Response response = handler_(request);
    bool stopped = false;
    if (response.delay.count() > 0) {
      std::unique_lock lock(mutex_);
      stopped = changed_.wait_for(lock, response.delay, [this] { return stopping_; });
    }
    if (!stopped) {
      std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " +
                        reason(response.status) + "\r\n";
      // A 304 carries no body, whatever the handler put there.
      const std::string body = response.status == 304 ? std::string() : response.body;
      if (response.sendLength) out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
      out += "Connection: close\r\n";
      for (const auto& [name, value] : response.headers) out += name + ": " + value + "\r\n";
      out += "\r\n";
      out += body;
      sendAll(fd, out);
    }
  }

  std::lock_guard lock(mutex_);
  openFds_.erase(fd);
  ::close(fd);
}

}  // namespace plumbrook::test
