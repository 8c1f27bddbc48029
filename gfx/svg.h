// A reader for the small subset of SVG that flat vector artwork uses, into drawable paths.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plugkit::gfx {

/// A solid paint: colour channels 0..255 and an opacity 0..1 (element and group opacity folded in).
struct SvgPaint {
  bool enabled = false;
  int red = 0;
  int green = 0;
  int blue = 0;
  float opacity = 1.0f;
};

/// One point in picture units (after every transform and the view box).
struct SvgPoint {
  float x = 0.0f;
  float y = 0.0f;
};

/// A subpath: a start point and cubic Bézier segments of three points each (control, control,
/// end), closed or open. Lines and quadratic curves are stored as equivalent cubics.
struct SvgSubpath {
  SvgPoint start;
  std::vector<SvgPoint> cubics;
  bool closed = false;
};

/// One shape of the picture, in drawing order, with its fill (non-zero rule) and stroke.
struct SvgShape {
  std::vector<SvgSubpath> subpaths;
  SvgPaint fill;
  SvgPaint stroke;
  float strokeWidth = 1.0f;  // in picture units
};

/// A parsed picture: its size in picture units (CSS pixels) and its shapes.
struct SvgPicture {
  float width = 0.0f;
  float height = 0.0f;
  std::vector<SvgShape> shapes;
  bool valid() const { return width > 0.0f && height > 0.0f; }
};

/// Parses an SVG document of the supported subset: the svg element with width, height (unitless
/// or px) and viewBox; g, path (every command, absolute and relative), rect (with rx/ry), circle,
/// ellipse, line, polyline and polygon; transform (matrix, translate, scale, rotate, skewX,
/// skewY); solid fill and stroke (#rgb, #rrggbb, rgb(), a few names, none), stroke-width,
/// opacity, fill-opacity and stroke-opacity, as attributes or in a style attribute. Anything
/// else (other elements, gradients, references, other units, malformed numbers) refuses the
/// whole document: false with `error` saying what. Any thread; allocates.
bool parseSvg(std::string_view text, SvgPicture& picture, std::string& error);

}  // namespace plugkit::gfx
