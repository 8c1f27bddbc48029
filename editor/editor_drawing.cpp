// Plumbrook's editor: the layout from the tables, the shades, the status line and the meters.
#include "editor/editor_drawing.h"

#include <cstdlib>
#include <unistd.h>

#include "editor/corner_scale_control.h"
#include "editor/link_lock_control.h"
#include "editor/meter_controls.h"
#include "editor/pill_toggle_control.h"
#include "editor/preset_bar_control.h"
#include "editor/ring_knob_control.h"
#include "editor/settings_menu_control.h"
#include "editor/switched_control.h"
#include "gfx/svg_control.h"
#include "editor/typed_value_controls.h"
#include "editor/update_pill_control.h"
#include "editor/width_readout_control.h"

namespace plumbrook::editor {

using namespace plugkit::gfx;
using quillfen::controls::PillToggleControl;
using quillfen::controls::PresetBarControl;
using quillfen::controls::RingKnobControl;
using quillfen::controls::UpdatePillControl;
using quillfen::controls::limiter_panel::LinkLockControl;
using quillfen::controls::limiter_panel::OutputMeterControl;
using quillfen::controls::limiter_panel::ReductionMeterControl;
using quillfen::controls::typed_value::EqValueControl;
using quillfen::controls::typed_value::TypedCaptionControl;

namespace {

const char* const kProductTitle = "PLUMBROOK";

quillfen::controls::limiter_panel::MeterColours meterColours() {
  return {colours::kMeterTrack, colours::kMeterHold, colours::kMeterCeilingMarker,
          colours::kReductionBar};
}

PillToggleControl::Colours pillColours() {
  return {colours::kPillFill, colours::kPillBorder, colours::kPillBorderHighlighted,
          colours::kPillDotOff};
}

Resources resourcesIn(const std::filesystem::path& dir) {
  return {dir / kRegularFontFile, dir / kBoldFontFile, dir / kLogoFile};
}

}  // namespace

Resources defaultResources() {
  if (const char* dir = std::getenv("PLUMBROOK_RESOURCES"); dir && *dir) return resourcesIn(dir);
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path dir = self.parent_path();
    for (const auto& candidate : {dir / "resources", dir.parent_path() / "resources", dir / "Plumbrook.lv2" / "resources",
                                  dir.parent_path() / "lv2" / "Plumbrook.lv2" / "resources"}) {
      if (std::filesystem::exists(candidate / kRegularFontFile, error)) return resourcesIn(candidate);
    }
  }
  const std::filesystem::path fonts = "/usr/share/fonts/truetype/roboto/unhinted";
  return {fonts / "RobotoTTF" / kRegularFontFile, fonts / kBoldFontFile, {}};
}

PlumbrookEditor::PlumbrookEditor(Plumbrook& plugin, Graphics& graphics, Resources resources, SteadyClock clock)
    : plugin_(plugin), graphics_(graphics), resources_(std::move(resources)), clock_(std::move(clock)) {
  graphics_.SetLayoutDelegate(this);
  layout(graphics_);
  plugin_.attachEditor(this);
}

PlumbrookEditor::~PlumbrookEditor() {
  if (plugin_.editor() == this) plugin_.attachEditor(nullptr);
  graphics_.SetLayoutDelegate(nullptr);
}

Color PlumbrookEditor::resolvedAccent(int alpha) const {
  const int index = plugin_.accentIndex();
  int r = 0, g = 0, b = 0;
  if (index == 5 && plugin_.trackColour(r, g, b)) return {alpha, r, g, b};
  return accentColour(index, static_cast<uint8_t>(alpha));
}

void PlumbrookEditor::layout(Graphics& g) {
  g.LoadFont(kRegularFont, resources_.regularFont.string());
  g.LoadFont(kBoldFont, resources_.boldFont.string());
  g.SetScaleConstraints(0.75f, 2.0f);
  accent_ = resolvedAccent(255);

  g.AttachBackground(Pattern(colours::kWindowBackground));
  g.EnableMouseOver(true);
  g.AttachControl(std::make_unique<PanelControl>(kSectionsPanel, Pattern(colours::kSectionsPanel)));
  layoutSections(g);

  std::string track;
  plugin_.trackLabel(track);
  g.AttachControl(std::make_unique<TextControl>(kTitleRect, track.empty() ? kProductTitle : track,
                                                styles::kTitle),
                  tags::kTitle);
  g.AttachControl(std::make_unique<PillToggleControl>(kBypassPill, kBypass, "ACTIVE", "BYPASSED",
                                                      styles::kHeaderSmall, 1.0f, accent_, pillColours(),
                                                      true));

  auto pill = std::make_unique<UpdatePillControl>(
      kUpdatePill, colours::kUpdatePill, colours::kUpdatePillHover,
      colours::kUpdatePillText,
      styles::kHeaderSmall, plugin_.updateCheck(), [this](const Rect& r) {
        Control* title = graphics_.ControlWithTag(tags::kTitle);
        if (!title) return;
        title->SetTargetAndDrawRECTs(titleRectBeside(r));
        title->OnResize();
        graphics_.MarkAllControlsDirty();
      });
  UpdatePillControl* pillControl = pill.get();
  SettingsMenuControl::Actions actions;
  actions.scale = [this] { return plugin_.editorScale(); };
  actions.setScale = [this](float scale) { plugin_.applyEditorScale(scale); };
  actions.accent = [this] { return plugin_.accentIndex(); };
  actions.setAccent = [this](int index) { plugin_.setAccentIndex(index); };
  actions.addUpdateItems = [pillControl](PopupMenu& menu) { pillControl->addMenuItems(menu); };
  actions.updateItemChosen = [pillControl](int index) {
    if (index == 0) pillControl->toggleCheck();
  };
  settings_ = static_cast<SettingsMenuControl*>(
      g.AttachControl(std::make_unique<SettingsMenuControl>(std::move(actions), versionText())));
  updatePill_ = static_cast<UpdatePillControl*>(g.AttachControl(std::move(pill)));

  PresetBarControl::Style bar;
  bar.box = colours::kPresetBox;
  bar.frame = colours::kPresetBoxFrame;
  bar.text = colours::kPresetText;
  bar.dim = colours::kPresetTextDim;
  bar.hover = colours::kPresetHover;
  bar.warning = colours::kPresetWarning;
  bar.textStyle = styles::kPresetBar;
  bar.scale = 1.0f;
  bar.background = colours::kPresetBarBackground;
  bar.rule = colours::kPresetBarRule;
  bar.leftInset = bar.rightInset = 28;
  g.AttachControl(std::make_unique<PresetBarControl>(kPresetBar, std::move(bar), plugin_.presetHooks(),
                                                     [this](const Rect& anchor) {
                                                       if (settings_) settings_->OpenAt(anchor);
                                                     }));

  const Svg logo = resources_.logo.empty() ? Svg()
                                            : LoadSvgFile(resources_.logo.parent_path().string(),
                                                          resources_.logo.filename().string(), "px", 72.f);
  if (logo.IsValid() && logo.H() > 0)
    g.AttachControl(std::make_unique<SvgControl>(logoRect(logo.W(), logo.H()), logo, false));
  else
    g.AttachControl(
        std::make_unique<TextControl>(kLogoFallback, kProductTitle, styles::kLogoFallback));

  g.AttachControl(std::make_unique<TextControl>(kStatusLine, "", styles::kStatus), tags::kStatus);
  g.AttachControl(std::make_unique<CornerScaleControl>(kCornerScale, kDesignWidth, 0.75f, 2.0f,
                                                       colours::kCornerScale,
                                                       colours::kCornerScaleHover));
}

VectorStyle PlumbrookEditor::knobStyle() const {
  return VectorStyle()
      .WithHideCursor(false)
      .WithShowLabel(false)
      .WithShowValue(false)
      .WithDrawFrame(false)
      .WithDrawShadows(false)
      .WithWidgetFrac(0.92f)
      .WithColor(kBG, kColorTransparent)
      .WithColor(kFG, colours::kKnobForeground)
      .WithColor(kPR, colours::kKnobPressed)
      .WithColor(kFR, colours::kKnobFrame)
      .WithColor(kX1, accent_);
}

void PlumbrookEditor::attachKnobGroup(Graphics& g, const KnobGroup& group) {
  const VectorStyle style = knobStyle();
  g.AttachControl(
      std::make_unique<RingKnobControl>(group.knob(), group.param, style, -135.f, colours::kKnobRing));
  g.AttachControl(std::make_unique<TextControl>(group.labelRect(), group.label, styles::kKnobLabel));
  g.AttachControl(std::make_unique<TypedCaptionControl>(group.caption(), group.param,
                                                        styles::kCaption, kColorTransparent, true,
                                                        styles::kCaptionEditing));
}

/// Attaches one row of the sections table, whichever kind it is.
class PlumbrookEditor::RowAttacher {
 public:
  RowAttacher(PlumbrookEditor& editor, Graphics& g)
      : e_(editor),
        g_(g),
        meterScale_(styles::kMeterScale),
        meterReadout_(styles::kMeterReadout) {}

  void operator()(const rows::Heading& row) const {
    g_.AttachControl(std::make_unique<TextControl>(row.rect, row.text, styles::kSectionHeading));
  }

  void operator()(const rows::LevelMeter& row) const {
    OutputMeterControl::Options options;
    options.label = row.label;
    options.range = 36;
    options.ticks = {0, -12, -24, -36};
    options.rmsDisplay = true;
    options.markerParam = row.markerParam;
    options.zoneParam = row.zoneParam;
    if (row.zoneParam >= 0) options.zone = [](double amount) { return glueZone(amount); };
    auto* meter = static_cast<OutputMeterControl*>(g_.AttachControl(
        std::make_unique<OutputMeterControl>(row.rect, row.bar, e_.accent_, meterColours(),
                                             meterScale_, meterReadout_, styles::kReductionScale, std::move(options),
                                             e_.clock_),
        row.tag));
    auto feed = [meter](float peak, float meanSquare) { meter->setLevels(peak, meanSquare); };
    (row.tag == tags::kInputMeter ? e_.meters_.input : e_.meters_.output) = feed;
  }

  void operator()(const rows::Knobs& row) const { e_.attachKnobGroup(g_, *row.group); }

  void operator()(const rows::Divider& row) const {
    g_.AttachControl(std::make_unique<PanelControl>(row.rect, Pattern(colours::kDivider)));
  }

  void operator()(const rows::CentreTick& row) const {
    g_.AttachControl(std::make_unique<PanelControl>(row.rect, Pattern(colours::kCentreTick)));
  }

  void operator()(const rows::ScaleLabels&) const {
    for (const ScaleLabel& label : kGlueScaleLabels)
      g_.AttachControl(std::make_unique<TextControl>(label.rect, tickLabel(-label.reductionDb),
                                                     styles::kReductionScale));
  }

  void operator()(const rows::Bands&) const {
    const VectorStyle bandStyle = e_.knobStyle();
    for (int band = 0; band < 3; ++band) {
      const BandColumn column = bandColumn(band);
      ReductionMeterControl::Options options{kBandNames[band], 1.0f, 3.0f, e_.accent_};
      auto* meter = static_cast<ReductionMeterControl*>(g_.AttachControl(
          std::make_unique<ReductionMeterControl>(column.meter(), column.meterBar(), meterColours(),
                                                  meterScale_, meterReadout_, std::move(options), e_.clock_),
          tags::kGlueMeterLow + band));
      e_.meters_.glue[static_cast<size_t>(band)] = [meter](float db) { meter->feed(db); };
      // The band knobs' arcs grow either way from the top.
      g_.AttachControl(std::make_unique<RingKnobControl>(column.knob(), kEqLow + band, bandStyle, 0.f,
                                                         colours::kKnobRing));
      g_.AttachControl(std::make_unique<EqValueControl>(column.value(), kEqLow + band,
                                                        styles::kBandValue,
                                                        styles::kBandValueEditing));
    }
  }

  void operator()(const rows::Pill& row) const {
    g_.AttachControl(std::make_unique<PillToggleControl>(row.rect, row.param, row.offText, row.onText,
                                                         styles::kPill, 1.0f, e_.accent_,
                                                         pillColours(), false, row.forcedBy),
                     row.tag);
  }

  void operator()(const rows::WidthReadout& row) const {
    WidthReadoutControl::Style style{meterScale_.WithAlign(plugkit::gfx::Align::kNear),
                                     meterReadout_.WithAlign(plugkit::gfx::Align::kFar),
                                     styles::kCaption, styles::kReadoutNote, e_.accent_,
                                     colours::kWidthTrack};
    Plumbrook& plugin = e_.plugin_;
    g_.AttachControl(std::make_unique<WidthReadoutControl>(
                         row.rect, kWidthActive, kAmount, std::move(style),
                         [](int band, double amount) { return sideLiftDb(band, amount); },
                         [&plugin] { return plugin.meterReadings().channels.load(); }),
                     row.tag);
  }

  void operator()(const rows::LinkLock& row) const {
    g_.AttachControl(std::make_unique<LinkLockControl>(row.rect, row.param, e_.accent_,
                                                       colours::kLinkUnlocked,
                                                       colours::kLinkUnlockedHover));
    e_.plugin_.refreshLinkMemory();
  }

  void operator()(const rows::HeldNote& row) const {
    g_.AttachControl(std::make_unique<ShownBySwitch<TextControl>>(row.switchParam, true, row.rect, row.text,
                                                                  styles::kHeldNote),
                     row.tag);
  }

  void operator()(const rows::ReductionMeter& row) const {
    // The limiter's meter has no zone.
    ReductionMeterControl::Options options{row.label, 0.0f, 0.0f, colours::kTransparent};
    auto* meter = static_cast<ReductionMeterControl*>(g_.AttachControl(
        std::make_unique<ReductionMeterControl>(row.rect, row.bar, meterColours(), meterScale_,
                                                meterReadout_, std::move(options), e_.clock_),
        row.tag));
    e_.meters_.limiter = [meter](float db) { meter->feed(db); };
  }

  void operator()(const rows::Shade& row) const {
    g_.AttachControl(std::make_unique<ShownBySwitch<PanelControl>>(row.switchParam, shadeShown(row.switchParam, true),
                                                                   row.rect, Pattern(colours::kShade)),
                     tags::kNone, row.group);
  }

 private:
  PlumbrookEditor& e_;
  Graphics& g_;
  TextStyle meterScale_, meterReadout_;
};

void PlumbrookEditor::layoutSections(Graphics& g) {
  meters_ = {};
  const RowAttacher attach(*this, g);
  for (const SectionRow& row : kSections) std::visit(attach, row);
}

void PlumbrookEditor::rebuild() {
  graphics_.RemoveAllControls();
  settings_ = nullptr;
  updatePill_ = nullptr;
  layout(graphics_);
}

void PlumbrookEditor::setTitle(const std::string& trackName) {
  if (auto* title = dynamic_cast<TextControl*>(graphics_.ControlWithTag(tags::kTitle)))
    title->SetStr(trackName.empty() ? kProductTitle : trackName);
}

void PlumbrookEditor::setStatus(const std::string& text, bool highlighted) {
  auto* status = dynamic_cast<TextControl*>(graphics_.ControlWithTag(tags::kStatus));
  if (!status) return;
  status->SetText(status->GetText().WithColor(highlighted ? colours::kStatusLatency : colours::kStatusPlain));
  status->SetStr(text);
}

void PlumbrookEditor::idle() {
  feedMeters(plugin_.meterReadings(), meters_);
  if (auto* readout = dynamic_cast<WidthReadoutControl*>(graphics_.ControlWithTag(tags::kWidthReadout)))
    readout->pollChannels();
}

void PlumbrookEditor::resize(float drawScale, bool resizeWindow) {
  graphics_.Resize(graphics_.Width(), graphics_.Height(), drawScale, resizeWindow);
}

void PlumbrookEditor::SetParamValueFromDelegate(int paramIdx, double normalised) {
  graphics_.SetParamValueFromDelegate(paramIdx, normalised);
}

plugkit::MessageBoxResult PlumbrookEditor::ShowMessageBox(const std::string& message, const std::string& caption,
                                                          plugkit::MessageBoxType type,
                                                          plugkit::MessageBoxCompletion completion) {
  return graphics_.ShowMessageBox(message, caption, type, std::move(completion));
}

void PlumbrookEditor::MarkAllControlsDirty() { graphics_.MarkAllControlsDirty(); }
float PlumbrookEditor::GetBackingScale() const { return graphics_.GetBackingScale(); }
float PlumbrookEditor::GetDrawScale() const { return graphics_.GetDrawScale(); }
int PlumbrookEditor::Width() const { return graphics_.Width(); }
int PlumbrookEditor::Height() const { return graphics_.Height(); }

}  // namespace plumbrook::editor
