#include "platform/window/x_error_guard.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

namespace plugkit::platform {
namespace {

using Handler = int (*)(Display*, XErrorEvent*);

std::mutex guardedMutex;
std::vector<Display*> guarded;   // connections of open editors
Handler previous = nullptr;      // the handler in place before the first guard

int onXError(Display* display, XErrorEvent* error) {
  bool ours = false;
  Handler next = nullptr;
  {
    const std::lock_guard<std::mutex> lock(guardedMutex);
    ours = std::find(guarded.begin(), guarded.end(), display) != guarded.end();
    next = previous;
  }
  if (!ours) return next ? next(display, error) : 0;
  char text[256] = {};
  XGetErrorText(display, error->error_code, text, sizeof text);
  std::fprintf(stderr, "editor window: X error ignored: %s (request %d.%d, resource 0x%lx)\n", text,
               error->request_code, error->minor_code, error->resourceid);
  return 0;
}

}  // namespace

XErrorGuard::XErrorGuard(void* display) : display_(display) {
  if (!display_) return;
  const std::lock_guard<std::mutex> lock(guardedMutex);
  if (guarded.empty()) {
    const Handler current = XSetErrorHandler(onXError);
    if (current != onXError) previous = current;
  }
  guarded.push_back(static_cast<Display*>(display_));
}

XErrorGuard::~XErrorGuard() {
  if (!display_) return;
  const std::lock_guard<std::mutex> lock(guardedMutex);
  guarded.erase(std::find(guarded.begin(), guarded.end(), static_cast<Display*>(display_)));
  if (!guarded.empty()) return;
  // Hand the process back its handler, unless someone installed theirs over ours since (the
  // binary stays loaded, so a handler that chains to ours keeps working).
  const Handler current = XSetErrorHandler(previous);
  if (current != onXError) XSetErrorHandler(current);
}

bool WindowExists(void* display, std::uintptr_t window) {
  XWindowAttributes attributes;
  return display && window && XGetWindowAttributes(static_cast<Display*>(display), window, &attributes) != 0;
}

bool WindowSize(void* display, std::uintptr_t window, int& widthPx, int& heightPx) {
  Window root = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  if (!display || !window ||
      !XGetGeometry(static_cast<Display*>(display), window, &root, &x, &y, &width, &height, &border, &depth))
    return false;
  widthPx = static_cast<int>(width);
  heightPx = static_cast<int>(height);
  return true;
}

void PublishSizeHints(void* display, std::uintptr_t window, const WindowSizeHints& h) {
  if (!display || !window) return;
  XSizeHints hints{};
  hints.flags = PBaseSize | PMaxSize | PAspect | (h.embedded ? 0 : PMinSize);
  hints.base_width = h.width, hints.base_height = h.height;
  hints.min_width = h.minWidth, hints.min_height = h.minHeight;
  hints.max_width = h.maxWidth, hints.max_height = h.maxHeight;
  hints.min_aspect.x = hints.max_aspect.x = h.aspectWidth;
  hints.min_aspect.y = hints.max_aspect.y = h.aspectHeight;
  XSetWMNormalHints(static_cast<Display*>(display), static_cast<Window>(window), &hints);
}

}  // namespace plugkit::platform
