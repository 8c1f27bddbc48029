// Values the user can type: the captions under the knobs and the EQ band values.
#pragma once

#include <string>

#include "gfx/control.h"

namespace quillfen::controls::typed_value {

/// Sends typed text to the control's parameter as one gesture and shows the result in every
/// control on it. False (nothing sent) when the text holds no number. Editor thread.
bool sendTypedValue(plugkit::gfx::Control& control, int paramIdx, const std::string& text, bool allowKilo);

/// The value caption under a knob: a click opens a text entry pre-filled with the display text.
class TypedCaptionControl : public plugkit::gfx::CaptionControl {
 public:
  TypedCaptionControl(const plugkit::gfx::Rect& bounds, int paramIdx, const plugkit::gfx::TextStyle& text,
                      plugkit::gfx::Color background, bool showParamLabel, const plugkit::gfx::TextStyle& editing);
  void OnMouseDown(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  void OnTextEntryDone(const std::string& text, int valIdx) override;
  void Draw(plugkit::gfx::Graphics& g) override;

 private:
  plugkit::gfx::TextStyle editing_;
};

/// An EQ band's value ("+3.0", "0.0", "−6.0"), typed like a caption.
class EqValueControl : public plugkit::gfx::Control {
 public:
  EqValueControl(const plugkit::gfx::Rect& bounds, int paramIdx, const plugkit::gfx::TextStyle& normal,
                 const plugkit::gfx::TextStyle& editing);
  void OnMouseDown(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  void OnTextEntryDone(const std::string& text, int valIdx) override;
  void Draw(plugkit::gfx::Graphics& g) override;
  /// The text shown for the parameter's current value.
  std::string shownText() const;

 private:
  plugkit::gfx::TextStyle editing_;
};

}  // namespace quillfen::controls::typed_value
