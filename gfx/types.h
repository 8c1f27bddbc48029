// Plain geometry, colour, text, blend, mouse and menu records shared by controls and back ends.
#pragma once

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace plugkit::gfx {

/// A rectangle in editor units (unscaled points); empty when all four edges are 0.
struct Rect {
  float L = 0.f, T = 0.f, R = 0.f, B = 0.f;

  constexpr Rect() = default;
  constexpr Rect(float l, float t, float r, float b) : L(l), T(t), R(r), B(b) {}

  constexpr bool Empty() const { return L == 0.f && T == 0.f && R == 0.f && B == 0.f; }
  constexpr float W() const { return R - L; }
  constexpr float H() const { return B - T; }
  constexpr float MW() const { return 0.5f * (L + R); }
  constexpr float MH() const { return 0.5f * (T + B); }
  /// Inside when L <= x < R and T <= y < B.
  constexpr bool Contains(float x, float y) const { return x >= L && x < R && y >= T && y < B; }
  constexpr bool Contains(const Rect& r) const { return r.L >= L && r.R <= R && r.T >= T && r.B <= B; }
  constexpr bool Intersects(const Rect& r) const { return L < r.R && r.L < R && T < r.B && r.T < B; }
  /// Intersection; an empty rectangle when they do not overlap.
  constexpr Rect Intersect(const Rect& r) const {
    if (!Intersects(r)) return Rect();
    return {std::max(L, r.L), std::max(T, r.T), std::min(R, r.R), std::min(B, r.B)};
  }
  /// Smallest rectangle holding both; an empty operand is ignored.
  constexpr Rect Union(const Rect& r) const {
    if (Empty()) return r;
    if (r.Empty()) return *this;
    return {std::min(L, r.L), std::min(T, r.T), std::max(R, r.R), std::max(B, r.B)};
  }
  constexpr Rect GetPadded(float pad) const { return {L - pad, T - pad, R + pad, B + pad}; }
  constexpr Rect GetTranslated(float dx, float dy) const { return {L + dx, T + dy, R + dx, B + dy}; }
  /// Scaled about its centre by fraction.
  constexpr Rect GetScaledAboutCentre(float fraction) const {
    const float hw = 0.5f * W() * fraction, hh = 0.5f * H() * fraction;
    return {MW() - hw, MH() - hh, MW() + hw, MH() + hh};
  }
  constexpr Rect GetCentredInside(float w, float h) const {
    return {MW() - 0.5f * w, MH() - 0.5f * h, MW() + 0.5f * w, MH() + 0.5f * h};
  }
  /// Grows outward to whole device pixels at scale (pixels per unit).
  Rect PixelSnappedOut(float scale) const {
    return {std::floor(L * scale) / scale, std::floor(T * scale) / scale, std::ceil(R * scale) / scale,
            std::ceil(B * scale) / scale};
  }
  constexpr bool operator==(const Rect&) const = default;
};

/// Disjoint-ish list of regions to redraw; overlapping and adjoining rectangles are merged.
class RectList {
 public:
  void Add(const Rect& r) { rects_.push_back(r); }
  bool Empty() const { return rects_.empty(); }
  int Size() const { return static_cast<int>(rects_.size()); }
  const Rect& Get(int i) const { return rects_[static_cast<size_t>(i)]; }
  void Clear() { rects_.clear(); }
  /// Snaps every rectangle outward to device pixels at scale (pixels per unit).
  void PixelAlign(float scale) {
    for (Rect& r : rects_) r = r.PixelSnappedOut(scale);
  }
  /// Merges rectangles that overlap or touch until none do.
  void Optimize();
  auto begin() const { return rects_.begin(); }
  auto end() const { return rects_.end(); }

 private:
  std::vector<Rect> rects_;
};

/// Alpha, red, green, blue, each 0..255.
struct Color {
  int A = 255, R = 0, G = 0, B = 0;
  constexpr Color() = default;
  constexpr Color(int a, int r, int g, int b) : A(a), R(r), G(g), B(b) {}
  /// Each of R, G and B lowered by amount, clamped at 0.
  constexpr Color Darkened(int amount) const {
    return {A, std::max(0, R - amount), std::max(0, G - amount), std::max(0, B - amount)};
  }
  constexpr bool operator==(const Color&) const = default;
};

inline constexpr Color kColorTransparent{0, 0, 0, 0};
inline constexpr Color kColorTranslucent{10, 0, 0, 0};
inline constexpr Color kColorBlack{255, 0, 0, 0};
inline constexpr Color kColorBlackDropShadow{128, 0, 0, 0};
inline constexpr Color kColorGray{255, 127, 127, 127};
inline constexpr Color kColorLightGray{255, 240, 240, 240};
inline constexpr Color kColorMidGray{255, 200, 200, 200};
inline constexpr Color kColorDarkGray{255, 70, 70, 70};
inline constexpr Color kColorWhite{255, 255, 255, 255};
inline constexpr Color kColorRed{255, 255, 0, 0};
inline constexpr Color kColorGreen{255, 0, 255, 0};
inline constexpr Color kColorBlue{255, 0, 0, 255};
inline constexpr Color kColorYellow{255, 255, 255, 0};
inline constexpr Color kColorOrange{255, 255, 127, 0};
inline constexpr Color kColorIndigo{255, 75, 0, 130};
inline constexpr Color kColorViolet{255, 148, 0, 211};
inline constexpr Color kColorDefaultShadow{60, 0, 0, 0};

enum class Align { kNear = 0, kCenter, kFar };
enum class VAlign { kTop = 0, kMiddle, kBottom };

/// A font's name held inline (at most 63 bytes), so that text styles can be constants.
class FontName {
 public:
  static constexpr size_t kMaxLength = 63;
  constexpr FontName(const char* name = "Roboto-Regular") {  // NOLINT: names are written as text
    size_t i = 0;
    for (; name && name[i] && i < kMaxLength; ++i) chars_[i] = name[i];
    chars_[i] = '\0';
  }
  FontName(const std::string& name) : FontName(name.c_str()) {}  // NOLINT
  constexpr const char* c_str() const { return chars_; }
  constexpr bool operator==(const FontName& o) const {
    for (size_t i = 0; i <= kMaxLength; ++i) {
      if (chars_[i] != o.chars_[i]) return false;
      if (!chars_[i]) return true;
    }
    return true;
  }

 private:
  char chars_[kMaxLength + 1] = {};
};

/// Font, size, colours, angle and alignment of a text.
struct TextStyle {
  FontName font;
  float size = 14.f;
  Color fg = kColorBlack;
  Color textEntryBg = kColorWhite;
  Color textEntryFg = kColorBlack;
  float angleDeg = 0.f;
  Align align = Align::kCenter;
  VAlign valign = VAlign::kMiddle;

  constexpr TextStyle() = default;
  constexpr TextStyle(float size_, Color fg_, FontName font_ = {}, Align align_ = Align::kCenter,
                      VAlign valign_ = VAlign::kMiddle, float angle = 0.f)
      : font(font_), size(size_), fg(fg_), angleDeg(angle), align(align_), valign(valign_) {}
  constexpr TextStyle WithSize(float s) const { TextStyle t = *this; t.size = s; return t; }
  constexpr TextStyle WithColor(Color c) const { TextStyle t = *this; t.fg = c; return t; }
  constexpr TextStyle WithAlign(Align a) const { TextStyle t = *this; t.align = a; return t; }
  constexpr TextStyle WithVAlign(VAlign v) const { TextStyle t = *this; t.valign = v; return t; }
  constexpr TextStyle WithFont(FontName f) const { TextStyle t = *this; t.font = f; return t; }
  /// The colours of the text field that edits this text.
  constexpr TextStyle WithEntryColors(Color background, Color foreground) const {
    TextStyle t = *this;
    t.textEntryBg = background;
    t.textEntryFg = foreground;
    return t;
  }
};

inline constexpr TextStyle kDefaultText{};
inline constexpr TextStyle kDefaultLabelText = TextStyle().WithSize(19.f).WithVAlign(VAlign::kTop);
inline constexpr TextStyle kDefaultValueText = TextStyle().WithVAlign(VAlign::kBottom);

/// Compositing methods, numbered as the back end's composite operations.
enum class BlendMethod : int {
  kSrcOver = 0, kSrcIn, kSrcOut, kSrcAtop, kDstOver, kDstIn, kDstOut, kDstAtop, kAdd, kXOR
};

struct Blend {
  BlendMethod method = BlendMethod::kSrcOver;
  float weight = 1.f;
};

inline constexpr Blend kBlendNone{BlendMethod::kSrcOver, 1.f};
inline constexpr Blend kBlend75{BlendMethod::kSrcOver, 0.75f};
inline constexpr Blend kBlend50{BlendMethod::kSrcOver, 0.5f};
inline constexpr Blend kBlend25{BlendMethod::kSrcOver, 0.25f};
inline constexpr Blend kBlend10{BlendMethod::kSrcOver, 0.1f};
inline constexpr Blend kBlend05{BlendMethod::kSrcOver, 0.05f};
inline constexpr Blend kBlend01{BlendMethod::kSrcOver, 0.01f};
inline constexpr Blend kBlendMask{BlendMethod::kDstIn, 1.f};
inline constexpr Blend kBlendUnder{BlendMethod::kDstOver, 1.f};

/// Weight of a possibly absent blend (1 without one).
inline float BlendWeight(const Blend* blend) { return blend ? blend->weight : 1.f; }

/// A colour as four floats 0..1 after the blend weight scaled its alpha.
struct FloatColor {
  float r, g, b, a;
};
/// Red, green and blue divided by 255; alpha = A x weight / 255.
inline FloatColor ToFloatColor(const Color& c, const Blend* blend = nullptr) {
  return {c.R / 255.f, c.G / 255.f, c.B / 255.f, c.A * BlendWeight(blend) / 255.f};
}

/// A fill: a solid colour (all this editor uses) or a linear or radial gradient.
struct Pattern {
  enum class Type { kSolid, kLinear, kRadial };
  struct Stop {
    Color color;
    float offset;
  };
  Type type = Type::kSolid;
  std::vector<Stop> stops;
  // Gradient geometry: linear from (x1, y1) to (x2, y2); radial centre (x1, y1), radius x2.
  float x1 = 0.f, y1 = 0.f, x2 = 0.f, y2 = 0.f;

  Pattern() : stops{{kColorBlack, 0.f}} {}
  Pattern(const Color& c) : stops{{c, 0.f}} {}  // NOLINT: a colour is a solid pattern
  static Pattern Linear(float x1, float y1, float x2, float y2, Color a, Color b) {
    Pattern p;
    p.type = Type::kLinear;
    p.stops = {{a, 0.f}, {b, 1.f}};
    p.x1 = x1, p.y1 = y1, p.x2 = x2, p.y2 = y2;
    return p;
  }
  const Color& FirstColor() const { return stops.front().color; }
};

enum class FillRule { kWinding, kEvenOdd };
enum class LineCap { kButt = 0, kRound, kSquare };
enum class LineJoin { kMiter = 0, kRound, kBevel };
enum class Winding { kCW, kCCW };

struct FillOptions {
  FillRule rule = FillRule::kWinding;
  bool preserve = false;
};
struct StrokeOptions {
  LineCap cap = LineCap::kButt;
  LineJoin join = LineJoin::kMiter;
  float miterLimit = 10.f;
  bool preserve = false;
};

/// Buttons and modifier keys held during a mouse event.
struct MouseMod {
  bool L = false, R = false, S = false, C = false, A = false;
};

enum class Direction { kVertical, kHorizontal };

enum class Cursor {
  kArrow, kIBeam, kWait, kCross, kUpArrow, kSizeNWSE, kSizeNESW, kSizeWE, kSizeNS, kSizeAll, kNo, kHand
};

/// Keys the framework and the in-window pop-ups understand; printable characters arrive as text.
enum class Key { kNone = 0, kBackspace, kTab, kEnter, kEscape, kSpace, kLeft, kUp, kRight, kDown,
                 kHome, kEnd, kDelete, kPageUp, kPageDown, kChar };
struct KeyPress {
  Key key = Key::kNone;
  char32_t codepoint = 0;  // for kChar
  bool S = false, C = false, A = false;
};

/// A menu: title or prefix, items with flags and sub-menus, and the chosen item (-1 for none).
class PopupMenu {
 public:
  class Item {
   public:
    enum Flags { kNoFlags = 0, kDisabled = 1, kTitle = 2, kChecked = 4, kSeparator = 8 };
    explicit Item(std::string text, int flags = kNoFlags, int tag = -1) : text_(std::move(text)), flags_(flags), tag_(tag) {}
    const std::string& Text() const { return text_; }
    bool Enabled() const { return (flags_ & kDisabled) == 0; }
    bool Checked() const { return (flags_ & kChecked) != 0; }
    bool IsTitle() const { return (flags_ & kTitle) != 0; }
    bool IsSeparator() const { return (flags_ & kSeparator) != 0; }
    /// Chooseable: enabled, not a title, not a separator and without a sub-menu.
    bool Chooseable() const { return Enabled() && !IsTitle() && !IsSeparator() && !submenu_; }
    void SetChecked(bool c) { flags_ = c ? (flags_ | kChecked) : (flags_ & ~kChecked); }
    void SetEnabled(bool e) { flags_ = e ? (flags_ & ~kDisabled) : (flags_ | kDisabled); }
    int Tag() const { return tag_; }
    PopupMenu* Submenu() const { return submenu_.get(); }
    void SetSubmenu(std::unique_ptr<PopupMenu> m) { submenu_ = std::move(m); }

   private:
    std::string text_;
    int flags_;
    int tag_;
    std::unique_ptr<PopupMenu> submenu_;
  };

  PopupMenu(std::string title = "", bool prefix = false, bool flag = false,
            const std::vector<std::string>& items = {})
      : title_(std::move(title)), prefix_(prefix), flag_(flag) {
    for (const auto& t : items) AddItem(t);
  }

  /// Appends (or inserts at index) an item; returns it.
  Item& AddItem(const std::string& text, int index = -1, int flags = Item::kNoFlags);
  Item& AddItem(const std::string& text, std::unique_ptr<PopupMenu> submenu);
  Item& AddSeparator() { return AddItem("", -1, Item::kSeparator); }
  void Clear() { items_.clear(); chosen_ = -1; }
  int NItems() const { return static_cast<int>(items_.size()); }
  Item* GetItem(int i) { return (i >= 0 && i < NItems()) ? items_[static_cast<size_t>(i)].get() : nullptr; }
  const Item* GetItem(int i) const { return (i >= 0 && i < NItems()) ? items_[static_cast<size_t>(i)].get() : nullptr; }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& t) { title_ = t; }
  bool Prefix() const { return prefix_; }
  bool Flag() const { return flag_; }
  int ChosenItemIdx() const { return chosen_; }
  void SetChosenItemIdx(int i) { chosen_ = i; }
  const Item* ChosenItem() const { return GetItem(chosen_); }
  void CheckItemAlone(int i) {
    for (int k = 0; k < NItems(); ++k) GetItem(k)->SetChecked(k == i);
  }

 private:
  std::string title_;
  bool prefix_;
  bool flag_;
  std::vector<std::unique_ptr<Item>> items_;
  int chosen_ = -1;
};

}  // namespace plugkit::gfx
