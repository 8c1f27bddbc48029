// NanoVG back end: the conversions from the framework's drawing model to NanoVG calls.
#include "gfx/graphics_nanovg.h"

#include <nanovg.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace plugkit::gfx {

namespace {
NVGcolor toNvg(const Color& c, const Blend* blend) {
  const FloatColor f = ToFloatColor(c, blend);
  return nvgRGBAf(f.r, f.g, f.b, f.a);
}

int nvgAlignOf(Align h, VAlign v) {
  const int ha = h == Align::kNear ? NVG_ALIGN_LEFT : h == Align::kCenter ? NVG_ALIGN_CENTER : NVG_ALIGN_RIGHT;
  const int va = v == VAlign::kTop ? NVG_ALIGN_TOP : v == VAlign::kMiddle ? NVG_ALIGN_MIDDLE : NVG_ALIGN_BOTTOM;
  return ha | va;
}

constexpr int kLineCap[] = {NVG_BUTT, NVG_ROUND, NVG_SQUARE};
constexpr int kLineJoin[] = {NVG_MITER, NVG_ROUND, NVG_BEVEL};
}  // namespace

GraphicsNanoVG::GraphicsNanoVG(EditorDelegate& delegate, int width, int height, float scale)
    : Graphics(delegate, width, height, scale) {}

GraphicsNanoVG::~GraphicsNanoVG() = default;

int GraphicsNanoVG::NewImage(int widthPx, int heightPx) {
  return vg_ ? nvgCreateImageRGBA(vg_, widthPx, heightPx, 0, nullptr) : 0;
}

void GraphicsNanoVG::FreeImage(int image) {
  if (vg_ && image > 0) nvgDeleteImage(vg_, image);
}

void GraphicsNanoVG::SetContext(NVGcontext* vg) {
  vg_ = vg;
  fonts_.clear();
}

bool GraphicsNanoVG::LoadFont(const std::string& fontName, const std::string& fileName) {
  if (!vg_) return false;
  std::filesystem::path path(fileName);
  if (path.is_relative() && !ResourceDir().empty()) path = std::filesystem::path(ResourceDir()) / path;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  const int id = nvgCreateFont(vg_, fontName.c_str(), path.c_str());
  if (id < 0) return false;
  fonts_[fontName] = id;
  return true;
}

bool GraphicsNanoVG::LoadFont(const std::string& fontName, const unsigned char* data, int size) {
  if (!vg_ || !data || size <= 0) return false;
  // NanoVG keeps the bytes; it frees its own copy with the context.
  auto* copy = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(size)));
  if (!copy) return false;
  std::memcpy(copy, data, static_cast<size_t>(size));
  const int id = nvgCreateFontMem(vg_, fontName.c_str(), copy, size, 1);
  if (id < 0) return false;
  fonts_[fontName] = id;
  return true;
}

bool GraphicsNanoVG::LoadDefaultFonts() {
  const bool regular = LoadFont("Roboto-Regular", "Roboto-Regular.ttf");
  const bool bold = LoadFont("RobotoCondensed-Bold", "RobotoCondensed-Bold.ttf");
  return regular && bold;
}

void GraphicsNanoVG::beginNvgFrame(float w, float h) {
  nvgBeginFrame(vg_, w, h, GetTotalScale());
  nvgTranslate(vg_, -originX_, -originY_);
  inFrame_ = true;
}

void GraphicsNanoVG::beginMainFrame() {
  const float scale = GetTotalScale();
  const int surfaceHeightPx = static_cast<int>(std::lround(Height() * scale));
  const int x0 = static_cast<int>(std::lround(region_.L * scale));
  const int y0 = static_cast<int>(std::lround(region_.T * scale));
  const int x1 = static_cast<int>(std::lround(region_.R * scale));
  const int y1 = static_cast<int>(std::lround(region_.B * scale));
  BindMainTarget(surfaceHeightPx, x0, y0, std::max(1, x1 - x0), std::max(1, y1 - y0));
  originX_ = static_cast<float>(x0) / scale;
  originY_ = static_cast<float>(y0) / scale;
  beginNvgFrame(static_cast<float>(std::max(1, x1 - x0)) / scale, static_cast<float>(std::max(1, y1 - y0)) / scale);
}

void GraphicsNanoVG::BeginFrame() {
  Graphics::BeginFrame();
  region_ = GetBounds();
  beginMainFrame();
}

void GraphicsNanoVG::BeginRegion(const Rect& region) {
  if (!vg_) return;
  if (inFrame_) nvgEndFrame(vg_);
  region_ = region.Intersect(GetBounds());
  if (region_.Empty()) region_ = GetBounds();
  beginMainFrame();
}

void GraphicsNanoVG::EndFrame() {
  if (!inFrame_) return;
  nvgEndFrame(vg_);
  inFrame_ = false;
}

void GraphicsNanoVG::DoPathClear() { if (vg_) nvgBeginPath(vg_); }
void GraphicsNanoVG::DoPathClose() { nvgClosePath(vg_); }
void GraphicsNanoVG::DoPathMoveTo(float x, float y) { nvgMoveTo(vg_, x, y); }
void GraphicsNanoVG::DoPathLineTo(float x, float y) { nvgLineTo(vg_, x, y); }
void GraphicsNanoVG::DoPathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) {
  nvgBezierTo(vg_, c1x, c1y, c2x, c2y, x2, y2);
}
void GraphicsNanoVG::DoPathSetWinding(Winding w) { nvgPathWinding(vg_, w == Winding::kCCW ? NVG_CCW : NVG_CW); }

void GraphicsNanoVG::DoSetComposite(const CompositeOp& op) {
  if (op.kind == CompositeOp::Kind::kBlendFunc) nvgGlobalCompositeBlendFunc(vg_, op.srcFactor, op.dstFactor);
  else nvgGlobalCompositeOperation(vg_, op.operation);
}

void GraphicsNanoVG::DoPathFill(const Pattern& pattern, FillRule rule, const Blend* blend) {
  nvgPathWinding(vg_, rule == FillRule::kWinding ? NVG_SOLID : NVG_HOLE);
  if (pattern.type == Pattern::Type::kSolid || pattern.stops.size() < 2) {
    nvgFillColor(vg_, toNvg(pattern.FirstColor(), blend));
  } else {
    const NVGcolor a = toNvg(pattern.stops.front().color, blend), b = toNvg(pattern.stops.back().color, blend);
    nvgFillPaint(vg_, pattern.type == Pattern::Type::kLinear
                          ? nvgLinearGradient(vg_, pattern.x1, pattern.y1, pattern.x2, pattern.y2, a, b)
                          : nvgRadialGradient(vg_, pattern.x1, pattern.y1, 0.f, pattern.x2, a, b));
  }
  nvgFill(vg_);
}

void GraphicsNanoVG::DoPathStroke(const Pattern& pattern, float thickness, const StrokeOptions& options,
                                  const Blend* blend) {
  nvgLineCap(vg_, kLineCap[static_cast<int>(options.cap)]);
  nvgLineJoin(vg_, kLineJoin[static_cast<int>(options.join)]);
  nvgMiterLimit(vg_, options.miterLimit);
  nvgStrokeWidth(vg_, thickness);
  nvgStrokeColor(vg_, toNvg(pattern.FirstColor(), blend));
  nvgStroke(vg_);
}

void GraphicsNanoVG::DoTransformSave() { nvgSave(vg_); }
void GraphicsNanoVG::DoTransformRestore() { nvgRestore(vg_); }
void GraphicsNanoVG::DoTransformReset() {
  nvgResetTransform(vg_);
  nvgTranslate(vg_, -originX_, -originY_);
}
void GraphicsNanoVG::DoTransform(float a, float b, float c, float d, float e, float f) { nvgTransform(vg_, a, b, c, d, e, f); }
void GraphicsNanoVG::DoSetClipRegion(const Rect& r) { nvgScissor(vg_, r.L, r.T, r.W(), r.H()); }
void GraphicsNanoVG::DoResetClip() { nvgResetScissor(vg_); }

bool GraphicsNanoVG::selectFont(const TextStyle& text) {
  auto it = fonts_.find(text.font.c_str());
  if (it == fonts_.end()) {
    if (fonts_.empty()) return false;
    it = fonts_.begin();  // an unknown face falls back to a loaded one rather than drawing nothing
  }
  nvgFontFaceId(vg_, it->second);
  nvgFontSize(vg_, text.size);
  nvgFontBlur(vg_, 0.f);
  return true;
}

void GraphicsNanoVG::DoDrawText(const TextStyle& text, const std::string& str, const TextAnchor& anchor,
                                const Blend* blend) {
  if (!selectFont(text)) return;
  nvgTextAlign(vg_, nvgAlignOf(anchor.align, anchor.valign));
  nvgFillColor(vg_, toNvg(text.fg, blend));
  nvgText(vg_, anchor.x, anchor.y, str.c_str(), nullptr);
}

Rect GraphicsNanoVG::DoMeasureText(const TextStyle& text, const std::string& str, const TextAnchor& anchor) {
  if (!vg_ || !selectFont(text)) return Rect(anchor.x, anchor.y, anchor.x, anchor.y);
  nvgTextAlign(vg_, nvgAlignOf(anchor.align, anchor.valign));
  float b[4] = {0, 0, 0, 0};
  nvgTextBounds(vg_, anchor.x, anchor.y, str.c_str(), nullptr, b);
  return {b[0], b[1], b[2], b[3]};
}

int GraphicsNanoVG::DoStartLayer(const Rect& r) {
  const float scale = GetTotalScale();
  const int wPx = std::max(1, static_cast<int>(std::ceil(r.W() * scale)));
  const int hPx = std::max(1, static_cast<int>(std::ceil(r.H() * scale)));
  if (inFrame_) nvgEndFrame(vg_);
  const int handle = CreateTarget(wPx, hPx);
  BindTarget(handle, wPx, hPx);
  targetStack_.push_back({handle, r});
  originX_ = r.L, originY_ = r.T;
  beginNvgFrame(r.W(), r.H());
  return handle;
}

void GraphicsNanoVG::DoEndLayer(int) {
  nvgEndFrame(vg_);
  targetStack_.pop_back();
  const float scale = GetTotalScale();
  if (targetStack_.empty()) {
    beginMainFrame();
  } else {
    const Target& t = targetStack_.back();
    BindTarget(t.handle, static_cast<int>(std::ceil(t.bounds.W() * scale)), static_cast<int>(std::ceil(t.bounds.H() * scale)));
    originX_ = t.bounds.L, originY_ = t.bounds.T;
    beginNvgFrame(t.bounds.W(), t.bounds.H());
  }
}

void GraphicsNanoVG::DoDrawLayer(const Layer& layer, const Blend* blend) {
  const Rect& r = layer.Bounds();
  // Off-screen targets are stored bottom-up: draw the image flipped.
  nvgSave(vg_);
  nvgTranslate(vg_, r.L, r.B);
  nvgScale(vg_, 1.f, -1.f);
  const NVGpaint paint = nvgImagePattern(vg_, 0, 0, r.W(), r.H(), 0.f, TargetImage(layer.Handle()), BlendWeight(blend));
  nvgBeginPath(vg_);
  nvgRect(vg_, 0, 0, r.W(), r.H());
  nvgFillPaint(vg_, paint);
  nvgFill(vg_);
  nvgRestore(vg_);
}

void GraphicsNanoVG::DoDeleteLayer(int handle) { DeleteTarget(handle); }

}  // namespace plugkit::gfx
