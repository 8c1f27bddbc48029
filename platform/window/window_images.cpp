#include "platform/window/window_images.h"

#include <algorithm>

#include "platform/window/frame_presenter.h"

// X and GLX headers last: their macros (None, Bool, Status) would clash with the editor's names.

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace plugkit::platform {

namespace {
Display* asDisplay(void* d) { return static_cast<Display*>(d); }
}  // namespace

void WindowImages::Capture(void* display, std::uintptr_t window) {
  Release();
  display_ = display;
  window_ = window;
  context_ = glXGetCurrentContext();
  if (!display_ || !context_ || !window_) return;
  Display* d = asDisplay(display_);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(d, static_cast<Window>(window_), &attributes) || !attributes.visual) return;
  // The pixels are put as 32-bit words 0x00RRGGBB, least significant byte first.
  const Visual* v = attributes.visual;
  if ((attributes.depth != 24 && attributes.depth != 32) || v->red_mask != 0xFF0000 || v->green_mask != 0xFF00 ||
      v->blue_mask != 0xFF || ImageByteOrder(d) != LSBFirst)
    return;
  visual_ = attributes.visual;
  depth_ = attributes.depth;
  gc_ = XCreateGC(d, static_cast<Window>(window_), 0, nullptr);
}

void WindowImages::Release() {
  if (gc_) XFreeGC(asDisplay(display_), static_cast<GC>(gc_));
  gc_ = nullptr;
  context_ = nullptr;
  pixels_ = {};
}

bool WindowImages::Begin() {
  if (!Valid()) return false;
  return glXMakeCurrent(asDisplay(display_), static_cast<GLXDrawable>(window_), static_cast<GLXContext>(context_));
}

void WindowImages::Show(unsigned framebuffer, int pictureHeightPx, const std::vector<PixelRect>& parts) {
  Display* d = asDisplay(display_);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  for (const PixelRect& p : parts) {
    if (p.width <= 0 || p.height <= 0) continue;
    const size_t row = static_cast<size_t>(p.width);
    pixels_.resize(row * static_cast<size_t>(p.height));
    // Read as the picture stores it, RGBA bytes, which is the cheapest read for every driver.
    glReadPixels(p.x, pictureHeightPx - p.y - p.height, p.width, p.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
    // GL's rows run bottom-up, an image's top-down; X wants 0x00RRGGBB words.
    const auto toX = [](std::uint32_t abgr) { return (abgr & 0xFF00FF00u) | ((abgr & 0xFFu) << 16) | ((abgr >> 16) & 0xFFu); };
    for (int top = 0, bottom = p.height - 1; top <= bottom; ++top, --bottom) {
      std::uint32_t* a = pixels_.data() + static_cast<size_t>(top) * row;
      std::uint32_t* b = pixels_.data() + static_cast<size_t>(bottom) * row;
      for (size_t x = 0; x < row; ++x) {
        const std::uint32_t upper = toX(b[x]);
        b[x] = toX(a[x]);
        a[x] = upper;
      }
    }
    XImage* image = XCreateImage(d, static_cast<Visual*>(visual_), static_cast<unsigned>(depth_), ZPixmap, 0,
                                 reinterpret_cast<char*>(pixels_.data()), static_cast<unsigned>(p.width),
                                 static_cast<unsigned>(p.height), 32, static_cast<int>(row * 4));
    if (!image) continue;
    XPutImage(d, static_cast<Window>(window_), static_cast<GC>(gc_), image, 0, 0, p.x, p.y,
              static_cast<unsigned>(p.width), static_cast<unsigned>(p.height));
    image->data = nullptr;  // the pixels are ours
    XDestroyImage(image);
  }
  XFlush(d);
}

void WindowImages::Fill(const PixelRect& area, int grey) {
  if (area.width <= 0 || area.height <= 0) return;
  Display* d = asDisplay(display_);
  const unsigned long level = static_cast<unsigned long>(std::clamp(grey, 0, 255));
  XSetForeground(d, static_cast<GC>(gc_), (level << 16) | (level << 8) | level);
  XFillRectangle(d, static_cast<Window>(window_), static_cast<GC>(gc_), area.x, area.y,
                 static_cast<unsigned>(area.width), static_cast<unsigned>(area.height));
  XFlush(d);
}

void WindowImages::End() { glXMakeCurrent(asDisplay(display_), None, nullptr); }

}  // namespace plugkit::platform
