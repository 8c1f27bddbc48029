// The editor's layout as data: every control's place in the 880 x 382 design space, in
// attachment (drawing) order. The attach loops in editor_drawing.cpp walk these tables.
#pragma once

#include <variant>

#include "plugin/plumbrook_params.h"
#include "editor/editor_design.h"

namespace plumbrook::editor {

/// A knob with its label and typed caption, from (centre x, centre y, diameter, label y, value
/// y); the heights are measured from the preset bar's bottom.
struct KnobGroup {
  int param;
  float cx, cy, diameter, labelY, valueY;
  const char* label;

  constexpr Rect knob() const {
    return {cx - diameter / 2, cy + kPresetBarHeight - diameter / 2, cx + diameter / 2,
            cy + kPresetBarHeight + diameter / 2};
  }
  constexpr Rect labelRect() const { return {cx - 50, labelY + 24, cx + 50, labelY + 40}; }
  constexpr Rect caption() const { return {cx - 40, valueY + 25, cx + 40, valueY + 39}; }
};

inline constexpr KnobGroup kGainGroup{kGain, 116, 212, 60, 255, 269, "GAIN"};
inline constexpr KnobGroup kAmountGroup{kAmount, 222, 188, 108, 255, 269, "AMOUNT"};
inline constexpr KnobGroup kThresholdGroup{kLimiterThreshold, 611, 146, 60, 190, 207, "THRESHOLD"};
inline constexpr KnobGroup kCeilingGroup{kLimiterCeiling, 709, 146, 60, 190, 207, "CEILING"};

/// The three glue bands' column: meter, EQ knob and band value, at x = 308 + 44 b.
struct BandColumn {
  float x;
  constexpr Rect meter() const { return {x - 10, 142, x + 24, 322}; }
  constexpr Rect meterBar() const { return {x, 158, x + 12, 278}; }
  constexpr Rect knob() const { return {x - 6, 116, x + 18, 140}; }
  constexpr Rect value() const { return {x - 16, 141, x + 28, 153}; }
};
inline constexpr const char* kBandNames[3] = {"LOW", "MID", "HIGH"};
constexpr BandColumn bandColumn(int band) { return {308.0f + 44.0f * static_cast<float>(band)}; }

/// The kinds of row in the sections table, one type each.
namespace rows {
struct Heading {
  Rect rect;
  const char* text;
};
/// A level meter; it tints the glue zone of `zoneParam` or marks `markerParam` (dB) when set.
struct LevelMeter {
  Rect rect, bar;
  const char* label;
  int tag;
  int zoneParam = -1;
  int markerParam = -1;
};
struct Knobs {
  const KnobGroup* group;
};
/// A one-unit panel between sections.
struct Divider {
  Rect rect;
};
/// The mark at the top of the AMOUNT knob.
struct CentreTick {
  Rect rect;
};
/// The glue meters' 0 / -3 / -6 / -12 labels.
struct ScaleLabels {};
/// The three glue band columns.
struct Bands {};
/// A pill switch; while `forcedBy` is on, the pill shows on and takes no clicks.
struct Pill {
  Rect rect;
  int param;
  const char* offText;
  const char* onText;
  int tag = tags::kNone;
  int forcedBy = -1;
};
struct WidthReadout {
  Rect rect;
  int tag;
};
struct LinkLock {
  Rect rect;
  int param;
};
/// A note shown while its switch is on.
struct HeldNote {
  Rect rect;
  int switchParam;
  const char* text;
  int tag;
};
struct ReductionMeter {
  Rect rect, bar;
  const char* label;
  int tag;
};
/// An overlay over a switched-off section, in a group of its own.
struct Shade {
  Rect rect;
  int switchParam;
  const char* group;
};
}  // namespace rows

using SectionRow = std::variant<rows::Heading, rows::LevelMeter, rows::Knobs, rows::Divider, rows::CentreTick,
                                rows::ScaleLabels, rows::Bands, rows::Pill, rows::WidthReadout, rows::LinkLock,
                                rows::HeldNote, rows::ReductionMeter, rows::Shade>;

/// The sections, left to right, in attachment order.
inline constexpr SectionRow kSections[] = {
    rows::Heading{{30, 112, 170, 136}, "IN"},
    rows::LevelMeter{{20, 142, 90, 322}, {54, 150, 68, 278}, "IN", tags::kInputMeter, kAmount},
    rows::Knobs{&kGainGroup},
    rows::Divider{{156, 108, 157, 316}},
    rows::Heading{{172, 112, 312, 136}, "GLUE & EQ"},
    rows::Knobs{&kAmountGroup},
    rows::CentreTick{{221.25f, 160, 222.75f, 165}},
    rows::ScaleLabels{},
    rows::Bands{},
    rows::Divider{{428, 108, 429, 316}},
    rows::Heading{{444, 112, 584, 136}, "WIDTH"},
    rows::Pill{{444, 144, 530, 168}, kWidthActive, "BYPASSED", "ACTIVE"},
    rows::WidthReadout{{444, 172, 548, 308}, tags::kWidthReadout},
    rows::Divider{{548, 108, 549, 316}},
    rows::Heading{{565, 112, 705, 136}, "LIMITER"},
    rows::Pill{{758, 113, 844, 137}, kLimiterActive, "BYPASSED", "ACTIVE"},
    rows::Knobs{&kThresholdGroup},
    rows::Knobs{&kCeilingGroup},
    rows::LinkLock{{644, 164, 676, 192}, kLimiterLink},
    rows::Pill{{565, 284, 657, 308}, kLimiterTruePeak, "TRUE PEAK", "TRUE PEAK"},
    rows::Pill{{663, 284, 755, 308}, kLimiterLookahead, "LOOKAHEAD", "LOOKAHEAD", tags::kLookaheadPill,
               kLimiterTruePeak},
    rows::HeldNote{{663, 268, 755, 280}, kLimiterTruePeak, "held by TRUE PEAK", tags::kHeldNote},
    rows::ReductionMeter{{772, 142, 806, 322}, {782, 150, 794, 278}, "GR", tags::kLimiterMeter},
    rows::LevelMeter{{796, 142, 862, 322}, {828, 150, 842, 278}, "OUT", tags::kOutputMeter, -1, kLimiterCeiling},
    rows::Shade{{429, 172, 548, 328}, kWidthActive, kWidthShade},
    rows::Shade{{549, 142, 800, 328}, kLimiterActive, kLimiterShade},
    rows::Shade{{14, 96, 866, 328}, kBypass, kBypassShade},
};

/// The glue meters' scale labels: dB of reduction and their rectangles.
struct ScaleLabel {
  int reductionDb;
  Rect rect;
};
inline constexpr ScaleLabel kGlueScaleLabels[4] = {
    {0, {272, 152, 302, 164}}, {3, {272, 182, 302, 194}}, {6, {272, 212, 302, 224}}, {12, {272, 272, 302, 284}}};

/// A shade is shown while its switch is on (Bypass) or off (Width, Limiter).
constexpr bool shadeShown(int switchParam, bool switchOn) { return switchParam == kBypass ? switchOn : !switchOn; }

// Around the sections.
inline constexpr Rect kSectionsPanel{14, 96, 866, 328};
inline constexpr Rect kTitleRect{28, 48, 716, 82};
inline constexpr Rect kBypassPill{746, 47, 852, 77};
inline constexpr Rect kUpdatePill{576, 47, 736, 77};
inline constexpr Rect kPresetBar{0, 0, 880, 32};
inline constexpr Rect kLogoFallback{28, 346, 300, 364};
inline constexpr Rect kStatusLine{300, 347, 852, 363};
inline constexpr Rect kCornerScale{866, 368, 878, 380};
/// The logo is 22 units high at its own aspect.
constexpr Rect logoRect(float artWidth, float artHeight) {
  return {28, 344, 28 + 22 * artWidth / artHeight, 366};
}
/// The title gives way to the update pill (an empty pill gives it its full width).
constexpr Rect titleRectBeside(const Rect& pill) {
  return pill == Rect{} ? kTitleRect : Rect{28, 48, pill.L - 10, 82};
}

}  // namespace plumbrook::editor
