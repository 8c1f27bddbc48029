// The vector knob: style record, layout of vector controls, shared knob drag logic and the knob itself.
#pragma once

#include <array>
#include <string>

#include "gfx/control.h"

namespace plugkit::gfx {

enum VectorColor : int { kBG = 0, kFG, kPR, kFR, kHL, kSH, kX1, kX2, kX3, kNumVectorColors };

/// How a vector control looks; copied by each control at construction.
struct VectorStyle {
  bool hideCursor = true;
  bool showLabel = true;
  bool showValue = true;
  bool drawFrame = true;
  bool drawShadows = true;
  bool emboss = false;
  float roundness = 0.f;
  float frameThickness = 1.f;
  float shadowOffset = 3.f;
  float widgetFrac = 1.f;
  float angle = 0.f;
  std::array<Color, kNumVectorColors> colors{kColorTransparent, kColorMidGray, kColorLightGray,
                                             kColorDarkGray,    kColorTranslucent, kColorDefaultShadow,
                                             kColorBlack,       kColorGreen,   kColorBlue};
  TextStyle labelText = kDefaultLabelText;
  TextStyle valueText = kDefaultValueText;

  const Color& Get(VectorColor c) const { return colors[static_cast<size_t>(c)]; }
  VectorStyle WithColor(VectorColor c, Color v) const { VectorStyle s = *this; s.colors[static_cast<size_t>(c)] = v; return s; }
  VectorStyle WithShowLabel(bool v) const { VectorStyle s = *this; s.showLabel = v; return s; }
  VectorStyle WithShowValue(bool v) const { VectorStyle s = *this; s.showValue = v; return s; }
  VectorStyle WithDrawFrame(bool v) const { VectorStyle s = *this; s.drawFrame = v; return s; }
  VectorStyle WithDrawShadows(bool v) const { VectorStyle s = *this; s.drawShadows = v; return s; }
  VectorStyle WithWidgetFrac(float v) const { VectorStyle s = *this; s.widgetFrac = v; return s; }
  VectorStyle WithHideCursor(bool v) const { VectorStyle s = *this; s.hideCursor = v; return s; }
};

inline const VectorStyle kDefaultStyle{};

/// Style and layout shared by vector controls: widget, label and value rectangles.
class VectorBase {
 public:
  VectorBase(Control& control, const VectorStyle& style, const std::string& label)
      : style_(style), control_(control), label_(label) {}
  virtual ~VectorBase() = default;
  /// Splits the control's rectangle into label, widget and value bounds.
  void MakeRects(const Rect& parent, bool hasHandle);
  const Color& GetColor(VectorColor c) const { return style_.Get(c); }
  /// The pressable ellipse: shadow, fill (pressed or not), highlight and frame.
  void DrawPressableEllipse(Graphics& g, const Rect& bounds, bool pressed, bool mouseOver, bool disabled);
  const Rect& WidgetBounds() const { return widgetBounds_; }
  const Rect& LabelBounds() const { return labelBounds_; }
  const Rect& ValueBounds() const { return valueBounds_; }
  const VectorStyle& Style() const { return style_; }
  void SetLabelStr(const std::string& s) { label_ = s; }

 protected:
  VectorStyle style_;
  Control& control_;
  std::string label_;
  Rect widgetBounds_, labelBounds_, valueBounds_;
};

/// Drag logic shared by knobs: direction, gearing and an accumulator clamped to 0..1.
class KnobControlBase : public Control {
 public:
  KnobControlBase(const Rect& bounds, int paramIdx, Direction direction, double gearing)
      : Control(bounds, paramIdx), direction_(direction), gearing_(gearing) {}
  void OnMouseDown(float x, float y, const MouseMod& mod) override;
  void OnMouseUp(float x, float y, const MouseMod& mod) override;
  void OnMouseDrag(float x, float y, float dx, float dy, const MouseMod& mod) override;
  void OnMouseWheel(float x, float y, const MouseMod& mod, float delta) override;
  /// The rectangle whose height (or width) one gearing of travel spans.
  virtual Rect DragBounds() const { return rect_; }
  bool MouseIsDown() const { return mouseDown_; }
  double DragAccumulator() const { return dragAccum_; }
  double Gearing() const { return gearing_; }

 protected:
  void HideCursorIfAttached(bool hide);

  bool hideCursorOnDrag_ = true;
  Direction direction_;
  double gearing_;
  bool mouseDown_ = false;
  double dragAccum_ = 0.0;
};

/// The framework's rotary vector knob.
class VectorKnobControl : public KnobControlBase, public VectorBase {
 public:
  VectorKnobControl(const Rect& bounds, int paramIdx, const std::string& label = "",
                    const VectorStyle& style = kDefaultStyle, bool valueIsEditable = false,
                    bool valueInWidget = false, float aMin = -135.f, float aMax = 135.f, float aAnchor = -135.f,
                    Direction direction = Direction::kVertical, double gearing = 4.0, float trackSize = 2.f);

  Rect DragBounds() const override;
  virtual void DrawLabel(Graphics& g);
  virtual void DrawWidget(Graphics& g);
  virtual void DrawHandle(Graphics& g, const Rect& handle);
  /// The arc from the anchor angle to the value angle (degrees, 0 at the top).
  virtual void DrawValueArc(Graphics& g, float angle, float cx, float cy, float radius);
  virtual void DrawPointer(Graphics& g, float angle, float cx, float cy, float radius);
  void DrawValue(Graphics& g, bool mouseOver);

  void Draw(Graphics& g) override;
  void OnMouseDown(float x, float y, const MouseMod& mod) override;
  void OnMouseUp(float x, float y, const MouseMod& mod) override;
  void OnMouseDrag(float x, float y, float dx, float dy, const MouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const MouseMod& mod) override;
  void OnMouseWheel(float x, float y, const MouseMod& mod, float delta) override;
  void OnMouseOver(float x, float y, const MouseMod& mod) override;
  void OnResize() override;
  void OnInit() override;
  bool IsHit(float x, float y) const override;
  void SetDirty(bool triggerAction = true, int valIdx = -1) override;

  /// Half the smaller side of the widget bounds minus half the track size.
  float GetRadius() const;
  float ValueAngle() const { return aMin_ + (aMax_ - aMin_) * static_cast<float>(GetValue()); }

 protected:
  float trackSize_;
  float trackToHandleDistance_ = 4.f;
  float innerPointerFrac_ = 0.1f;
  float outerPointerFrac_ = 1.f;
  float pointerThickness_ = 2.5f;
  float aMin_, aMax_, aAnchor_;
  bool valueMouseOver_ = false;
  bool valueIsEditable_;
  bool valueInWidget_;
};

}  // namespace plugkit::gfx
