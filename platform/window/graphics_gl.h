// The NanoVG back end on a GL 3.3 core context: framebuffer targets for the surface and for layers.
#pragma once

#include <map>

#include "gfx/graphics_nanovg.h"

namespace plugkit::platform {

/// GraphicsNanoVG drawing with GL. Create, draw and destroy with the surface's GL context current.
class GraphicsGL : public gfx::GraphicsNanoVG {
 public:
  GraphicsGL(EditorDelegate& delegate, int width, int height, float scale = 1.f);
  ~GraphicsGL() override;

  /// Creates the NanoVG context on the current GL context; false when GL 3.3 is not usable.
  bool CreateContext();
  /// Releases every GL object (layers, NanoVG's buffers, shaders and textures). Safe to repeat.
  void ReleaseContext();
  /// The framebuffer the surface shows (0 for a window's own).
  void SetMainFramebuffer(unsigned framebuffer) { mainFramebuffer_ = framebuffer; }
  int LiveTargets() const { return static_cast<int>(targets_.size()); }

 protected:
  void BindMainTarget(int widthPx, int heightPx) override;
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
  std::map<int, Target> targets_;
  int nextHandle_ = 1;
};

}  // namespace plugkit::platform
