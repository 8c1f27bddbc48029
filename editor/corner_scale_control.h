// The grip in the lower right corner that scales the whole editor.
#pragma once

#include "gfx/control.h"

namespace plumbrook::editor {

class CornerScaleControl : public plugkit::gfx::Control {
 public:
  CornerScaleControl(const plugkit::gfx::Rect& bounds, float baseWidth, float minScale, float maxScale,
                     plugkit::gfx::Color normal, plugkit::gfx::Color hover);

  void OnMouseDown(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  /// The larger of the two movements drives the size, so right or down enlarges.
  void OnMouseDrag(float x, float y, float dX, float dY, const plugkit::gfx::MouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  void OnMouseOver(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  void OnMouseOut() override;
  void Draw(plugkit::gfx::Graphics& g) override;

 private:
  void resizeTo(float scale);

  float baseWidth_, minScale_, maxScale_;
  plugkit::gfx::Color normal_, hover_;
  float startWidthPx_ = 0;      // the window's width when the drag began
  float downX_ = 0, downY_ = 0;  // where it began, device pixels
  float requested_ = 0;
  bool changedCursor_ = false;
  plugkit::gfx::Cursor previousCursor_ = plugkit::gfx::Cursor::kArrow;
};

}  // namespace plumbrook::editor
