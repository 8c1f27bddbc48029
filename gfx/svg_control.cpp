// Picture cache, picture drawing through the path operations, and the picture control.
#include "gfx/svg_control.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace plugkit::gfx {

namespace {
std::mutex cacheMutex;
std::map<std::string, std::shared_ptr<const SvgPicture>>& cache() {
  static std::map<std::string, std::shared_ptr<const SvgPicture>> pictures;
  return pictures;
}
constexpr std::uintmax_t kMaxSvgBytes = 4u << 20;  // far beyond any artwork; refuses runaway files
}  // namespace

Svg LoadSvgFile(const std::string& folder, const std::string& fileName, const std::string& units, float) {
  if (units != "px") return Svg();
  {
    std::lock_guard<std::mutex> lock(cacheMutex);
    auto it = cache().find(fileName);
    if (it != cache().end()) return Svg(it->second);
  }
  std::filesystem::path path(fileName);
  if (path.is_relative()) path = std::filesystem::path(folder) / path;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error) || std::filesystem::file_size(path, error) > kMaxSvgBytes)
    return Svg();
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  auto picture = std::make_shared<SvgPicture>();
  std::string parseError;
  if (!in || !parseSvg(text.str(), *picture, parseError) || !picture->valid()) return Svg();
  std::lock_guard<std::mutex> lock(cacheMutex);
  auto [it, inserted] = cache().emplace(fileName, std::move(picture));
  return Svg(it->second);
}

void ClearSvgCache() {
  std::lock_guard<std::mutex> lock(cacheMutex);
  cache().clear();
}

Svg Graphics::LoadSVG(const std::string& fileName, const std::string& units, float dpi) {
  return LoadSvgFile(resourceDir_, fileName, units, dpi);
}

void Graphics::DrawSVG(const Svg& svg, const Rect& bounds, const Blend* blend) {
  const SvgPicture* picture = svg.Picture();
  if (!svg.IsValid()) return;
  PathTransformSave();
  PathTransformTranslate(bounds.L, bounds.T);
  PathTransformScale(bounds.W() / picture->width, bounds.H() / picture->height);
  for (const SvgShape& shape : picture->shapes) {
    auto buildPath = [&] {
      PathClear();
      for (const SvgSubpath& sub : shape.subpaths) {
        PathMoveTo(sub.start.x, sub.start.y);
        for (size_t i = 0; i + 2 < sub.cubics.size(); i += 3)
          PathCubicBezierTo(sub.cubics[i].x, sub.cubics[i].y, sub.cubics[i + 1].x, sub.cubics[i + 1].y,
                            sub.cubics[i + 2].x, sub.cubics[i + 2].y);
        if (sub.closed) PathClose();
      }
    };
    auto colorOf = [](const SvgPaint& p) {
      return Color(static_cast<int>(std::lround(std::clamp(p.opacity, 0.f, 1.f) * 255.f)), p.red, p.green, p.blue);
    };
    if (shape.fill.enabled) {
      buildPath();
      PathFill(colorOf(shape.fill), {FillRule::kWinding, false}, blend);
    }
    if (shape.stroke.enabled && shape.strokeWidth > 0.f) {
      buildPath();
      PathStroke(colorOf(shape.stroke), shape.strokeWidth, {}, blend);
    }
  }
  PathTransformRestore();
}

void Graphics::DrawRotatedSVG(const Svg& svg, float cx, float cy, float w, float h, float angleDeg, const Blend* blend) {
  PathTransformSave();
  PathTransformTranslate(cx, cy);
  PathTransformRotate(angleDeg);
  DrawSVG(svg, Rect(-0.5f * w, -0.5f * h, 0.5f * w, 0.5f * h), blend);
  PathTransformRestore();
}

SvgControl::SvgControl(const Rect& bounds, const Svg& svg, bool useLayer)
    : Control(bounds), svg_(svg), useLayer_(useLayer) {
  SetIgnoreMouse(true);
}

void SvgControl::Draw(Graphics& g) {
  if (!useLayer_) {
    g.DrawSVG(svg_, rect_, &blend_);
    return;
  }
  if (!g.CheckLayer(layer_)) {
    g.StartLayer(this, rect_, true);
    g.DrawSVG(svg_, rect_);
    layer_ = g.EndLayer();
  }
  g.DrawLayer(layer_, &blend_);
}

}  // namespace plugkit::gfx
