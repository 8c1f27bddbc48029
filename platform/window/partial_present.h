// Shows the changed parts of a double-buffered GLX window without swapping all of it. Software
// GL sends the whole window to the X server on every swap; a meter frame changes a few strips.
#pragma once

#include <cstdint>

namespace plugkit::platform {

class PartialPresent {
 public:
  /// Takes the GL context that is current (inside the window's first expose or create) and the
  /// window; Valid() is false when the driver cannot copy parts of a window.
  void Capture(void* display, std::uintptr_t window);
  void Release() { context_ = nullptr; }
  bool Valid() const { return context_ && copySubBuffer_; }

  /// Makes the context current on the window, outside the window system's expose. The caller
  /// copies only onto the size the server last reported: parts outside the window are refused.
  bool Begin();
  /// Copies [x, x + width) x [y, y + height) (pixels, y from the top) of the back buffer to the
  /// window, which is heightPx high.
  void Show(int x, int y, int width, int height, int heightPx);
  void End();

 private:
  using CopySubBuffer = void (*)(void* display, unsigned long drawable, int x, int y, int width, int height);
  void* display_ = nullptr;
  std::uintptr_t window_ = 0;
  void* context_ = nullptr;
  CopySubBuffer copySubBuffer_ = nullptr;
};

}  // namespace plugkit::platform
