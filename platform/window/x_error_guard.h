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

}  // namespace plugkit::platform
