// Drawing back end on NanoVG: colours, blends, fills, strokes, arcs, text, clipping and layers.
#pragma once

#include <map>
#include <string>

#include "gfx/graphics.h"

struct NVGcontext;

namespace plugkit::gfx {

/// Draws through a NanoVG context that a rendering surface (window or headless) creates and owns the
/// targets of. Main thread with the surface's GL context current.
class GraphicsNanoVG : public Graphics {
 public:
  GraphicsNanoVG(EditorDelegate& delegate, int width, int height, float scale = 1.f);
  ~GraphicsNanoVG() override;

  /// Loads a TTF file (absolute, or relative to the resource folder) under a font name.
  bool LoadFont(const std::string& fontName, const std::string& fileName) override;
  bool LoadFont(const std::string& fontName, const unsigned char* data, int size) override;
  /// Loads the two Roboto faces the editor uses from the resource folder; false when one is missing.
  bool LoadDefaultFonts();

  void BeginFrame() override;
  void BeginRegion(const Rect& region) override;
  void EndFrame() override;
  NVGcontext* Context() const { return vg_; }

 protected:
  /// An RGBA image of NanoVG's (0 on failure) and its release.
  int NewImage(int widthPx, int heightPx);
  void FreeImage(int image);
  /// The surface gives the context once its GL context is current (and takes it back on close).
  void SetContext(NVGcontext* vg);
  /// Makes the surface's main framebuffer (surfaceHeightPx high) the target, with a viewport of
  /// the pixels [x, x + width) x [y, y + height), y counted from the top.
  virtual void BindMainTarget(int surfaceHeightPx, int x, int y, int width, int height) = 0;
  /// Creates an off-screen target of the size in pixels; returns a handle > 0 (0 on failure).
  virtual int CreateTarget(int widthPx, int heightPx) = 0;
  virtual void BindTarget(int handle, int widthPx, int heightPx) = 0;
  /// The NanoVG image that shows a target's pixels.
  virtual int TargetImage(int handle) = 0;
  virtual void DeleteTarget(int handle) = 0;

  void DoPathClear() override;
  void DoPathClose() override;
  void DoPathMoveTo(float x, float y) override;
  void DoPathLineTo(float x, float y) override;
  void DoPathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) override;
  void DoPathSetWinding(Winding w) override;
  void DoSetComposite(const CompositeOp& op) override;
  void DoPathFill(const Pattern& pattern, FillRule rule, const Blend* blend) override;
  void DoPathStroke(const Pattern& pattern, float thickness, const StrokeOptions& options, const Blend* blend) override;
  void DoTransformSave() override;
  void DoTransformRestore() override;
  void DoTransformReset() override;
  void DoTransform(float a, float b, float c, float d, float e, float f) override;
  void DoSetClipRegion(const Rect& r) override;
  void DoResetClip() override;
  void DoDrawText(const TextStyle& text, const std::string& str, const TextAnchor& anchor, const Blend* blend) override;
  Rect DoMeasureText(const TextStyle& text, const std::string& str, const TextAnchor& anchor) override;
  int DoStartLayer(const Rect& r) override;
  void DoEndLayer(int handle) override;
  void DoDrawLayer(const Layer& layer, const Blend* blend) override;
  void DoDeleteLayer(int handle) override;

 private:
  bool selectFont(const TextStyle& text);
  void beginNvgFrame(float w, float h);
  // Targets the main framebuffer, drawing only inside region_.
  void beginMainFrame();

  NVGcontext* vg_ = nullptr;
  std::map<std::string, int> fonts_;
  bool inFrame_ = false;
  // The part of the main framebuffer being drawn, in design units on whole pixels. The viewport
  // covers only it, so the rasteriser never touches a pixel outside (NanoVG's scissor alone
  // would shade every path in full and discard outside pixels one by one).
  Rect region_;
  // The translation every frame starts with: the top left of the region or layer being drawn.
  float originX_ = 0.f, originY_ = 0.f;
  struct Target {
    int handle;
    Rect bounds;
  };
  std::vector<Target> targetStack_;
};

}  // namespace plugkit::gfx
