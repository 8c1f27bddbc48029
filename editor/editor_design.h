// The editor's design data: design space, colours, text styles, tags, groups and accents.
#pragma once

#include <cstdint>

#include "gfx/types.h"

namespace plumbrook::editor {

using plugkit::gfx::Align;
using plugkit::gfx::Color;
using plugkit::gfx::Rect;
using plugkit::gfx::TextStyle;

inline constexpr float kDesignWidth = 880.0f;
inline constexpr float kDesignHeight = 382.0f;
/// The preset bar's height; the knob groups' heights are measured from its bottom.
inline constexpr float kPresetBarHeight = 32.0f;

inline constexpr const char* kRegularFont = "Roboto-Regular";
inline constexpr const char* kBoldFont = "RobotoCondensed-Bold";
inline constexpr const char* kRegularFontFile = "Roboto-Regular.ttf";
inline constexpr const char* kBoldFontFile = "RobotoCondensed-Bold.ttf";
inline constexpr const char* kLogoFile = "plumbrook-lockup.svg";

namespace colours {
inline constexpr Color kText{255, 250, 250, 250};
inline constexpr Color kWindowBackground{255, 10, 10, 10};
inline constexpr Color kSectionsPanel{255, 20, 20, 20};
inline constexpr Color kDivider{18, 250, 250, 250};
inline constexpr Color kKnobRing{36, 250, 250, 250};
inline constexpr Color kCentreTick{128, 250, 250, 250};
inline constexpr Color kShade{173, 20, 20, 20};
inline constexpr Color kStatusLatency{255, 255, 157, 46};
inline constexpr Color kStatusPlain{97, 250, 250, 250};
inline constexpr Color kKnobForeground{255, 19, 19, 19};
inline constexpr Color kKnobPressed{255, 34, 34, 34};
inline constexpr Color kKnobFrame{255, 250, 250, 250};
inline constexpr Color kTransparent{0, 0, 0, 0};
inline constexpr Color kCornerScale{36, 250, 250, 250};
inline constexpr Color kCornerScaleHover{90, 250, 250, 250};
inline constexpr Color kLinkUnlocked{107, 250, 250, 250};
inline constexpr Color kLinkUnlockedHover{190, 250, 250, 250};
inline constexpr Color kUpdatePill{255, 252, 120, 92};
inline constexpr Color kUpdatePillHover{255, 253, 146, 124};
inline constexpr Color kUpdatePillText{255, 10, 10, 10};
inline constexpr Color kPresetBarBackground{255, 17, 17, 17};
inline constexpr Color kPresetBox{255, 20, 20, 20};
inline constexpr Color kPresetBoxFrame{77, 250, 250, 250};
inline constexpr Color kPresetText{255, 250, 250, 250};
inline constexpr Color kPresetTextDim{107, 250, 250, 250};
inline constexpr Color kPresetHover{20, 250, 250, 250};
inline constexpr Color kPresetWarning{255, 255, 157, 46};
inline constexpr Color kPresetBarRule{26, 250, 250, 250};
inline constexpr Color kPillFill{255, 20, 20, 20};
inline constexpr Color kPillBorder{56, 250, 250, 250};
inline constexpr Color kPillBorderHighlighted{107, 250, 250, 250};
inline constexpr Color kPillDotOff{56, 250, 250, 250};
inline constexpr Color kMeterTrack{18, 250, 250, 250};
inline constexpr Color kMeterHold{255, 250, 250, 250};
inline constexpr Color kMeterCeilingMarker{255, 255, 157, 46};
inline constexpr Color kReductionBar{209, 250, 250, 250};
inline constexpr Color kWidthTrack{18, 250, 250, 250};
/// The field in which a text is typed: dark, with the text near white.
inline constexpr Color kEntryBackground{255, 30, 30, 30};
inline constexpr Color kEntryText{255, 250, 250, 250};
}  // namespace colours

/// A text style, vertically centred, with the editor's text-entry colours.
constexpr TextStyle look(const char* font, float size, Color colour, Align align) {
  return TextStyle(size, colour, font, align).WithEntryColors(colours::kEntryBackground, colours::kEntryText);
}

namespace styles {
inline constexpr TextStyle kTitle = look(kBoldFont, 25, {255, 250, 250, 250}, Align::kNear);
inline constexpr TextStyle kHeaderSmall = look(kRegularFont, 11, {255, 250, 250, 250}, Align::kCenter);
inline constexpr TextStyle kLogoFallback = look(kBoldFont, 15, {107, 250, 250, 250}, Align::kNear);
inline constexpr TextStyle kStatus = look(kRegularFont, 12, {97, 250, 250, 250}, Align::kFar);
inline constexpr TextStyle kSectionHeading = look(kBoldFont, 19, {255, 250, 250, 250}, Align::kNear);
inline constexpr TextStyle kPill = look(kRegularFont, 10, {255, 250, 250, 250}, Align::kCenter);
inline constexpr TextStyle kMeterScale = look(kRegularFont, 10.5f, {133, 250, 250, 250}, Align::kCenter);
inline constexpr TextStyle kKnobLabel = look(kRegularFont, 13, {255, 250, 250, 250}, Align::kCenter);
inline constexpr TextStyle kCaption = look(kRegularFont, 11.5f, {133, 250, 250, 250}, Align::kCenter);
inline constexpr TextStyle kMeterReadout = look(kRegularFont, 10.5f, {255, 250, 250, 250}, Align::kCenter);
inline constexpr TextStyle kReductionScale = look(kRegularFont, 9, {97, 250, 250, 250}, Align::kFar);
inline constexpr TextStyle kCaptionEditing = look(kRegularFont, 11.5f, {255, 250, 250, 250}, Align::kCenter);
inline constexpr TextStyle kBandValue = look(kRegularFont, 10, {133, 250, 250, 250}, Align::kCenter);
inline constexpr TextStyle kBandValueEditing = look(kRegularFont, 10, {255, 250, 250, 250}, Align::kCenter);
inline constexpr TextStyle kReadoutNote = look(kRegularFont, 11, {133, 250, 250, 250}, Align::kNear);
inline constexpr TextStyle kHeldNote = look(kRegularFont, 9, {133, 250, 250, 250}, Align::kCenter);
inline constexpr TextStyle kPresetBar = look(kRegularFont, 11, {255, 250, 250, 250}, Align::kCenter);
}  // namespace styles

/// Tags by which the editor and the plug-in find controls.
namespace tags {
inline constexpr int kNone = -1;
inline constexpr int kTitle = 0;
inline constexpr int kStatus = 1;
inline constexpr int kInputMeter = 2;
inline constexpr int kGlueMeterLow = 3;  // 3, 4, 5: low, mid, high
inline constexpr int kLimiterMeter = 6;
inline constexpr int kOutputMeter = 7;
inline constexpr int kLookaheadPill = 8;
inline constexpr int kHeldNote = 9;
inline constexpr int kWidthReadout = 10;
}  // namespace tags

inline constexpr const char* kWidthShade = "width-shade";
inline constexpr const char* kLimiterShade = "limiter-shade";
inline constexpr const char* kBypassShade = "bypass-shade";

/// One accent colour the settings menu offers.
struct Accent {
  const char* name;
  uint8_t r, g, b;
};

/// The accents by index; the last stands for the host's track colour, which falls back to green.
inline constexpr Accent kAccents[6] = {
    {"Green", 21, 232, 121}, {"Red", 233, 21, 90},    {"Orange", 255, 122, 0},
    {"Blue", 0, 184, 255},   {"Purple", 134, 0, 255}, {"DAW color", 21, 232, 121},
};

/// The accent of an index (out of range reads the first row) at an alpha. Pure.
constexpr Color accentColour(int index, uint8_t alpha) {
  const Accent& row = kAccents[index >= 0 && index < 6 ? index : 0];
  return {alpha, row.r, row.g, row.b};
}

}  // namespace plumbrook::editor
