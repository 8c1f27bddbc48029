// The editor's design data: design space, colours, text styles, tags, groups and accents.
#pragma once

#include <cstdint>

namespace plumbrook::editor {

/// A rectangle in design units (left, top, right, bottom).
struct DesignRect {
  float l = 0, t = 0, r = 0, b = 0;
  constexpr float width() const { return r - l; }
  constexpr float height() const { return b - t; }
  constexpr bool operator==(const DesignRect& o) const { return l == o.l && t == o.t && r == o.r && b == o.b; }
};

/// A colour with alpha, each channel 0..255.
struct Argb {
  uint8_t a = 255, r = 0, g = 0, b = 0;
  constexpr bool operator==(const Argb& o) const { return a == o.a && r == o.r && g == o.g && b == o.b; }
};

inline constexpr float kDesignWidth = 880.0f;
inline constexpr float kDesignHeight = 382.0f;
/// The preset bar's height; the knob groups' heights are measured from its bottom.
inline constexpr float kPresetBarHeight = 32.0f;

inline constexpr const char* kRegularFont = "Roboto-Regular";
inline constexpr const char* kBoldFont = "RobotoCondensed-Bold";
inline constexpr const char* kRegularFontFile = "Roboto-Regular.ttf";
inline constexpr const char* kBoldFontFile = "RobotoCondensed-Bold.ttf";
inline constexpr const char* kLogoFile = "plumbrook-lockup.svg";

enum class Align { kNear, kCentre, kFar };

/// A text style: font, size, colour, horizontal alignment (always vertically centred) and, for
/// editable texts, the colours of the text entry.
struct TextLook {
  const char* font;
  float size;
  Argb colour;
  Align align;
  Argb entryBackground{255, 30, 30, 30};
  Argb entryForeground{255, 250, 250, 250};
};

namespace colours {
inline constexpr Argb kText{255, 250, 250, 250};
inline constexpr Argb kWindowBackground{255, 10, 10, 10};
inline constexpr Argb kSectionsPanel{255, 20, 20, 20};
inline constexpr Argb kDivider{18, 250, 250, 250};
inline constexpr Argb kKnobRing{36, 250, 250, 250};
inline constexpr Argb kCentreTick{128, 250, 250, 250};
inline constexpr Argb kShade{173, 20, 20, 20};
inline constexpr Argb kStatusLatency{255, 255, 157, 46};
inline constexpr Argb kStatusPlain{97, 250, 250, 250};
inline constexpr Argb kKnobForeground{255, 19, 19, 19};
inline constexpr Argb kKnobPressed{255, 34, 34, 34};
inline constexpr Argb kKnobFrame{255, 250, 250, 250};
inline constexpr Argb kTransparent{0, 0, 0, 0};
inline constexpr Argb kCornerScale{36, 250, 250, 250};
inline constexpr Argb kCornerScaleHover{90, 250, 250, 250};
inline constexpr Argb kLinkUnlocked{107, 250, 250, 250};
inline constexpr Argb kLinkUnlockedHover{190, 250, 250, 250};
inline constexpr Argb kUpdatePill{255, 252, 120, 92};
inline constexpr Argb kUpdatePillHover{255, 253, 146, 124};
inline constexpr Argb kUpdatePillText{255, 10, 10, 10};
inline constexpr Argb kPresetBarBackground{255, 17, 17, 17};
inline constexpr Argb kPresetBox{255, 20, 20, 20};
inline constexpr Argb kPresetBoxFrame{77, 250, 250, 250};
inline constexpr Argb kPresetText{255, 250, 250, 250};
inline constexpr Argb kPresetTextDim{107, 250, 250, 250};
inline constexpr Argb kPresetHover{20, 250, 250, 250};
inline constexpr Argb kPresetWarning{255, 255, 157, 46};
inline constexpr Argb kPresetBarRule{26, 250, 250, 250};
inline constexpr Argb kPillFill{255, 20, 20, 20};
inline constexpr Argb kPillBorder{56, 250, 250, 250};
inline constexpr Argb kPillBorderHighlighted{107, 250, 250, 250};
inline constexpr Argb kPillDotOff{56, 250, 250, 250};
inline constexpr Argb kMeterTrack{18, 250, 250, 250};
inline constexpr Argb kMeterHold{255, 250, 250, 250};
inline constexpr Argb kMeterCeilingMarker{255, 255, 157, 46};
inline constexpr Argb kReductionBar{209, 250, 250, 250};
inline constexpr Argb kWidthTrack{18, 250, 250, 250};
}  // namespace colours

namespace styles {
inline constexpr TextLook kTitle{kBoldFont, 25, {255, 250, 250, 250}, Align::kNear};
inline constexpr TextLook kHeaderSmall{kRegularFont, 11, {255, 250, 250, 250}, Align::kCentre};
inline constexpr TextLook kLogoFallback{kBoldFont, 15, {107, 250, 250, 250}, Align::kNear};
inline constexpr TextLook kStatus{kRegularFont, 12, {97, 250, 250, 250}, Align::kFar};
inline constexpr TextLook kSectionHeading{kBoldFont, 19, {255, 250, 250, 250}, Align::kNear};
inline constexpr TextLook kPill{kRegularFont, 10, {255, 250, 250, 250}, Align::kCentre};
inline constexpr TextLook kMeterScale{kRegularFont, 10.5f, {133, 250, 250, 250}, Align::kCentre};
inline constexpr TextLook kKnobLabel{kRegularFont, 13, {255, 250, 250, 250}, Align::kCentre};
inline constexpr TextLook kCaption{kRegularFont, 11.5f, {133, 250, 250, 250}, Align::kCentre};
inline constexpr TextLook kMeterReadout{kRegularFont, 10.5f, {255, 250, 250, 250}, Align::kCentre};
inline constexpr TextLook kReductionScale{kRegularFont, 9, {97, 250, 250, 250}, Align::kFar};
inline constexpr TextLook kCaptionEditing{kRegularFont, 11.5f, {255, 250, 250, 250}, Align::kCentre};
inline constexpr TextLook kBandValue{kRegularFont, 10, {133, 250, 250, 250}, Align::kCentre};
inline constexpr TextLook kBandValueEditing{kRegularFont, 10, {255, 250, 250, 250}, Align::kCentre};
inline constexpr TextLook kReadoutNote{kRegularFont, 11, {133, 250, 250, 250}, Align::kNear};
inline constexpr TextLook kHeldNote{kRegularFont, 9, {133, 250, 250, 250}, Align::kCentre};
inline constexpr TextLook kPresetBar{kRegularFont, 11, {255, 250, 250, 250}, Align::kCentre};
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
constexpr Argb accentColour(int index, uint8_t alpha) {
  const Accent& row = kAccents[index >= 0 && index < 6 ? index : 0];
  return {alpha, row.r, row.g, row.b};
}

}  // namespace plumbrook::editor
