// Input routing for an editor window: pop-ups first, then the graphics context; the window services.
#include "platform/window/editor_view.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <cstring>
#include <thread>

extern char** environ;

namespace plugkit::platform {

EditorView::EditorView(gfx::Graphics& graphics, WindowHooks hooks) : graphics_(graphics), hooks_(std::move(hooks)) {
  graphics_.SetPlatform(this);
}

EditorView::~EditorView() {
  if (overlay_) overlay_->Abandon();
  if (graphics_.GetPlatform() == this) graphics_.SetPlatform(nullptr);
}

void EditorView::openOverlay(std::unique_ptr<Overlay> overlay) {
  gfx::Rect before;
  if (overlay_) {
    before = overlay_->Bounds();
    overlay_->Abandon();
  }
  overlay_ = std::move(overlay);
  overlayChanged(before);
}

void EditorView::closeOverlay() {
  // Whatever the pop-up covered is drawn again.
  if (overlay_) graphics_.AddDamage(overlay_->Bounds());
  overlay_.reset();
  // The control now under the pointer learns of it without waiting for the next motion.
  if (pointerInside_) graphics_.OnMouseOver(lastX_, lastY_, gfx::MouseMod{});
}

void EditorView::overlayChanged(const gfx::Rect& before) {
  graphics_.AddDamage(before);
  if (overlay_) graphics_.AddDamage(overlay_->Bounds());
}

void EditorView::DrawOverlay(gfx::Graphics& g) {
  if (overlay_) overlay_->Draw(g);
}

void EditorView::MouseDown(float xPx, float yPx, Button button, const gfx::MouseMod& mods) {
  const float x = toUnits(xPx), y = toUnits(yPx);
  pointerInside_ = true;
  if (overlay_) {
    lastX_ = x, lastY_ = y;
    // The overlay may open another one from its completion; only close the one that finished.
    Overlay* current = overlay_.get();
    const gfx::Rect before = current->Bounds();
    if (!current->MouseDown(x, y) && overlay_.get() == current) closeOverlay();
    else if (overlay_.get() == current) overlayChanged(before);
    return;
  }
  gfx::MouseMod m = mods;
  m.L = button == Button::kLeft;
  m.R = button == Button::kRight;
  const auto now = std::chrono::steady_clock::now();
  const double sinceMs = std::chrono::duration<double, std::milli>(now - lastPress_).count();
  const bool dbl = button == Button::kLeft && sinceMs < kDoubleClickMs &&
                   std::hypot(x - lastPressX_, y - lastPressY_) < kDoubleClickUnits;
  lastPress_ = now;
  lastPressX_ = dbl ? -1e9f : x;  // a third click starts afresh
  lastPressY_ = y;
  lastX_ = x, lastY_ = y;
  if (dbl) {
    graphics_.OnMouseDblClick(x, y, m);
    dragging_ = false;
    return;
  }
  dragging_ = true;
  graphics_.OnMouseDown(x, y, m);
}

void EditorView::MouseUp(float xPx, float yPx, Button button, const gfx::MouseMod& mods) {
  if (!dragging_) return;
  dragging_ = false;
  gfx::MouseMod m = mods;
  m.L = button == Button::kLeft;
  m.R = button == Button::kRight;
  graphics_.OnMouseUp(toUnits(xPx), toUnits(yPx), m);
}

void EditorView::MouseMove(float xPx, float yPx, const gfx::MouseMod& mods) {
  const float x = toUnits(xPx), y = toUnits(yPx);
  pointerInside_ = true;
  if (overlay_) {
    const gfx::Rect before = overlay_->Bounds();
    if (overlay_->MouseMove(x, y)) overlayChanged(before);
    lastX_ = x, lastY_ = y;
    return;
  }
  if (dragging_) {
    gfx::MouseMod m = mods;
    m.L = true;
    graphics_.OnMouseDrag(x, y, x - lastX_, y - lastY_, m);
  } else {
    graphics_.OnMouseOver(x, y, mods);
  }
  lastX_ = x, lastY_ = y;
}

void EditorView::MouseLeave() {
  pointerInside_ = false;
  if (!dragging_ && !overlay_) graphics_.OnMouseOut();
}

void EditorView::Scroll(float xPx, float yPx, float delta, const gfx::MouseMod& mods) {
  if (overlay_) return;
  graphics_.OnMouseWheel(toUnits(xPx), toUnits(yPx), mods, delta);
}

void EditorView::KeyDown(const gfx::KeyPress& key) {
  if (overlay_) {
    Overlay* current = overlay_.get();
    const gfx::Rect before = current->Bounds();
    if (!current->Key(key) && overlay_.get() == current) closeOverlay();
    else if (overlay_.get() == current) overlayChanged(before);
    return;
  }
  graphics_.OnKeyDown(lastX_, lastY_, key);
}

void EditorView::TextInput(const std::string& utf8) {
  if (!overlay_) return;
  const gfx::Rect before = overlay_->Bounds();
  overlay_->Text(FromUtf8(utf8));
  overlayChanged(before);
}

void EditorView::ShowPopupMenu(gfx::PopupMenu& menu, const gfx::Rect& bounds, MenuDone done) {
  dragging_ = false;
  openOverlay(std::make_unique<MenuOverlay>(menu, bounds, graphics_.GetBounds(), std::move(done)));
}

void EditorView::ShowTextEntry(const gfx::TextStyle& style, const gfx::Rect& bounds, const std::string& initial,
                               int maxLength, TextDone done) {
  dragging_ = false;
  openOverlay(std::make_unique<TextFieldOverlay>(style, bounds, initial, maxLength, std::move(done)));
}

MessageBoxResult EditorView::ShowMessageBox(const std::string& message, const std::string& caption,
                                            MessageBoxType type, MessageBoxCompletion completion) {
  dragging_ = false;
  openOverlay(std::make_unique<MessageBoxOverlay>(message, caption, type, graphics_.GetBounds(), std::move(completion)));
  return MessageBoxResult::kNone;  // the answer arrives through the completion
}

bool OpenUrlInBrowser(const std::string& url) {
  const bool web = url.rfind("https://", 0) == 0 || url.rfind("http://", 0) == 0;
  if (!web || url.find_first_of("\r\n") != std::string::npos) return false;
  std::string program = "xdg-open";
  std::string arg = url;
  char* argv[] = {program.data(), arg.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
  // Reap xdg-open when it ends so no zombie is left behind.
  std::thread([pid] {
    int status = 0;
    waitpid(pid, &status, 0);
  }).detach();
  return true;
}

bool EditorView::OpenURL(const std::string& url) { return OpenUrlInBrowser(url); }

void EditorView::SetMouseCursor(gfx::Cursor cursor) {
  if (hooks_.setCursor) hooks_.setCursor(cursor);
}

void EditorView::HideMouseCursor(bool hide, bool lock) {
  if (hooks_.hideCursor) hooks_.hideCursor(hide, lock);
}

void EditorView::ResizeWindow(int widthPx, int heightPx) {
  if (hooks_.resize) hooks_.resize(widthPx, heightPx);
}

float EditorView::BackingScale() const { return hooks_.backingScale ? hooks_.backingScale() : 1.f; }

}  // namespace plugkit::platform
