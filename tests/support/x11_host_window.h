// A plain X11 window standing in for a host's editor frame, to embed an editor window in.
#pragma once

#include <cstdint>

namespace plumbrook::test {

/// An empty mapped X11 window on the default display. Main thread only.
class X11HostWindow {
 public:
  X11HostWindow(int width, int height);
  ~X11HostWindow();
  X11HostWindow(const X11HostWindow&) = delete;
  X11HostWindow& operator=(const X11HostWindow&) = delete;
  bool Valid() const { return window_ != 0; }
  std::uintptr_t Native() const { return window_; }
  /// Processes (and drops) pending events of the host window.
  void Pump();
  /// Children of the window, as the server sees them.
  int ChildCount() const;

 private:
  void* display_ = nullptr;
  std::uintptr_t window_ = 0;
};

}  // namespace plumbrook::test
