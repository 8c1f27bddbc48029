// An X11 editor window (top-level, or embedded in a host's window) with a GL 3.3 core context.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/window/editor_view.h"
#include "platform/window/frame_presenter.h"
#include "platform/window/graphics_gl.h"
#include "platform/window/window_images.h"
#include "platform/window/x_error_guard.h"

namespace plugkit::platform {

/// One open editor: window, GL context, graphics context, input routing and a 60 fps frame timer that
/// draws only when something changed, in Update once the window's events are handled. Main thread only.
class EditorWindow {
 public:
  struct Options {
    int width = 880;           // editor units
    int height = 382;
    float scale = 1.f;         // draw scale
    std::uintptr_t parent = 0; // host window to embed in, or 0 for a top-level window
    std::string title;         // the window's title and X class name
    std::string resourceDir;   // fonts
    /// Told the new size in pixels whenever the editor resizes its own window (a host that embeds
    /// the window resizes its frame to match).
    std::function<void(int widthPx, int heightPx)> sizeChanged;
    /// Told the window's new size in pixels whenever the server reports one (the editor has
    /// already taken the scale that fits it).
    std::function<void(int widthPx, int heightPx)> resized;
    /// The scale a host gives for its screen; 0 reads the desktop's.
    float screenScale = 0.f;
  };
  using Layout = std::function<void(gfx::Graphics&)>;

  EditorWindow(EditorDelegate& delegate, const Options& options, Layout layout);
  ~EditorWindow();
  EditorWindow(const EditorWindow&) = delete;
  EditorWindow& operator=(const EditorWindow&) = delete;

  /// Creates and shows the window; false with Error() when no window or GL context could be made.
  bool Open();
  /// Destroys the window; every GL object is released first.
  void Close();
  bool IsOpen() const { return view_ != nullptr; }
  /// Maps or unmaps an open window; it keeps its editor and its size.
  void SetVisible(bool visible);
  /// True once the user asked to close a top-level window.
  bool CloseRequested() const { return closeRequested_; }
  const std::string& Error() const { return error_; }
  /// Resizes the window (clamped to the largest picture); the editor follows once the server
  /// reports the new size.
  void RequestSize(int widthPx, int heightPx);
  /// The window's size as the server last reported it, in pixels.
  int SurfaceWidth() const { return surfaceW_; }
  int SurfaceHeight() const { return surfaceH_; }
  /// Processes window events for up to timeoutS seconds (0 polls).
  void Update(double timeoutS);

  gfx::Graphics* GetGraphics() const { return graphics_.get(); }
  EditorView* GetView() const { return input_.get(); }
  std::uintptr_t NativeWindow() const;
  /// The desktop's scale (Xft.dpi / 96), 1 without one.
  float ScreenScale() const;
  int FramesDrawn() const { return framesDrawn_; }
  /// Whether frames reach the window as images rather than by a swap of its GL buffer.
  bool ShowsFramesAsImages() const { return images_.Valid(); }
  /// Of those, the frames shown by copying only their changed parts to the window.
  int PartialFramesShown() const { return partialFrames_; }
  int GlObjectsLive() const { return graphics_ ? graphics_->LiveTargets() + (graphics_->Context() ? 1 : 0) : 0; }

  /// Handles one pugl event (the window system's callback). Internal.
  int Dispatch(const void* event);
  /// Whether the window, at the size the server has now, is no larger than the largest picture;
  /// GL never touches a larger one. Asks the server. Internal.
  bool WindowFitsPicture() const;

 private:
  void onCreate();
  void onDestroy();
  void onExpose();
  void onConfigure(int widthPx, int heightPx);
  void requestSize(int widthPx, int heightPx, bool tellHost);
  void checkHolder();
  // Puts parts of the picture (clipped to the window) on the window as images.
  void showOnWindow(const std::vector<PixelRect>& parts);
  void updateSizeHints();
  std::pair<int, int> largestSurface() const;
  // Draws what changed and shows only those parts; false when a whole frame must be exposed.
  bool showChangedParts();

  EditorDelegate& delegate_;
  Options options_;
  Layout layout_;
  void* world_ = nullptr;
  std::unique_ptr<XErrorGuard> errorGuard_;
  void* view_ = nullptr;
  std::unique_ptr<GraphicsGL> graphics_;
  std::unique_ptr<EditorView> input_;
  std::string error_;
  bool closeRequested_ = false;
  bool fullRedraw_ = true;
  // The one size of the window: set from the server's configure events only.
  int surfaceW_ = 0, surfaceH_ = 0;
  int pendingW_ = 0, pendingH_ = 0;  // a size asked for and not reported yet
  int wantedW_ = 0, wantedH_ = 0;    // the size last asked for, published as the window's base size
  // When to look whether the host's window grew to the size the editor last asked for.
  std::optional<std::chrono::steady_clock::time_point> holderDeadline_;
  bool oversized_ = false;
  bool frameDue_ = false;
  int framesDrawn_ = 0;
  int partialFrames_ = 0;
  FramePresenter presenter_;
  WindowImages images_;
  std::vector<PixelRect> shown_;  // the parts of a frame that fall inside the window
};

}  // namespace plugkit::platform
