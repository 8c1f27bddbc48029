// The benchmark scene: 20 knobs and 20 text controls on a background, laid out from a table.
#pragma once

#include <memory>

#include "core/editor_delegate.h"
#include "gfx/graphics.h"
#include "gfx/vector_knob.h"

namespace plumbrook::bench {

/// A delegate with 20 plain parameters that ignores host calls.
class SceneDelegate : public plugkit::EditorDelegate {
 public:
  static constexpr int kParams = 20;
  SceneDelegate() : EditorDelegate(kParams) {
    for (int i = 0; i < kParams; ++i) GetParam(i)->InitDouble("P", 0.5, 0.0, 1.0, 0.001);
  }
  void BeginParamGestureFromUI(int) override {}
  void SetParamFromUI(int, double) override {}
  void EndParamGestureFromUI(int) override {}
};

inline constexpr int kSceneWidth = 880;
inline constexpr int kSceneHeight = 382;

/// Five rows of four knobs, each with a caption under it showing its value.
inline void buildScene(plugkit::gfx::Graphics& g) {
  using namespace plugkit::gfx;
  g.AttachBackground(Color(255, 28, 30, 34));
  const VectorStyle style = kDefaultStyle.WithShowLabel(false).WithShowValue(false).WithDrawShadows(false)
                                .WithDrawFrame(false).WithWidgetFrac(0.92f)
                                .WithColor(kFG, Color(255, 60, 64, 72)).WithColor(kX1, Color(255, 21, 232, 121))
                                .WithColor(kFR, kColorWhite);
  for (int i = 0; i < SceneDelegate::kParams; ++i) {
    const float x = 20.f + static_cast<float>(i % 10) * 86.f;
    const float y = 20.f + static_cast<float>(i / 10) * 180.f;
    auto* knob = g.AttachControl(std::make_unique<VectorKnobControl>(
        Rect(x, y, x + 70.f, y + 70.f), i, "", style, false, false, -135.f, 135.f, i % 2 ? 0.f : -135.f));
    knob->SetValue(0.05 * i);
    g.AttachControl(std::make_unique<CaptionControl>(Rect(x, y + 80.f, x + 70.f, y + 100.f), i,
                                                     TextStyle(13.f, kColorWhite), Color(255, 40, 42, 48), false));
  }
}

}  // namespace plumbrook::bench
