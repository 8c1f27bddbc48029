// Shows the changed parts of an editor's picture on its X window without a buffer swap. Software
// GL sends the whole window to the X server on every swap, and copying parts of the back buffer
// costs a flush of the rasteriser per part; a meter frame changes a few small strips. The parts
// are read back from the picture once per frame and put on the window as images.
#pragma once

#include <cstdint>
#include <vector>

namespace plugkit::platform {

struct PixelRect;

class PartialPresent {
 public:
  PartialPresent() = default;
  PartialPresent(const PartialPresent&) = delete;
  PartialPresent& operator=(const PartialPresent&) = delete;
  ~PartialPresent() { Release(); }

  /// Takes the GL context that is current (inside the window's first expose or create) and the
  /// window; Valid() is false when the window's pixels are not 8-bit BGRX (then every frame is a
  /// whole one, shown by a swap).
  void Capture(void* display, std::uintptr_t window);
  void Release();
  bool Valid() const { return context_ && gc_; }

  /// Makes the context current on the window, outside the window system's expose.
  bool Begin();
  /// Reads `parts` (pixels, y from the top, within the window) of the picture in `framebuffer`,
  /// `pictureHeightPx` high, and puts them on the window.
  void Show(unsigned framebuffer, int pictureHeightPx, const std::vector<PixelRect>& parts);
  void End();

 private:
  void* display_ = nullptr;
  std::uintptr_t window_ = 0;
  void* context_ = nullptr;
  void* gc_ = nullptr;
  void* visual_ = nullptr;
  int depth_ = 0;
  std::vector<std::uint32_t> pixels_;
};

}  // namespace plugkit::platform
