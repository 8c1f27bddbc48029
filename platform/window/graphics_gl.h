// The NanoVG back end on a GL 3.3 core context: framebuffer targets for the surface and for layers.
#pragma once

#include <map>

#include "gfx/graphics_nanovg.h"

namespace plugkit::platform {

/// A colour and stencil framebuffer that the editor draws into and keeps between frames, so that
/// only dirty regions need drawing. Every call needs its GL context current.
struct KeptFramebuffer {
  unsigned framebuffer = 0, color = 0, stencil = 0;
  int widthPx = 0, heightPx = 0;
  /// Makes it this size, new and bound, unless it already is; true when it was made.
  bool ensure(int width, int height);
  void release();
};

/// GraphicsNanoVG drawing with GL. Create, draw and destroy with the surface's GL context current.
class GraphicsGL : public gfx::GraphicsNanoVG {
 public:
  GraphicsGL(EditorDelegate& delegate, int width, int height, float scale = 1.f);
  ~GraphicsGL() override;

  /// Creates the NanoVG context on the current GL context; false when GL 3.3 is not usable.
  bool CreateContext();
  /// Releases every GL object (layers, NanoVG's buffers, shaders and textures). Safe to repeat.
  void ReleaseContext();
  /// The framebuffer the surface shows (0 for a window's own), and its height in pixels when it
  /// is not the picture's (a window larger than the editor); regions count from its top.
  void SetMainFramebuffer(unsigned framebuffer, int heightPx = 0) {
    mainFramebuffer_ = framebuffer;
    mainHeightPx_ = heightPx;
  }
  int LiveTargets() const { return static_cast<int>(targets_.size()); }

 protected:
  void BindMainTarget(int surfaceHeightPx, int x, int y, int width, int height) override;
  int CreateTarget(int widthPx, int heightPx) override;
  void BindTarget(int handle, int widthPx, int heightPx) override;
  int TargetImage(int handle) override;
  void DeleteTarget(int handle) override;

 private:
  struct Target {
    unsigned framebuffer;
    unsigned stencil;
    int image;
  };
  unsigned mainFramebuffer_ = 0;
  int mainHeightPx_ = 0;
  std::map<int, Target> targets_;
  int nextHandle_ = 1;
};

}  // namespace plugkit::platform
