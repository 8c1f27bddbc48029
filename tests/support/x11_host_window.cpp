// Plain X11 parent window.
#include "tests/support/x11_host_window.h"

#include <X11/Xlib.h>

namespace plumbrook::test {

X11HostWindow::X11HostWindow(int width, int height) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return;
  display_ = d;
  const int screen = DefaultScreen(d);
  window_ = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, static_cast<unsigned>(width),
                                static_cast<unsigned>(height), 0, BlackPixel(d, screen), BlackPixel(d, screen));
  XStoreName(d, window_, "host");
  XMapWindow(d, window_);
  XSync(d, False);
}

X11HostWindow::~X11HostWindow() {
  if (!display_) return;
  Display* d = static_cast<Display*>(display_);
  if (window_) XDestroyWindow(d, window_);
  XCloseDisplay(d);
}

void X11HostWindow::Pump() {
  if (!display_) return;
  Display* d = static_cast<Display*>(display_);
  while (XPending(d)) {
    XEvent e;
    XNextEvent(d, &e);
  }
}

int X11HostWindow::ChildCount() const {
  if (!display_) return 0;
  Display* d = static_cast<Display*>(display_);
  Window root = 0, parent = 0, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, window_, &root, &parent, &children, &n)) return 0;
  if (children) XFree(children);
  return static_cast<int>(n);
}

}  // namespace plumbrook::test
