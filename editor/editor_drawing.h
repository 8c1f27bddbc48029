// The drawing half of Plumbrook's editor: lays out every control in a graphics context and
// carries out what the plug-in asks of an open editor.
#pragma once

#include <array>
#include <filesystem>
#include <string>

#include "plugin/plumbrook.h"
#include "editor/editor_layout.h"
#include "editor/meter_ballistics.h"
#include "editor/meter_feed.h"
#include "gfx/graphics.h"
#include "gfx/vector_knob.h"

namespace quillfen::controls {
class UpdatePillControl;
class PillToggleControl;
namespace limiter_panel {
class OutputMeterControl;
class ReductionMeterControl;
}  // namespace limiter_panel
}  // namespace quillfen::controls

namespace plumbrook::editor {

class SettingsMenuControl;
class WidthReadoutControl;

/// The fonts and artwork of the editor.
struct Resources {
  std::filesystem::path regularFont;
  std::filesystem::path boldFont;
  std::filesystem::path logo;  // may be missing: the logo falls back to text
};
/// The resources next to the running binary's bundle, else the system's font packages.
Resources defaultResources();

class PlumbrookEditor : public EditorHalf, public plugkit::gfx::GraphicsLayoutDelegate {
 public:
  /// Lays the editor out in `graphics` (made for the plug-in at its initial draw scale) and
  /// attaches itself to the plug-in, which then shows every value. Editor thread; allocates.
  PlumbrookEditor(Plumbrook& plugin, plugkit::gfx::Graphics& graphics, Resources resources,
                  SteadyClock clock = systemSteadyClock());
  /// Detaches from the plug-in; the controls go with the graphics context, which must outlive
  /// the editor.
  ~PlumbrookEditor() override;
  PlumbrookEditor(const PlumbrookEditor&) = delete;
  PlumbrookEditor& operator=(const PlumbrookEditor&) = delete;

  /// Builds every control, in drawing order.
  void layout(plugkit::gfx::Graphics& g);
  /// The five sections over the panel.
  void layoutSections(plugkit::gfx::Graphics& g);
  void LayoutUI(plugkit::gfx::Graphics& g) override { layout(g); }

  // EditorSurface, forwarded to the graphics context.
  void SetParamValueFromDelegate(int paramIdx, double normalised) override;
  plugkit::MessageBoxResult ShowMessageBox(const std::string& message, const std::string& caption,
                                           plugkit::MessageBoxType type,
                                           plugkit::MessageBoxCompletion completion) override;
  void MarkAllControlsDirty() override;
  float GetBackingScale() const override;
  float GetDrawScale() const override;
  int Width() const override;
  int Height() const override;

  // EditorHalf.
  void rebuild() override;
  void setTitle(const std::string& trackName) override;
  void setStatus(const std::string& text, bool highlighted) override;
  void idle() override;
  void resize(float drawScale, bool resizeWindow) override;

  plugkit::gfx::Graphics& graphics() { return graphics_; }
  /// The accent the layout baked into the controls.
  plugkit::gfx::Color accent() const { return accent_; }
  SettingsMenuControl* settingsMenu() const { return settings_; }
  quillfen::controls::UpdatePillControl* updatePill() const { return updatePill_; }

 private:
  class RowAttacher;

  plugkit::gfx::Color resolvedAccent(int alpha) const;
  void attachKnobGroup(plugkit::gfx::Graphics& g, const KnobGroup& group);
  /// The style every ring knob shares: the framework knob without its own frame and texts, in the accent.
  plugkit::gfx::VectorStyle knobStyle() const;

  Plumbrook& plugin_;
  plugkit::gfx::Graphics& graphics_;
  Resources resources_;
  SteadyClock clock_;
  plugkit::gfx::Color accent_;
  MeterTargets meters_;
  SettingsMenuControl* settings_ = nullptr;
  quillfen::controls::UpdatePillControl* updatePill_ = nullptr;
};

}  // namespace plumbrook::editor
