#include "platform/window/partial_present.h"

#include <GL/glx.h>

#include <cstring>

namespace plugkit::platform {

void PartialPresent::Capture(void* display, std::uintptr_t window) {
  display_ = display;
  window_ = window;
  context_ = glXGetCurrentContext();
  copySubBuffer_ = nullptr;
  if (!display_ || !context_) return;
  const char* extensions = glXQueryExtensionsString(static_cast<Display*>(display_), DefaultScreen(static_cast<Display*>(display_)));
  if (!extensions || !std::strstr(extensions, "GLX_MESA_copy_sub_buffer")) return;
  copySubBuffer_ = reinterpret_cast<CopySubBuffer>(
      glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXCopySubBufferMESA")));
}

bool PartialPresent::Begin() {
  if (!Valid()) return false;
  return glXMakeCurrent(static_cast<Display*>(display_), static_cast<GLXDrawable>(window_),
                        static_cast<GLXContext>(context_));
}

void PartialPresent::Show(int x, int y, int width, int height, int heightPx) {
  if (width > 0 && height > 0) copySubBuffer_(display_, window_, x, heightPx - y - height, width, height);
}

void PartialPresent::End() { glXMakeCurrent(static_cast<Display*>(display_), None, nullptr); }

}  // namespace plugkit::platform
