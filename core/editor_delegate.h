// The link between parameters and the editor: change notifications, values shown in
// controls, and the services an open editor offers (message boxes, redraw, scale).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/param.h"

namespace plugkit {

/// Where a parameter change comes from.
enum ParamSource : int {
  kReset = 0,         // the adapter initialises the plug-in
  kHost = 1,          // automation or a host control
  kPresetRecall = 2,  // state restore or preset load
  kUI = 3,            // a control in the plug-in's own editor
  kDelegate = 4,      // a value forwarded to the editor from the host side
};

enum class MessageBoxType : int { kOK = 0, kOKCancel = 1, kYesNoCancel = 3, kYesNo = 4, kRetryCancel = 5 };
enum class MessageBoxResult : int { kNone = 0, kOK = 1, kCancel = 2, kRetry = 4, kYes = 6, kNo = 7 };
using MessageBoxCompletion = std::function<void(MessageBoxResult)>;

/// What an open editor (its graphics context) offers to the plug-in. Main thread only.
class EditorSurface {
 public:
  virtual ~EditorSurface() = default;
  /// Shows a normalised value in every control bound to the parameter.
  virtual void SetParamValueFromDelegate(int paramIdx, double normalised) = 0;
  /// Shows a modal message box; the result is handed to the completion (if any) and returned.
  virtual MessageBoxResult ShowMessageBox(const std::string& message, const std::string& caption,
                                          MessageBoxType type, MessageBoxCompletion completion) = 0;
  virtual void MarkAllControlsDirty() = 0;
  /// Backing scale of the window (1.0 standard, 2.0 high density).
  virtual float GetBackingScale() const = 0;
  /// Current draw scale of the design space.
  virtual float GetDrawScale() const = 0;
  /// Design size in editor units.
  virtual int Width() const = 0;
  virtual int Height() const = 0;
};

class EditorDelegate {
 public:
  explicit EditorDelegate(int nParams);
  virtual ~EditorDelegate() = default;
  EditorDelegate(const EditorDelegate&) = delete;
  EditorDelegate& operator=(const EditorDelegate&) = delete;

  int NParams() const { return static_cast<int>(params_.size()); }
  Param* GetParam(int idx) { return (idx >= 0 && idx < NParams()) ? params_[static_cast<size_t>(idx)].get() : nullptr; }
  const Param* GetParam(int idx) const {
    return (idx >= 0 && idx < NParams()) ? params_[static_cast<size_t>(idx)].get() : nullptr;
  }

  /// A parameter changed (any thread the change came from). Forwards to OnParamChange(index).
  virtual void OnParamChange(int paramIdx, ParamSource source, int sampleOffset = -1);
  virtual void OnParamChange(int) {}
  /// A parameter changed as seen by the editor side (main thread).
  virtual void OnParamChangeUI(int, ParamSource) {}
  virtual void OnUIOpen() {}
  virtual void OnUIClose() {}
  virtual void OnIdle() {}

  // Editor to host; implemented by the host API base.
  virtual void BeginParamGestureFromUI(int paramIdx) = 0;
  virtual void SetParamFromUI(int paramIdx, double normalised) = 0;
  virtual void EndParamGestureFromUI(int paramIdx) = 0;

  /// Shows a value in the editor's controls (when an editor exists), then tells
  /// OnParamChangeUI with the delegate as source.
  virtual void ShowParamInUI(int paramIdx, double value, bool normalised);

  /// The open editor, or null.
  virtual EditorSurface* GetUI() const { return nullptr; }

  /// The last window size of the editor in pixels.
  int GetEditorWidth() const { return editorWidth_; }
  int GetEditorHeight() const { return editorHeight_; }
  void SetEditorSize(int width, int height) {
    editorWidth_ = width;
    editorHeight_ = height;
  }

 private:
  std::vector<std::unique_ptr<Param>> params_;
  int editorWidth_ = 0;
  int editorHeight_ = 0;
};

/// The delegate of an editor drawn by a graphics context. The platform layer attaches the
/// open editor's surface and detaches it when the window closes.
class GraphicsEditorDelegate : public EditorDelegate {
 public:
  using EditorDelegate::EditorDelegate;

  EditorSurface* GetUI() const override { return ui_; }
  /// Main thread: the editor window opened. Calls OnUIOpen.
  void AttachUI(EditorSurface* surface);
  /// Main thread: the editor window closed. Calls OnUIClose.
  void DetachUI();

 private:
  EditorSurface* ui_ = nullptr;
};

}  // namespace plugkit
