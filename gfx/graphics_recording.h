// A drawing back end that records every primitive instead of drawing: for tests and logic benchmarks.
#pragma once

#include <string>
#include <vector>

#include "gfx/graphics.h"

namespace plugkit::gfx {

/// Records primitives in order; text measures 0.5 x size per character wide and size high.
class GraphicsRecording : public Graphics {
 public:
  struct Op {
    std::string kind;          // "move", "line", "cubic", "fill", "stroke", "composite", "text", "clip", ...
    std::vector<float> args;   // coordinates, thickness, anchor ...
    FloatColor color{0, 0, 0, 0};
    CompositeOp composite{};
    std::string text;
    TextAnchor anchor{0, 0, Align::kCenter, VAlign::kMiddle};
    int winding = 0;
    Op(std::string k, std::vector<float> a = {}) : kind(std::move(k)), args(std::move(a)) {}
  };

  using Graphics::Graphics;
  bool LoadFont(const std::string& name, const std::string&) override { fonts.push_back(name); return true; }
  bool LoadFont(const std::string& name, const unsigned char*, int) override { fonts.push_back(name); return true; }
  void BeginFrame() override { Graphics::BeginFrame(); ops.emplace_back("begin", std::vector<float>{}); ++frames; }
  void EndFrame() override { ops.emplace_back("end", std::vector<float>{}); }

  /// Operations of one kind, in order.
  std::vector<Op> OpsOf(const std::string& kind) const;
  void Clear() { ops.clear(); }

  std::vector<Op> ops;
  std::vector<std::string> fonts;
  std::vector<Rect> regions;  // every prepared control region, in drawing order
  int frames = 0;

 protected:
  void DoPathClear() override { ops.emplace_back("clear", std::vector<float>{}); }
  void DoPathClose() override { ops.emplace_back("close", std::vector<float>{}); }
  void DoPathMoveTo(float x, float y) override { ops.emplace_back("move", std::vector<float>{x, y}); }
  void DoPathLineTo(float x, float y) override { ops.emplace_back("line", std::vector<float>{x, y}); }
  void DoPathCubicBezierTo(float a, float b, float c, float d, float e, float f) override {
    ops.emplace_back("cubic", std::vector<float>{a, b, c, d, e, f});
  }
  void DoPathSetWinding(Winding w) override {
    Op op("winding", std::vector<float>{});
    op.winding = w == Winding::kCCW ? 1 : 2;
    ops.push_back(op);
  }
  void DoSetComposite(const CompositeOp& c) override {
    Op op("composite", std::vector<float>{});
    op.composite = c;
    ops.push_back(op);
  }
  void DoPathFill(const Pattern& p, FillRule rule, const Blend* blend) override {
    Op op("fill", std::vector<float>{});
    op.color = ToFloatColor(p.FirstColor(), blend);
    op.winding = rule == FillRule::kWinding ? 1 : 2;
    ops.push_back(op);
  }
  void DoPathStroke(const Pattern& p, float thickness, const StrokeOptions&, const Blend* blend) override {
    Op op("stroke", std::vector<float>{thickness});
    op.color = ToFloatColor(p.FirstColor(), blend);
    ops.push_back(op);
  }
  void DoTransformSave() override { ops.emplace_back("save", std::vector<float>{}); }
  void DoTransformRestore() override { ops.emplace_back("restore", std::vector<float>{}); }
  void DoTransformReset() override { ops.emplace_back("reset", std::vector<float>{}); }
  void DoTransform(float a, float b, float c, float d, float e, float f) override {
    ops.emplace_back("transform", std::vector<float>{a, b, c, d, e, f});
  }
  void DoSetClipRegion(const Rect& r) override { ops.emplace_back("clip", std::vector<float>{r.L, r.T, r.R, r.B}); }
  void DoResetClip() override { ops.emplace_back("unclip", std::vector<float>{}); }
  void DoDrawText(const TextStyle& t, const std::string& s, const TextAnchor& a, const Blend* blend) override {
    Op op("text", std::vector<float>{t.size});
    op.text = s;
    op.anchor = a;
    op.color = ToFloatColor(t.fg, blend);
    ops.push_back(op);
  }
  Rect DoMeasureText(const TextStyle& t, const std::string& s, const TextAnchor& a) override;
  int DoStartLayer(const Rect& r) override { ops.emplace_back("layer", std::vector<float>{r.L, r.T, r.R, r.B}); return ++layers_; }
  void DoEndLayer(int h) override { ops.emplace_back("endlayer", std::vector<float>{static_cast<float>(h)}); }
  void DoDrawLayer(const Layer& l, const Blend*) override { ops.emplace_back("drawlayer", std::vector<float>{static_cast<float>(l.Handle())}); }
  void DoDeleteLayer(int h) override { ops.emplace_back("deletelayer", std::vector<float>{static_cast<float>(h)}); }
  void PrepareRegion(const Rect& r) override { regions.push_back(r); }

 private:
  int layers_ = 0;
};

}  // namespace plugkit::gfx
