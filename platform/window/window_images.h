// Shows an editor's picture, or the parts of it that changed, on its X window as images read back
// from the picture, instead of drawing into the window's GL buffer and swapping. Software GL sends
// the whole window to the X server on every swap and flushes its rasteriser for every copied part,
// while a meter frame changes a few small strips; and right after a resize it can still size its
// buffer as the window was, which shows the new picture shifted and cropped.
#pragma once

#include <cstdint>
#include <vector>

namespace plugkit::platform {

struct PixelRect;

class WindowImages {
 public:
  WindowImages() = default;
  WindowImages(const WindowImages&) = delete;
  WindowImages& operator=(const WindowImages&) = delete;

  /// Takes the GL context that is current (inside the window's first expose or create) and the
  /// window; Valid() is false when the window's pixels are not 8-bit BGRX (then every frame is a
  /// whole one, drawn into the window's GL buffer and swapped).
  void Capture(void* display, std::uintptr_t window);
  /// Frees what it made on the display, which must still be open (the window's destroy event).
  void Release();
  bool Valid() const { return context_ && gc_; }

  /// Makes the context current on the window, outside the window system's expose.
  bool Begin();
  /// Reads `parts` (pixels, y from the top, within the window) of the picture in `framebuffer`,
  /// `pictureHeightPx` high, and puts them on the window.
  void Show(unsigned framebuffer, int pictureHeightPx, const std::vector<PixelRect>& parts);
  /// Fills `area` of the window with one grey level (0-255).
  void Fill(const PixelRect& area, int grey);
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
