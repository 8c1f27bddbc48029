// Plumbrook's editor: the layout from the tables, the shades, the status line and the meters.
#include "editor/editor_drawing.h"

#include <cstdlib>
#include <unistd.h>

#include "editor/corner_scale_control.h"
#include "editor/gfx_conversions.h"
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
  return toColor(accentColour(index, static_cast<uint8_t>(alpha)));
}

void PlumbrookEditor::layout(Graphics& g) {
  g.LoadFont(kRegularFont, resources_.regularFont.string());
  g.LoadFont(kBoldFont, resources_.boldFont.string());
  g.SetScaleConstraints(0.75f, 2.0f);
  accent_ = resolvedAccent(255);

  g.AttachBackground(Pattern(toColor(colours::kWindowBackground)));
  g.EnableMouseOver(true);
  g.AttachControl(std::make_unique<PanelControl>(toRect(kSectionsPanel), Pattern(toColor(colours::kSectionsPanel))));
  layoutSections(g);

  std::string track;
  plugin_.trackLabel(track);
  g.AttachControl(std::make_unique<TextControl>(toRect(kTitleRect), track.empty() ? kProductTitle : track,
                                                toTextStyle(styles::kTitle)),
                  tags::kTitle);
  g.AttachControl(std::make_unique<PillToggleControl>(toRect(kBypassPill), kBypass, "ACTIVE", "BYPASSED",
                                                      toTextStyle(styles::kHeaderSmall), 1.0f, accent_, true));

  auto pill = std::make_unique<UpdatePillControl>(
      toRect(kUpdatePill), Color(255, 252, 120, 92), Color(255, 253, 146, 124), Color(255, 10, 10, 10),
      toTextStyle(styles::kHeaderSmall), plugin_.updateCheck(), [this](const Rect& r) {
        Control* title = graphics_.ControlWithTag(tags::kTitle);
        if (!title) return;
        const DesignRect titleRect = titleRectBeside({r.L, r.T, r.R, r.B});
        title->SetTargetAndDrawRECTs(toRect(titleRect));
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
  bar.box = {255, 20, 20, 20};
  bar.frame = {77, 250, 250, 250};
  bar.text = {255, 250, 250, 250};
  bar.dim = {107, 250, 250, 250};
  bar.hover = {20, 250, 250, 250};
  bar.warning = {255, 255, 157, 46};
  bar.textStyle = toTextStyle(styles::kPresetBar);
  bar.scale = 1.0f;
  bar.background = {255, 17, 17, 17};
  bar.rule = {26, 250, 250, 250};
  bar.leftInset = bar.rightInset = 28;
  g.AttachControl(std::make_unique<PresetBarControl>(toRect(kPresetBar), std::move(bar), plugin_.presetHooks(),
                                                     [this](const Rect& anchor) {
                                                       if (settings_) settings_->OpenAt(anchor);
                                                     }));

  const Svg logo = resources_.logo.empty() ? Svg()
                                            : LoadSvgFile(resources_.logo.parent_path().string(),
                                                          resources_.logo.filename().string(), "px", 72.f);
  if (logo.IsValid() && logo.H() > 0)
    g.AttachControl(std::make_unique<SvgControl>(toRect(logoRect(logo.W(), logo.H())), logo, false));
  else
    g.AttachControl(
        std::make_unique<TextControl>(toRect(kLogoFallback), kProductTitle, toTextStyle(styles::kLogoFallback)));

  g.AttachControl(std::make_unique<TextControl>(toRect(kStatusLine), "", toTextStyle(styles::kStatus)), tags::kStatus);
  g.AttachControl(std::make_unique<CornerScaleControl>(toRect(kCornerScale), kDesignWidth, 0.75f, 2.0f,
                                                       Color(36, 250, 250, 250), Color(90, 250, 250, 250)));
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
      .WithColor(kFG, toColor(colours::kKnobForeground))
      .WithColor(kPR, toColor(colours::kKnobPressed))
      .WithColor(kFR, toColor(colours::kKnobFrame))
      .WithColor(kX1, accent_);
}

void PlumbrookEditor::attachKnobGroup(Graphics& g, const KnobGroup& group) {
  const VectorStyle style = knobStyle();
  g.AttachControl(
      std::make_unique<RingKnobControl>(toRect(group.knob()), group.param, style, -135.f, toColor(colours::kKnobRing)));
  g.AttachControl(std::make_unique<TextControl>(toRect(group.labelRect()), group.label, toTextStyle(styles::kKnobLabel)));
  g.AttachControl(std::make_unique<TypedCaptionControl>(toRect(group.caption()), group.param,
                                                        toTextStyle(styles::kCaption), kColorTransparent, true,
                                                        toTextStyle(styles::kCaptionEditing)));
}

void PlumbrookEditor::layoutSections(Graphics& g) {
  const VectorStyle bandStyle = knobStyle();
  const TextStyle meterScale = toTextStyle(styles::kMeterScale);
  const TextStyle meterReadout = toTextStyle(styles::kMeterReadout);
  meters_ = {};

  for (const SectionRow& row : kSections) {
    const Rect rect = toRect(row.rect);
    switch (row.piece) {
      case Piece::kHeading:
        g.AttachControl(std::make_unique<TextControl>(rect, row.text, toTextStyle(styles::kSectionHeading)));
        break;
      case Piece::kLevelMeter: {
        OutputMeterControl::Options options;
        options.label = row.text;
        options.range = 36;
        options.ticks = {0, -12, -24, -36};
        options.rmsDisplay = true;
        if (row.tag == tags::kInputMeter) {
          options.zoneParam = kAmount;
          options.zone = [](double amount) { return glueZone(amount); };
        } else {
          options.markerParam = kLimiterCeiling;
        }
        auto* meter = static_cast<OutputMeterControl*>(g.AttachControl(
            std::make_unique<OutputMeterControl>(rect, toRect(row.inner), accent_, meterScale, meterReadout,
                                                 toTextStyle(styles::kReductionScale), std::move(options), clock_),
            row.tag));
        auto feed = [meter](float peak, float meanSquare) { meter->setLevels(peak, meanSquare); };
        (row.tag == tags::kInputMeter ? meters_.input : meters_.output) = feed;
        break;
      }
      case Piece::kKnobGroup:
        attachKnobGroup(g, *kKnobGroups[row.param]);
        break;
      case Piece::kDivider:
        g.AttachControl(std::make_unique<PanelControl>(rect, Pattern(toColor(colours::kDivider))));
        break;
      case Piece::kCentreTick:
        g.AttachControl(std::make_unique<PanelControl>(rect, Pattern(toColor(colours::kCentreTick))));
        break;
      case Piece::kScaleLabels:
        for (const ScaleLabel& label : kGlueScaleLabels)
          g.AttachControl(std::make_unique<TextControl>(toRect(label.rect), tickLabel(-label.reductionDb),
                                                        toTextStyle(styles::kReductionScale)));
        break;
      case Piece::kBands:
        for (int band = 0; band < 3; ++band) {
          const BandColumn column = bandColumn(band);
          ReductionMeterControl::Options options{kBandNames[band], 1.0f, 3.0f, accent_};
          auto* meter = static_cast<ReductionMeterControl*>(g.AttachControl(
              std::make_unique<ReductionMeterControl>(toRect(column.meter()), toRect(column.meterBar()), meterScale,
                                                      meterReadout, std::move(options), clock_),
              tags::kGlueMeterLow + band));
          meters_.glue[static_cast<size_t>(band)] = [meter](float db) { meter->feed(db); };
          // The band knobs' arcs grow either way from the top.
          g.AttachControl(std::make_unique<RingKnobControl>(toRect(column.knob()), kEqLow + band, bandStyle, 0.f,
                                                            toColor(colours::kKnobRing)));
          g.AttachControl(std::make_unique<EqValueControl>(toRect(column.value()), kEqLow + band,
                                                           toTextStyle(styles::kBandValue),
                                                           toTextStyle(styles::kBandValueEditing)));
        }
        break;
      case Piece::kPill: {
        const int forcedBy = row.param == kLimiterLookahead ? kLimiterTruePeak : -1;
        g.AttachControl(std::make_unique<PillToggleControl>(rect, row.param, row.text, row.onText,
                                                            toTextStyle(styles::kPill), 1.0f, accent_, false, forcedBy),
                        row.tag);
        break;
      }
      case Piece::kWidthReadout: {
        WidthReadoutControl::Style style{toTextStyle(styles::kMeterScale).WithAlign(plugkit::gfx::Align::kNear),
                                         toTextStyle(styles::kMeterReadout).WithAlign(plugkit::gfx::Align::kFar),
                                         toTextStyle(styles::kCaption), toTextStyle(styles::kReadoutNote), accent_};
        g.AttachControl(std::make_unique<WidthReadoutControl>(
                            rect, kWidthActive, kAmount, std::move(style),
                            [](int band, double amount) { return sideLiftDb(band, amount); },
                            [this] { return plugin_.meterReadings().channels.load(); }),
                        row.tag);
        break;
      }
      case Piece::kLinkLock:
        g.AttachControl(std::make_unique<LinkLockControl>(rect, row.param, accent_, Color(107, 250, 250, 250),
                                                          Color(190, 250, 250, 250)));
        plugin_.refreshLinkMemory();
        break;
      case Piece::kHeldNote:
        g.AttachControl(std::make_unique<ShownBySwitch<TextControl>>(row.param, true, rect, row.text,
                                                                     toTextStyle(styles::kHeldNote)),
                        row.tag);
        break;
      case Piece::kReductionMeter: {
        ReductionMeterControl::Options options{row.text, 0.0f, 0.0f, Color(255, 0, 0, 0)};
        auto* meter = static_cast<ReductionMeterControl*>(g.AttachControl(
            std::make_unique<ReductionMeterControl>(rect, toRect(row.inner), meterScale, meterReadout,
                                                    std::move(options), clock_),
            row.tag));
        meters_.limiter = [meter](float db) { meter->feed(db); };
        break;
      }
      case Piece::kShade:
        g.AttachControl(std::make_unique<ShownBySwitch<PanelControl>>(row.param, shadeShown(row.param, true), rect,
                                                                      Pattern(toColor(colours::kShade))),
                        tags::kNone, row.text);
        break;
    }
  }
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
  status->SetText(status->GetText().WithColor(toColor(highlighted ? colours::kStatusLatency : colours::kStatusPlain)));
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
