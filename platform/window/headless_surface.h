// Headless drawing: an EGL surfaceless GL 3.3 context with a framebuffer, read back as RGBA or PNG.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/window/frame_presenter.h"
#include "platform/window/graphics_gl.h"

namespace plugkit::platform {

/// Pixels read back from a surface, top row first, 4 bytes (R, G, B, A) each.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgba;
  const unsigned char* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

/// The image as the bytes of a PNG file; empty for an empty image. Allocates.
std::string EncodePng(const Image& image);
/// Writes an image as PNG; false when the file cannot be written.
bool WritePng(const Image& image, const std::string& path);
/// Reads a PNG into RGBA; an empty image when unreadable.
Image ReadPng(const std::string& path);

/// An off-screen GL context (Mesa, surfaceless) that draws a Graphics into a framebuffer. One per thread.
class HeadlessSurface {
 public:
  HeadlessSurface();
  ~HeadlessSurface();
  HeadlessSurface(const HeadlessSurface&) = delete;
  HeadlessSurface& operator=(const HeadlessSurface&) = delete;

  /// False (with Error()) when no EGL display or GL 3.3 core context could be made.
  bool Valid() const { return context_ != nullptr; }
  const std::string& Error() const { return error_; }
  /// Makes a graphics context for this surface (fonts loaded from resourceDir); null when invalid.
  std::unique_ptr<GraphicsGL> CreateGraphics(EditorDelegate& delegate, int width, int height, float scale,
                                             const std::string& resourceDir);
  /// Draws a frame as an editor window does: what changed (everything when full) into a picture
  /// of the graphics' pixel size, with the open pop-up of overlays (may be null) on top. Returns
  /// the parts drawn; the list is reused by the next call.
  const std::vector<PixelRect>& Render(GraphicsGL& graphics, bool full = true, EditorView* overlays = nullptr);
  /// Reads the last rendered framebuffer back.
  Image ReadPixels() const;

 private:
  void makeCurrent();

  void* display_ = nullptr;
  void* context_ = nullptr;
  std::string error_;
  FramePresenter presenter_;
};

}  // namespace plugkit::platform
