// Parsed pictures for drawing: Svg handles, the process-wide picture cache and SvgControl.
#pragma once

#include <memory>
#include <string>

#include "gfx/control.h"
#include "gfx/graphics.h"
#include "gfx/svg.h"

namespace plugkit::gfx {

/// A shared, immutable parsed picture with its own width and height; invalid when empty.
class Svg {
 public:
  Svg() = default;
  explicit Svg(std::shared_ptr<const SvgPicture> picture) : picture_(std::move(picture)) {}
  bool IsValid() const { return picture_ && picture_->valid(); }
  float W() const { return picture_ ? picture_->width : 0.f; }
  float H() const { return picture_ ? picture_->height : 0.f; }
  const SvgPicture* Picture() const { return picture_.get(); }

 private:
  std::shared_ptr<const SvgPicture> picture_;
};

/// Loads a picture from a folder, through a process-wide cache keyed by file name (mutex-guarded;
/// any thread; allocates). Only "px" units are supported; an unreadable, unparsable or missing
/// file, or other units, gives an invalid Svg (which is not cached).
Svg LoadSvgFile(const std::string& folder, const std::string& fileName, const std::string& units = "px",
                float dpi = 72.f);
/// Empties the cache (tests).
void ClearSvgCache();

/// Draws a picture scaled into its rectangle; with useLayer, into a kept layer drawn once.
class SvgControl : public Control {
 public:
  SvgControl(const Rect& bounds, const Svg& svg, bool useLayer = false);
  void Draw(Graphics& g) override;
  void SetSvg(const Svg& svg) { svg_ = svg; layer_.reset(); SetDirty(false); }

 private:
  Svg svg_;
  bool useLayer_;
  LayerPtr layer_;
};

}  // namespace plugkit::gfx
