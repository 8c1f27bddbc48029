// A private virtual X server for window tests, stopped at the end.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace plumbrook::test {

/// Starts Xvfb on a display it chooses itself (so parallel tests never share or steal one) and
/// points DISPLAY at it; Valid() is false when no server could be started. `screen` is the
/// screen's WIDTHxHEIGHTxDEPTH: a host window never grows past the screen.
class Xvfb {
 public:
  explicit Xvfb(const char* screen = "1280x800x24") {
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
      ::dup2(ready[1], 3);
      ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp",
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(ready[1]);
    // The server writes its display number once it accepts connections.
    std::string number;
    char c = 0;
    while (pid_ > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(ready[0]);
    if (pid_ <= 0 || number.empty()) return;
    display_ = ":" + number;
    ::setenv("DISPLAY", display_.c_str(), 1);
  }
  ~Xvfb() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
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
