// Fuzz target: any bytes either parse into a finite, well-formed picture or are refused with a reason.
#include "gfx/svg.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
  }
}

void requirePaint(const plugkit::gfx::SvgPaint& p) {
  require(p.red >= 0 && p.red <= 255 && p.green >= 0 && p.green <= 255 && p.blue >= 0 && p.blue <= 255,
          "colour channels in range");
  require(p.opacity >= 0.0f && p.opacity <= 1.0f, "opacity in range");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  plugkit::gfx::SvgPicture picture;
  std::string error;
  if (!plugkit::gfx::parseSvg(text, picture, error)) {
    require(!error.empty(), "a refusal says why");
    require(!picture.valid() && picture.shapes.empty(), "a refusal leaves no picture");
    return 0;
  }
  require(picture.valid(), "a parsed picture has a size");
  for (const auto& shape : picture.shapes) {
    requirePaint(shape.fill);
    requirePaint(shape.stroke);
    require(std::isfinite(shape.strokeWidth) && shape.strokeWidth >= 0.0f, "stroke width");
    for (const auto& subpath : shape.subpaths) {
      require(subpath.cubics.size() % 3 == 0, "whole cubic segments");
      require(std::isfinite(subpath.start.x) && std::isfinite(subpath.start.y), "finite start");
      for (const auto& p : subpath.cubics) require(std::isfinite(p.x) && std::isfinite(p.y), "finite points");
    }
  }
  return 0;
}
