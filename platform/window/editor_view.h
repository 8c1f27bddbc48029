// Routes a window's input to the graphics context or the open pop-up, and offers the window services.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "gfx/graphics.h"
#include "platform/window/overlays.h"

namespace plugkit::platform {

/// Mouse buttons as a window reports them.
enum class Button { kLeft, kMiddle, kRight };

/// The input side of an editor window, independent of the window system: positions arrive in device
/// pixels and are turned into editor units. Main thread only.
class EditorView : public gfx::GraphicsPlatform {
 public:
  struct WindowHooks {
    std::function<void(gfx::Cursor)> setCursor;
    std::function<void(bool hide, bool lock)> hideCursor;
    std::function<void(int widthPx, int heightPx)> resize;
    std::function<float()> backingScale;
  };

  explicit EditorView(gfx::Graphics& graphics, WindowHooks hooks = {});
  ~EditorView() override;

  void MouseDown(float xPx, float yPx, Button button, const gfx::MouseMod& mods);
  void MouseUp(float xPx, float yPx, Button button, const gfx::MouseMod& mods);
  void MouseMove(float xPx, float yPx, const gfx::MouseMod& mods);
  void MouseLeave();
  void Scroll(float xPx, float yPx, float delta, const gfx::MouseMod& mods);
  void KeyDown(const gfx::KeyPress& key);
  void TextInput(const std::string& utf8);

  /// True while a pop-up is open. Opening, closing and every change of its look add its old and
  /// new bounds to the graphics' damage, so frames redraw it like a control.
  bool OverlayOpen() const { return overlay_ != nullptr; }
  Overlay* CurrentOverlay() const { return overlay_.get(); }
  /// Draws the open pop-up (inside a frame the caller began), over the controls.
  void DrawOverlay(gfx::Graphics& g);

  // GraphicsPlatform.
  void ShowPopupMenu(gfx::PopupMenu& menu, const gfx::Rect& bounds, MenuDone done) override;
  void ShowTextEntry(const gfx::TextStyle& style, const gfx::Rect& bounds, const std::string& initial, int maxLength,
                     TextDone done) override;
  MessageBoxResult ShowMessageBox(const std::string& message, const std::string& caption, MessageBoxType type,
                                  MessageBoxCompletion completion) override;
  bool OpenURL(const std::string& url) override;
  void SetMouseCursor(gfx::Cursor cursor) override;
  void HideMouseCursor(bool hide, bool lock) override;
  void ResizeWindow(int widthPx, int heightPx) override;
  float BackingScale() const override;

  /// Double clicks: a second press within this time and distance of the first.
  static constexpr double kDoubleClickMs = 400.0;
  static constexpr float kDoubleClickUnits = 4.f;

 private:
  float toUnits(float px) const { return px / graphics_.GetTotalScale(); }
  void openOverlay(std::unique_ptr<Overlay> overlay);
  void closeOverlay();
  // Damages the open pop-up's bounds together with those it had before a change.
  void overlayChanged(const gfx::Rect& before);

  gfx::Graphics& graphics_;
  WindowHooks hooks_;
  std::unique_ptr<Overlay> overlay_;
  bool dragging_ = false;
  float lastX_ = 0.f, lastY_ = 0.f;  // the pointer, editor units
  bool pointerInside_ = false;
  std::chrono::steady_clock::time_point lastPress_{};
  float lastPressX_ = -1e9f, lastPressY_ = -1e9f;
};

/// Starts xdg-open for an http or https address without a shell; false for any other address.
bool OpenUrlInBrowser(const std::string& url);

}  // namespace plugkit::platform
