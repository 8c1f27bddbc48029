// Makes every frame of an editor, for a window and for headless drawing alike: the picture kept
// between frames, only what changed drawn again, the open pop-up as the top layer.
#pragma once

#include <vector>

#include "gfx/types.h"
#include "platform/window/graphics_gl.h"

namespace plugkit::platform {

class EditorView;

/// A rectangle of the picture in whole pixels, y from the top.
struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
};

/// Draws an editor's frames into a framebuffer it keeps at the editor's pixel size. Every call
/// needs the GL context the graphics draws with current. Main thread only.
class FramePresenter {
 public:
  FramePresenter() = default;
  FramePresenter(const FramePresenter&) = delete;
  FramePresenter& operator=(const FramePresenter&) = delete;

  /// Whether Present would draw anything: damage, a dirty control or a picture of another size.
  /// Draws nothing and advances nothing.
  bool HasChanges(const GraphicsGL& graphics) const;
  /// Draws the next frame into the kept picture: everything when full or when the picture is new
  /// (or of a new size), else only what changed; the open pop-up of overlays (may be null) is
  /// drawn last, clipped to the same parts. Returns the parts drawn, within the picture; empty
  /// when nothing was. The list is reused by the next call.
  const std::vector<PixelRect>& Present(GraphicsGL& graphics, EditorView* overlays, bool full);
  /// True when the last Present drew the whole picture.
  bool LastWasWhole() const { return lastWasWhole_; }

  unsigned Framebuffer() const { return kept_.framebuffer; }
  int WidthPx() const { return kept_.widthPx; }
  int HeightPx() const { return kept_.heightPx; }
  /// Frees the picture (its GL context current); the next Present draws everything.
  void Release() { kept_.release(); }

 private:
  KeptFramebuffer kept_;
  gfx::RectList regions_;
  std::vector<PixelRect> drawn_;
  bool lastWasWhole_ = false;
};

/// The pixel size of the graphics' picture at its current scales.
std::pair<int, int> PicturePixelSize(const gfx::Graphics& graphics);

}  // namespace plugkit::platform
