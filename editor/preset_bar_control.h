// The strip along the top of the editor: browse, load, save, save as and delete presets, and
// open the settings menu.
#pragma once

#include <functional>
#include <string>

#include "plugin/preset_hooks.h"
#include "editor/preset_bar_model.h"
#include "gfx/control.h"

namespace quillfen::controls {

class PresetBarControl : public plugkit::gfx::Control {
 public:
  struct Style {
    plugkit::gfx::Color box, frame, text, dim, hover, warning;
    plugkit::gfx::TextStyle textStyle;
    float scale = 1;
    std::string label;
    plugkit::gfx::Color background, rule;
    float leftInset = 28, rightInset = 28;
  };
  using MenuCallback = std::function<void(const plugkit::gfx::Rect&)>;

  PresetBarControl(const plugkit::gfx::Rect& bounds, Style style, PresetHooks hooks, MenuCallback menu);

  void Draw(plugkit::gfx::Graphics& g) override;
  void OnMouseDown(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  void OnMouseOver(float x, float y, const plugkit::gfx::MouseMod& mod) override;
  void OnMouseOut() override;
  void OnMenuChoice(const plugkit::gfx::PopupMenu* menu, int valIdx) override;
  void OnTextEntryDone(const std::string& text, int valIdx) override;

  /// The region under a point (PresetBarRegion).
  int regionAt(float x, float y) const { return geometry().regionAt(x, y); }
  /// The rectangle of a region.
  plugkit::gfx::Rect regionRect(int region) const;
  /// A name shortened with "…" to fit a width in the bar's text; cached for the last input.
  std::string fitted(plugkit::gfx::Graphics& g, const plugkit::gfx::TextStyle& text, const std::string& s, float width);
  plumbrook::editor::PresetBarModel& model() { return model_; }

 private:
  plumbrook::editor::PresetBarGeometry geometry() const;
  void openList();
  void promptForName();
  void drawHamburger(plugkit::gfx::Graphics& g, const plugkit::gfx::Rect& r, bool hovered);
  void drawButton(plugkit::gfx::Graphics& g, int region, const std::string& caption, bool hoverable,
                  const plugkit::gfx::Color& frame, const plugkit::gfx::Color& captionColour);

  Style style_;
  plumbrook::editor::PresetBarModel model_;
  MenuCallback menu_;
  plugkit::gfx::PopupMenu listMenu_;
  std::string fitInput_;
  float fitWidth_ = -1;
  std::string fitResult_;
};

}  // namespace quillfen::controls
