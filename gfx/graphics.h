// The graphics context of an open editor: owns the controls, routes events, draws dirty regions.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/editor_delegate.h"
#include "gfx/control.h"
#include "gfx/types.h"

namespace plugkit::gfx {

class Svg;
class Layer;

/// The screen scales an editor accepts from a host or desktop; others are clamped to them.
inline constexpr float kMinScreenScale = 0.5f;
inline constexpr float kMaxScreenScale = 4.f;
using LayerPtr = std::unique_ptr<Layer>;

/// Services of the window the editor lives in. Pop-ups may answer at once or later; main thread only.
class GraphicsPlatform {
 public:
  using MenuDone = std::function<void(PopupMenu* chosenOrNull)>;
  /// The typed text, or nothing when the entry was cancelled.
  using TextDone = std::function<void(const std::optional<std::string>& text)>;

  virtual ~GraphicsPlatform() = default;
  /// Shows menu at bounds; done receives the menu (with its chosen item set) or null when dismissed.
  virtual void ShowPopupMenu(PopupMenu& menu, const Rect& bounds, MenuDone done) = 0;
  /// Opens a text field over bounds; done always runs once: with the text on commit, empty on cancel.
  virtual void ShowTextEntry(const TextStyle& style, const Rect& bounds, const std::string& initial,
                             int maxLength, TextDone done) = 0;
  /// Shows a modal box; completion gets the result. Returns the result when known at once, else kNone.
  virtual MessageBoxResult ShowMessageBox(const std::string& message, const std::string& caption,
                                          MessageBoxType type, MessageBoxCompletion completion) = 0;
  /// Opens an http or https address in the browser; returns false (and does nothing) for any other.
  virtual bool OpenURL(const std::string& url) = 0;
  virtual void SetMouseCursor(Cursor cursor) = 0;
  virtual void HideMouseCursor(bool hide, bool lock) = 0;
  /// Asks for a window size in device pixels.
  virtual void ResizeWindow(int widthPx, int heightPx) = 0;
  virtual float BackingScale() const = 0;
};

/// What a Graphics needs from the plug-in beyond the host calls of the editor delegate.
class GraphicsLayoutDelegate {
 public:
  virtual ~GraphicsLayoutDelegate() = default;
  /// Builds (or rebuilds) the controls.
  virtual void LayoutUI(Graphics& g) = 0;
};

/// An off-screen picture kept by its owner; invalid after a resize or rescale.
class Layer {
 public:
  Layer(int handle, const Rect& bounds, float scale, int generation, std::function<void(int)> release)
      : handle_(handle), bounds_(bounds), scale_(scale), generation_(generation), release_(std::move(release)) {}
  ~Layer() { if (release_) release_(handle_); }
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;
  int Handle() const { return handle_; }
  const Rect& Bounds() const { return bounds_; }
  float Scale() const { return scale_; }
  int Generation() const { return generation_; }

 private:
  int handle_;
  Rect bounds_;
  float scale_;
  int generation_;
  std::function<void(int)> release_;
};

/// How a blend reaches a back end: a numbered composite operation or the custom factor pair.
struct CompositeOp {
  enum class Kind { kOperation, kBlendFunc };
  Kind kind = Kind::kOperation;
  int operation = 0;            // 0..7 as BlendMethod, 9 for xor -> back-end numbering
  int srcFactor = 0, dstFactor = 0;
};
/// Source-over without a blend; methods 0..7 and xor as operations; add as (src-alpha, dst-alpha).
CompositeOp CompositeFor(const Blend* blend);

/// Where an aligned single line of text is anchored in bounds.
struct TextAnchor {
  float x, y;
  Align align;
  VAlign valign;
};
TextAnchor AnchorFor(const TextStyle& text, const Rect& bounds);

/// One cubic segment of an arc, in editor units.
struct ArcSegment {
  float x1, y1, cx1, cy1, cx2, cy2, x2, y2;
};
/// An arc (degrees, 0 at the top, clockwise) as up to five equal cubic segments; sweep limited to a turn.
std::vector<ArcSegment> ArcToBeziers(float cx, float cy, float r, float a1Deg, float a2Deg, Winding dir);

/// The graphics context; implements the surface the plug-in sees. Main thread only.
class Graphics : public EditorSurface {
 public:
  Graphics(EditorDelegate& delegate, int width, int height, float scale = 1.f);
  ~Graphics() override;
  Graphics(const Graphics&) = delete;
  Graphics& operator=(const Graphics&) = delete;

  void SetPlatform(GraphicsPlatform* platform) { platform_ = platform; }
  GraphicsPlatform* GetPlatform() const { return platform_; }
  void SetLayoutDelegate(GraphicsLayoutDelegate* layout) { layout_ = layout; }
  EditorDelegate& GetDelegate() const { return delegate_; }

  // EditorSurface.
  void SetParamValueFromDelegate(int paramIdx, double normalised) override;
  MessageBoxResult ShowMessageBox(const std::string& message, const std::string& caption, MessageBoxType type,
                                  MessageBoxCompletion completion) override;
  void MarkAllControlsDirty() override;
  float GetBackingScale() const override { return screenScale_; }
  float GetDrawScale() const override { return drawScale_; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }

  // Controls.
  /// Attaches and takes ownership; null (control destroyed) when the tag is taken.
  Control* AttachControl(std::unique_ptr<Control> control, int tag = -1, const std::string& group = "");
  template <typename T, typename... Args>
  T* Attach(int tag, Args&&... args) {
    return static_cast<T*>(AttachControl(std::make_unique<T>(std::forward<Args>(args)...), tag));
  }
  /// Installs a panel covering the editor as entry 0.
  void AttachBackground(const Pattern& pattern);
  int NControls() const { return static_cast<int>(controls_.size()); }
  Control* GetControl(int i) const;
  Control* GetBackgroundControl() const { return GetControl(0); }
  int GetControlIdx(const Control* c) const;
  Control* ControlWithTag(int tag) const;
  Control* ControlWithParam(int paramIdx) const;
  void ForEachControlWithParam(int paramIdx, const std::function<void(Control*)>& f);
  void ForEachControlInGroup(const std::string& group, const std::function<void(Control*)>& f);
  void ForEachControl(const std::function<void(Control*)>& f);
  void RemoveAllControls();
  /// Inserts after an existing control (containers keep children right after themselves).
  Control* InsertControlAfter(const Control* after, std::unique_ptr<Control> control, int tag, const std::string& group);

  // Size and scale.
  /// Changes the design size and draw scale (clamped to the constraints). With a platform and
  /// needsPlatformResize, the scale is only asked of the window: it changes when the window
  /// reports its new size through OnWindowResized.
  void Resize(int width, int height, float scale, bool needsPlatformResize = true);
  /// The window now is this size: the editor takes the largest scale that fits, within the limits.
  void OnWindowResized(int widthPx, int heightPx);
  /// The largest draw scale (within the limits) whose picture fits widthPx x heightPx.
  float FitDrawScale(int widthPx, int heightPx) const;
  /// The picture's size in pixels at a draw scale (clamped to the limits).
  std::pair<int, int> PixelSize(float drawScale) const;
  void SetScaleConstraints(float lo, float hi) { minScale_ = lo, maxScale_ = hi; }
  float MinScale() const { return minScale_; }
  float MaxScale() const { return maxScale_; }
  void SetScreenScale(float s);
  float GetTotalScale() const { return drawScale_ * screenScale_; }
  Rect GetBounds() const { return Rect(0.f, 0.f, static_cast<float>(width_), static_cast<float>(height_)); }
  int FrameRate() const { return fps_; }
  void EnableMouseOver(bool v) { mouseOverEnabled_ = v; }

  // Events from the platform (editor units).
  /// One pointer at a time: a press while another control holds the capture is ignored.
  void OnMouseDown(float x, float y, const MouseMod& mod);
  void OnMouseUp(float x, float y, const MouseMod& mod);
  void OnMouseDrag(float x, float y, float dx, float dy, const MouseMod& mod);
  void OnMouseDblClick(float x, float y, const MouseMod& mod);
  void OnMouseWheel(float x, float y, const MouseMod& mod, float delta);
  void OnMouseOver(float x, float y, const MouseMod& mod);
  void OnMouseOut();
  bool OnKeyDown(float x, float y, const KeyPress& key);
  /// The control the point hits (see the hit rules); capture enters it for the touch.
  Control* ControlUnderMouse(float x, float y, bool capture, bool mouseOver = false);
  void ReleaseMouseCapture();
  Control* GetCapturedControl() const { return captured_; }
  bool HoldsCapture(const Control* c) const { return c && c == captured_; }
  Control* GetMouseOver() const { return mouseOver_; }
  int GetMouseOverIdx() const { return mouseOverIdx_; }

  // Pop-ups.
  void OpenPopupMenu(Control& control, PopupMenu& menu, const Rect& bounds, int valIdx = -1);
  void OpenTextEntry(Control& control, const TextStyle& text, const Rect& bounds, const std::string& initial,
                     int valIdx = -1);
  void PromptForValue(Control& control, const Rect& bounds, int valIdx);
  bool OpenURL(const std::string& url) { return platform_ && platform_->OpenURL(url); }
  void SetMouseCursor(Cursor c) { if (platform_) platform_->SetMouseCursor(c); }
  void HideMouseCursor(bool hide, bool lock) { if (platform_) platform_->HideMouseCursor(hide, lock); }
  PopupMenu& GetContextMenu() { return contextMenu_; }
  Control* GetInTextEntry() const { return inTextEntry_; }
  Control* GetInPopupMenu() const { return inPopupMenu_; }

  // Frame cycle.
  /// Adds an area whose pixels changed (with the anti-aliased fringe around it) to the next frame.
  void AddDamage(const Rect& r);
  /// Whether the next frame has anything to draw (damage or a dirty visible control). Draws and
  /// changes nothing, so a frame timer may ask it every tick.
  bool HasDamage() const;
  /// Gathers the next frame's damage: the areas given to AddDamage and
  /// those of dirty visible controls, each with its fringe; true when any.
  bool IsDirty(RectList& rects);
  /// What a frame draws over the controls (a pop-up), clipped to each region like them.
  using TopLayer = std::function<void(Graphics&)>;
  /// Draws every control meeting the (snapped, merged) rectangles, then the top layer in each,
  /// then marks all controls clean.
  void Draw(RectList& rects, const TopLayer& top = nullptr);
  /// IsDirty then Draw inside a frame; true when something was drawn.
  bool DrawFrameIfDirty();
  /// The same, giving the rectangles drawn (whole pixels, merged) in `drawn`.
  bool DrawFrameIfDirty(RectList& drawn);
  /// Draws the whole editor inside a frame.
  void DrawAll();

  // Drawing operations (editor units; the back end applies the scale).
  virtual void BeginFrame();
  /// Within a frame: what follows draws only inside `region` (whole pixels), until the next region.
  virtual void BeginRegion(const Rect&) {}
  virtual void EndFrame() {}
  /// Draws a picture scaled into bounds with its own fills and strokes.
  virtual void DrawSVG(const Svg& svg, const Rect& bounds, const Blend* blend = nullptr);
  virtual void DrawRotatedSVG(const Svg& svg, float cx, float cy, float w, float h, float angleDeg,
                              const Blend* blend = nullptr);
  /// A picture from the resource folder through the process-wide cache; invalid when missing.
  Svg LoadSVG(const std::string& fileName, const std::string& units = "px", float dpi = 72.f);
  /// Folder the fonts and pictures are loaded from.
  void SetResourceDir(const std::string& dir) { resourceDir_ = dir; }
  const std::string& ResourceDir() const { return resourceDir_; }
  void DrawPoint(const Color& c, float x, float y, const Blend* blend = nullptr);
  void DrawLine(const Color& c, float x1, float y1, float x2, float y2, const Blend* blend = nullptr, float thickness = 1.f);
  void DrawDottedLine(const Color& c, float x1, float y1, float x2, float y2, const Blend* blend = nullptr,
                      float thickness = 1.f, float dashLen = 2.f);
  void DrawTriangle(const Color& c, float x1, float y1, float x2, float y2, float x3, float y3,
                    const Blend* blend = nullptr, float thickness = 1.f);
  void DrawRect(const Color& c, const Rect& r, const Blend* blend = nullptr, float thickness = 1.f);
  void DrawRoundRect(const Color& c, const Rect& r, float radius, const Blend* blend = nullptr, float thickness = 1.f);
  void DrawRoundRect(const Color& c, const Rect& r, float tl, float tr, float br, float bl,
                     const Blend* blend = nullptr, float thickness = 1.f);
  void DrawArc(const Color& c, float cx, float cy, float r, float a1, float a2, const Blend* blend = nullptr,
               float thickness = 1.f);
  void DrawCircle(const Color& c, float cx, float cy, float r, const Blend* blend = nullptr, float thickness = 1.f);
  void DrawEllipse(const Color& c, const Rect& r, const Blend* blend = nullptr, float thickness = 1.f);
  void DrawEllipse(const Color& c, float x, float y, float r1, float r2, float angle = 0.f,
                   const Blend* blend = nullptr, float thickness = 1.f);
  void DrawConvexPolygon(const Color& c, const float* x, const float* y, int n, const Blend* blend = nullptr,
                         float thickness = 1.f);
  void DrawDottedRect(const Color& c, const Rect& r, const Blend* blend = nullptr, float thickness = 1.f,
                      float dashLen = 2.f);
  void FillTriangle(const Color& c, float x1, float y1, float x2, float y2, float x3, float y3, const Blend* blend = nullptr);
  void FillRect(const Color& c, const Rect& r, const Blend* blend = nullptr);
  void FillRoundRect(const Color& c, const Rect& r, float radius, const Blend* blend = nullptr);
  void FillRoundRect(const Color& c, const Rect& r, float tl, float tr, float br, float bl, const Blend* blend = nullptr);
  void FillCircle(const Color& c, float cx, float cy, float r, const Blend* blend = nullptr);
  void FillEllipse(const Color& c, const Rect& r, const Blend* blend = nullptr);
  void FillEllipse(const Color& c, float x, float y, float r1, float r2, float angle = 0.f, const Blend* blend = nullptr);
  void FillConvexPolygon(const Color& c, const float* x, const float* y, int n, const Blend* blend = nullptr);
  /// Draws one line of text aligned in bounds by the style.
  void DrawText(const TextStyle& text, const std::string& str, const Rect& bounds, const Blend* blend = nullptr);
  /// Width the text needs; bounds become the measured box at the text's anchor.
  float MeasureText(const TextStyle& text, const std::string& str, Rect& bounds);
  /// Wraps text at spaces to the width of bounds and draws the lines from the top.
  void DrawMultiLineText(const TextStyle& text, const std::string& str, const Rect& bounds, const Blend* blend = nullptr);
  /// Loads a font file under a name; false when it cannot be read.
  virtual bool LoadFont(const std::string& fontName, const std::string& fileName) = 0;
  virtual bool LoadFont(const std::string& fontName, const unsigned char* data, int size) = 0;

  // Path operations.
  void PathClear();
  void PathClose() { DoPathClose(); }
  void PathMoveTo(float x, float y);
  void PathLineTo(float x, float y);
  void PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2);
  void PathQuadraticBezierTo(float cx, float cy, float x2, float y2);
  /// Appends an arc (degrees, 0 at the top, clockwise) as cubic segments.
  void PathArc(float cx, float cy, float r, float a1, float a2, Winding dir = Winding::kCW);
  void PathRect(const Rect& r);
  void PathRoundRect(const Rect& r, float tl, float tr, float br, float bl);
  void PathEllipse(float cx, float cy, float rx, float ry);
  void PathSetWinding(Winding w) { DoPathSetWinding(w); }
  void PathFill(const Pattern& pattern, const FillOptions& options = {}, const Blend* blend = nullptr);
  void PathStroke(const Pattern& pattern, float thickness, const StrokeOptions& options = {}, const Blend* blend = nullptr);
  void PathTransformSave() {
    transformStack_.push_back(untransformed_);
    DoTransformSave();
  }
  void PathTransformRestore() {
    if (!transformStack_.empty()) {
      untransformed_ = transformStack_.back();
      transformStack_.pop_back();
    }
    DoTransformRestore();
  }
  void PathTransformTranslate(float x, float y) { transform(1, 0, 0, 1, x, y); }
  void PathTransformScale(float sx, float sy) { transform(sx, 0, 0, sy, 0, 0); }
  void PathTransformRotate(float deg);
  /// Post-multiplies the current transform by [a b c d e f] (x' = a x + c y + e, y' = b x + d y + f).
  void PathTransformMatrix(float a, float b, float c, float d, float e, float f) { transform(a, b, c, d, e, f); }
  void PathTransformReset() {
    untransformed_ = true;
    DoTransformReset();
  }
  /// The part of r that the current clip region lets through (r itself without a clip or under a
  /// transform). Filling only that part matters on software rasterisers, which shade every pixel
  /// of a path even where the clip hides it.
  /// The cut reaches a pixel past the clip, so the anti-aliased edge of the cut falls outside it.
  Rect VisiblePart(const Rect& r) const {
    return untransformed_ && !clip_.Empty() ? r.Intersect(clip_.GetPadded(1.f / GetTotalScale())) : r;
  }
  /// Whether anything drawn within r (in the current transform) would be hidden by the clip
  /// region. Shapes and texts that fall wholly outside it are skipped: a frame that redraws a strip
  /// of a meter would otherwise pay for every label around it.
  bool ClippedAway(const Rect& r) const { return untransformed_ && !clip_.Empty() && !r.Intersects(clip_); }
  /// Restricts drawing to r (in the current transform); an empty r removes the restriction.
  void PathClipRegion(const Rect& r = Rect());

  // Layers.
  void StartLayer(Control* owner, const Rect& r, bool cacheable = false);
  LayerPtr EndLayer();
  /// False for a missing layer or one made before a resize or rescale.
  bool CheckLayer(const LayerPtr& layer) const;
  void DrawLayer(const LayerPtr& layer, const Blend* blend = nullptr);

 protected:
  // The back end's primitives.
  virtual void DoPathClear() = 0;
  virtual void DoPathClose() = 0;
  virtual void DoPathMoveTo(float x, float y) = 0;
  virtual void DoPathLineTo(float x, float y) = 0;
  virtual void DoPathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) = 0;
  virtual void DoPathSetWinding(Winding w) = 0;
  virtual void DoSetComposite(const CompositeOp& op) = 0;
  virtual void DoPathFill(const Pattern& pattern, FillRule rule, const Blend* blend) = 0;
  virtual void DoPathStroke(const Pattern& pattern, float thickness, const StrokeOptions& options, const Blend* blend) = 0;
  virtual void DoTransformSave() = 0;
  virtual void DoTransformRestore() = 0;
  virtual void DoTransformReset() = 0;
  virtual void DoTransform(float a, float b, float c, float d, float e, float f) = 0;
  virtual void DoSetClipRegion(const Rect& r) = 0;
  virtual void DoResetClip() = 0;
  /// Draws at the anchor with the anchor's alignment in the text's colour (alpha scaled by the blend).
  virtual void DoDrawText(const TextStyle& text, const std::string& str, const TextAnchor& anchor, const Blend* blend) = 0;
  /// The box of the text at the anchor.
  virtual Rect DoMeasureText(const TextStyle& text, const std::string& str, const TextAnchor& anchor) = 0;
  /// Creates an off-screen target of r at the current scale and makes it current; returns its handle.
  virtual int DoStartLayer(const Rect& r) = 0;
  /// Returns drawing to the previous target.
  virtual void DoEndLayer(int handle) = 0;
  virtual void DoDrawLayer(const Layer& layer, const Blend* blend) = 0;
  virtual void DoDeleteLayer(int handle) = 0;
  /// Called before and after each control's region is drawn (the clip is already set).
  virtual void PrepareRegion(const Rect&) {}
  virtual void CompleteRegion(const Rect&) {}

 private:
  void fillOrStroke(const Color& c, const Blend* blend, float thickness, bool fill);
  /// Appends dashes of dashLen on and dashLen off from (x1, y1) towards (x2, y2).
  void dashTo(float x1, float y1, float x2, float y2, float dashLen);
  void beginGesturesOf(Control* c);
  void endGesturesOf(Control* c);
  /// A pop-up takes the pointer: open gestures end, the capture goes, the hovered control is left.
  void pointerToPopup();
  Rect controlClip(const Control& c, const Rect& dirty) const;
  void drawControl(Control& c, const Rect& dirty);

  EditorDelegate& delegate_;
  GraphicsPlatform* platform_ = nullptr;
  GraphicsLayoutDelegate* layout_ = nullptr;
  std::vector<std::unique_ptr<Control>> controls_;
  std::map<int, Control*> tags_;
  Control* captured_ = nullptr;
  Control* mouseOver_ = nullptr;
  int mouseOverIdx_ = -1;
  Control* inTextEntry_ = nullptr;
  int textEntryValIdx_ = -1;
  Control* inPopupMenu_ = nullptr;
  int popupValIdx_ = -1;
  bool popupIsContext_ = false;
  PopupMenu contextMenu_;
  PopupMenu promptMenu_;
  int width_;
  int height_;
  float drawScale_;
  float screenScale_ = 1.f;
  float minScale_ = 0.5f;
  float maxScale_ = 4.f;
  int fps_ = 60;
  RectList damage_;  // areas changed since the last frame, fringe included
  Rect clip_;  // the current clip region in design units; empty: none
  bool untransformed_ = true;
  std::vector<bool> transformStack_;
  void transform(float a, float b, float c, float d, float e, float f) {
    if (!(a == 1 && b == 0 && c == 0 && d == 1 && e == 0 && f == 0)) untransformed_ = false;
    DoTransform(a, b, c, d, e, f);
  }
  bool mouseOverEnabled_ = false;
  bool pathStarted_ = false;
  float lastX_ = 0.f, lastY_ = 0.f;
  bool isBackground_ = false;
  std::string resourceDir_;
  int layerGeneration_ = 0;
  struct OpenLayer {
    Control* owner;
    Rect bounds;
    int handle;
  };
  std::vector<OpenLayer> layerStack_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // layers outliving the context release nothing
};

}  // namespace plugkit::gfx
