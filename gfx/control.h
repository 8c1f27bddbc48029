// The retained-mode control: rectangle, values linked to parameters, flags, dirty state and mouse hooks.
#pragma once

#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/editor_delegate.h"
#include "gfx/types.h"

namespace plugkit::gfx {

class Graphics;
class Control;
class ContainerBase;

using ActionFunc = std::function<void(Control*)>;

/// A visible element of the editor. Every member runs on the editor (main) thread.
class Control {
 public:
  struct Value {
    int paramIdx;
    double normalised;
    bool sent = true;  // false: the control only shows the parameter and never changes it
  };

  explicit Control(const Rect& bounds, int paramIdx = -1, ActionFunc action = nullptr);
  Control(const Rect& bounds, const std::vector<int>& params, ActionFunc action = nullptr);
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Hooks, in the order the framework calls them.
  virtual void OnMouseDown(float x, float y, const MouseMod& mod);
  virtual void OnMouseUp(float, float, const MouseMod&) {}
  virtual void OnMouseDrag(float, float, float, float, const MouseMod&) {}
  virtual void OnMouseDblClick(float x, float y, const MouseMod& mod);
  virtual void OnMouseWheel(float, float, const MouseMod&, float) {}
  /// A key while the control is under the mouse; true when handled.
  virtual bool OnKeyDown(float, float, const KeyPress&) { return false; }
  virtual void OnMouseOver(float x, float y, const MouseMod& mod);
  virtual void OnMouseOut();
  virtual void OnRescale() {}
  virtual void OnResize() {}
  virtual void OnInit() {}
  virtual void OnAttached() {}
  /// Fills the context menu a right click opens (empty by default: no menu).
  virtual void CreateContextMenu(PopupMenu&) {}
  virtual void OnMenuChoice(const PopupMenu* menu, int valIdx);
  virtual void OnTextEntryDone(const std::string&, int) {}
  virtual void OnContextSelection(int) {}
  virtual void Draw(Graphics& g) = 0;

  virtual int ValueIndexAt(float, float) const { return NVals() == 1 ? 0 : -1; }
  virtual void SetValueFromDelegate(double value, int valIdx = 0);
  virtual void SetValueFromUserInput(double value, int valIdx = 0);
  virtual void SetValueToDefault(int valIdx = -1);
  /// Stores the normalised value and does nothing else.
  virtual void SetValue(double value, int valIdx = 0);
  virtual void SetText(const TextStyle& text) { text_ = text; SetDirty(false); }
  virtual void SetPosition(float x, float y);
  virtual void SetSize(float w, float h);
  virtual void Hide(bool hide);
  virtual void SetDisabled(bool disabled);
  virtual void SetIgnoreMouse(bool ignore) { ignoreMouse_ = ignore; }
  virtual bool IsHit(float x, float y) const { return target_.Contains(x, y); }
  /// Clamps the chosen values (all when valIdx < 0), marks dirty, and with triggerAction sends
  /// linked values to the host, updates peers and runs the action.
  virtual void SetDirty(bool triggerAction = true, int valIdx = -1);
 private:
  void moveTo(const Rect& drawn, const Rect& target);

 public:
  virtual void SetClean() { dirty_ = false; }
  virtual bool IsDirty() const { return dirty_; }
  /// The part of a dirty control that must be drawn again: all of it, unless the control knows
  /// that less changed.
  virtual Rect DirtyRect() const { return rect_; }
  virtual bool GetWantsGestures() const { return false; }
  /// Sets the value from a point in bounds (rounded to 0.001, clamped to lo..hi).
  virtual void SnapToMouse(float x, float y, Direction direction, const Rect& bounds, int valIdx = -1,
                           double lo = 0.0, double hi = 1.0);

  // Values and parameters.
  int NVals() const { return static_cast<int>(vals_.size()); }
  double GetValue(int valIdx = 0) const;
  int GetParamIdx(int valIdx = 0) const;
  const Param* GetParam(int valIdx = 0) const;
  /// The value index linked to paramIdx, or -1.
  int LinkedToParam(int paramIdx) const;
  void SetParamIdx(int paramIdx, int valIdx = 0);
  /// Links a parameter the control shows but never changes: it follows the parameter's value and
  /// sends it to nobody. Takes the place of a first value linked to no parameter.
  void LinkShownParam(int paramIdx);
  /// Whether the value is linked to a parameter the control changes (and takes gestures for).
  bool SendsValue(int valIdx) const;
  /// Opens the value prompt over the control (linked values with prompting enabled).
  void PromptForValue(int valIdx = 0);

  // Geometry and style.
  const Rect& GetRECT() const { return rect_; }
  const Rect& GetTargetRECT() const { return target_; }
  void SetRECT(const Rect& r) { moveTo(r, target_); }
  void SetTargetRECT(const Rect& r) { target_ = r; }
  void SetTargetAndDrawRECTs(const Rect& r) { moveTo(r, r); }
  const TextStyle& GetText() const { return text_; }
  const Blend& GetBlend() const { return blend_; }
  int GetTextEntryLength() const { return textEntryLength_; }
  void SetTextEntryLength(int n) { textEntryLength_ = n; }
  const std::string& GetGroup() const { return group_; }
  void SetGroup(const std::string& g) { group_ = g; }
  int GetTag() const { return tag_; }
  void SetActionFunction(ActionFunc f) { action_ = std::move(f); }
  const ActionFunc& GetActionFunction() const { return action_; }

  // Flags.
  bool IsHidden() const { return hidden_; }
  bool IsDisabled() const { return disabled_; }
  bool GetIgnoreMouse() const { return ignoreMouse_; }
  bool GetPromptShowsParamLabel() const { return promptShowsLabel_; }
  void SetPromptShowsParamLabel(bool v) { promptShowsLabel_ = v; }
  bool GetMouseDblAsSingleClick() const { return dblAsSingleClick_; }
  void SetMouseDblAsSingleClick(bool v) { dblAsSingleClick_ = v; }
  bool GetMouseOverWhenDisabled() const { return mouseOverWhenDisabled_; }
  void SetMouseOverWhenDisabled(bool v) { mouseOverWhenDisabled_ = v; }
  bool GetMouseEventsWhenDisabled() const { return mouseEventsWhenDisabled_; }
  void SetMouseEventsWhenDisabled(bool v) { mouseEventsWhenDisabled_ = v; }
  bool PromptingDisabled() const { return promptingDisabled_; }
  void DisablePrompt(bool disable) { promptingDisabled_ = disable; }
  bool GetMouseIsOver() const { return mouseIsOver_; }


  // Attachment.
  Graphics* GetUI() const { return graphics_; }
  /// Gives the area the control covered now to its graphics' damage (before it moves or hides).
  void DamageCurrentArea();
  EditorDelegate* GetDelegate() const { return delegate_; }
  ContainerBase* GetParent() const { return parent_; }
  void SetParent(ContainerBase* p) { parent_ = p; }
  void SetAttachment(EditorDelegate* delegate, Graphics* graphics, int tag) {
    delegate_ = delegate, graphics_ = graphics, tag_ = tag;
  }
  /// A parameter value in real units rounded to the step, clamped and normalised (0..1): the one
  /// conversion of a typed or chosen value.
  static double NormalisedFromReal(const Param& p, double real);

 protected:
  /// Passes the chosen value (index 0 for one-value controls) to every other control of the same parameter.
  void UpdatePeers(int valIdx);

  Rect rect_;
  Rect target_;
  std::string group_;
  TextStyle text_;
  Blend blend_{BlendMethod::kSrcOver, 1.f};
  int textEntryLength_ = 7;
  bool dirty_ = true;
  bool hidden_ = false;
  bool disabled_ = false;
  bool promptingDisabled_ = true;
  bool dblAsSingleClick_ = false;
  bool mouseOverWhenDisabled_ = false;
  bool mouseEventsWhenDisabled_ = false;
  bool ignoreMouse_ = false;
  bool promptShowsLabel_ = false;
  bool mouseIsOver_ = false;
  ContainerBase* parent_ = nullptr;
  EditorDelegate* delegate_ = nullptr;
  Graphics* graphics_ = nullptr;
  int tag_ = -1;
  ActionFunc action_;
  std::vector<Value> vals_;
};

/// One string drawn in the control's text style, with an optional background.
class TextControl : public Control {
 public:
  TextControl(const Rect& bounds, const std::string& str = "", const TextStyle& text = kDefaultText,
              Color background = kColorTransparent, bool setBoundsBasedOnStr = false);
  void Draw(Graphics& g) override;
  void OnInit() override;
  /// Stores the text (nothing when unchanged); a self-sizing control re-centres on its measured size.
  virtual void SetStr(const std::string& str);
  void SetStrFmt(int maxLength, const char* format, ...) __attribute__((format(printf, 3, 4)));
  const std::string& GetStr() const { return str_; }
  void SetBackgroundColor(Color c) { bg_ = c; SetDirty(false); }

 protected:
  void fitToText();

  std::string str_;
  Color bg_;
  bool setBoundsBasedOnStr_;
};

/// A text control that shows its parameter's display text; clicks open the value prompt.
class CaptionControl : public TextControl {
 public:
  CaptionControl(const Rect& bounds, int paramIdx, const TextStyle& text = kDefaultText,
                 Color background = kColorTransparent, bool showParamLabel = true);
  void Draw(Graphics& g) override;
  void OnMouseDown(float x, float y, const MouseMod& mod) override;
  void OnResize() override { SetDirty(false); }

 private:
  bool showParamLabel_;
};

/// A control that owns children, hides and disables them with itself, and lays them out.
class ContainerBase : public Control {
 public:
  using AttachFunc = std::function<void(ContainerBase* self, const Rect& bounds)>;
  using ResizeFunc = std::function<void(ContainerBase* self, const Rect& bounds)>;

  ContainerBase(const Rect& bounds, AttachFunc attach = nullptr, ResizeFunc resize = nullptr)
      : Control(bounds), attachFunc_(std::move(attach)), resizeFunc_(std::move(resize)) {}
  void OnAttached() override;
  void OnResize() override;
  void Hide(bool hide) override;
  void SetDisabled(bool disabled) override;
  void SetPosition(float x, float y) override;
  /// Attaches a child to the same graphics context (which owns it) after this container; returns it
  /// or null when the container is not attached or the tag is taken.
  Control* AddChildControl(std::unique_ptr<Control> child, int tag = -1, const std::string& group = "");
  int NChildren() const { return static_cast<int>(children_.size()); }
  Control* GetChild(int i) const { return children_[static_cast<size_t>(i)]; }
  void ForAllChildrenFunc(const std::function<void(Control*)>& f);

 protected:
  AttachFunc attachFunc_;
  ResizeFunc resizeFunc_;
  std::vector<Control*> children_;  // owned by the graphics context's list
};

/// A container filled with a pattern, optionally outlined in light grey one unit wide.
class PanelControl : public ContainerBase {
 public:
  PanelControl(const Rect& bounds, const Pattern& pattern, bool drawFrame = false, AttachFunc attach = nullptr,
               ResizeFunc resize = nullptr);
  void Draw(Graphics& g) override;
  void SetPattern(const Pattern& p) { pattern_ = p; SetDirty(false); }
  const Pattern& GetPattern() const { return pattern_; }

 private:
  Pattern pattern_;
  bool drawFrame_;
};

}  // namespace plugkit::gfx
