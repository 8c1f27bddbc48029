// A private virtual X server for window tests: started on a free display, stopped at the end.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/command_runner.h"

namespace plumbrook::test {

/// Starts Xvfb on the first free display from :90 and points DISPLAY at it; Valid() is false when
/// no server could be started.
class Xvfb {
 public:
  Xvfb() {
    for (int n = 90; n < 140; ++n) {
      const std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
      const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      if (std::filesystem::exists(sock) || std::filesystem::exists(lock)) continue;
      pid_ = start({"Xvfb", {":" + std::to_string(n), "-screen", "0", "1280x800x24", "-nolisten", "tcp"}, {}, "", ""});
      if (pid_ <= 0) return;
      for (int i = 0; i < 200 && !std::filesystem::exists(sock); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {  // lost a race for the display: try the next
          pid_ = -1;
          break;
        }
      }
      if (pid_ > 0 && std::filesystem::exists(sock)) {
        display_ = ":" + std::to_string(n);
        ::setenv("DISPLAY", display_.c_str(), 1);
        return;
      }
    }
  }
  ~Xvfb() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      finish(pid_);
    }
  }
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;
  bool Valid() const { return !display_.empty(); }
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace plumbrook::test
