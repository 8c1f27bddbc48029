// Keeps X errors that an editor's own display connection causes from ending the host process.
#pragma once

#include <cstdint>

namespace plugkit::platform {

/// While it lives, an X error on `display` (an Xlib Display*) is reported on stderr and survived
/// instead of reaching Xlib's default handler, which exits the process. Errors on other
/// connections (the host's own) go to whichever handler was installed before. Main thread only.
class XErrorGuard {
 public:
  explicit XErrorGuard(void* display);
  ~XErrorGuard();
  XErrorGuard(const XErrorGuard&) = delete;
  XErrorGuard& operator=(const XErrorGuard&) = delete;

 private:
  void* display_;
};

/// Whether `window` exists on `display` (an Xlib Display*). A host may hand over a stale window
/// to embed in; the error this check causes is the guard's to survive.
bool WindowExists(void* display, std::uintptr_t window);
/// The size of `window` as the server has it now (a round trip); false when it has none.
bool WindowSize(void* display, std::uintptr_t window, int& widthPx, int& heightPx);

/// The size hints of a resizable window: the size it wants (as the base size), the least and the
/// most, and its fixed aspect ratio. An embedded window states no least size: a host that embeds
/// it through a toolkit socket takes the least size as the socket's minimum and, having it, never
/// grows its own window to the size the editor asked for.
struct WindowSizeHints {
  int width, height, minWidth, minHeight, maxWidth, maxHeight, aspectWidth, aspectHeight;
  bool embedded;
};
/// Sets `window`'s WM_NORMAL_HINTS to `hints` in full. Hosts that embed a window size their socket
/// from its base size; the older call the window library uses leaves the base size out.
void PublishSizeHints(void* display, std::uintptr_t window, const WindowSizeHints& hints);

}  // namespace plugkit::platform
