// pugl window: GL 3.3 core context, frame timer, event translation and the drawing of a frame.
#include "platform/window/editor_window.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <pugl/gl.h>
#include <pugl/pugl.h>

#include "types.h"  // pugl's back-end table, to guard its GL back end

#include <algorithm>
#include <cmath>
#include <tuple>

namespace plugkit::platform {

namespace {
constexpr std::uintptr_t kFrameTimer = 1;
constexpr double kFrameSeconds = 1.0 / 60.0;
// How long a host's window may take to grow to a size the editor asked for.
constexpr int kHolderGraceMs = 1000;
// What the window shows outside the editor's picture when the window is larger than it.
constexpr int kSurroundGrey = 30;
constexpr float kSurround = kSurroundGrey / 255.f;

PuglWorld* asWorld(void* p) { return static_cast<PuglWorld*>(p); }
PuglView* asView(void* p) { return static_cast<PuglView*>(p); }

PuglStatus onEvent(PuglView* view, const PuglEvent* event) {
  auto* self = static_cast<EditorWindow*>(puglGetHandle(view));
  return static_cast<PuglStatus>(self->Dispatch(event));
}

// pugl's GL back end makes the context current on the window around every configure and expose,
// and swaps after each expose. On a window larger than the editor ever draws (a host resizing it
// to X's 32767 x 32767) Mesa's software rasteriser would allocate and send a picture of the whole
// window: it crashes instead. There the context is left alone; the editor asks for a smaller size.
bool leftAlone = false;  // pugl runs on one thread per world; enter and leave come in pairs

PuglStatus guardedEnter(PuglView* view, const PuglExposeEvent* expose) {
  leftAlone = !static_cast<EditorWindow*>(puglGetHandle(view))->WindowFitsPicture();
  return leftAlone ? PUGL_SUCCESS : puglGlBackend()->enter(view, expose);
}

PuglStatus guardedLeave(PuglView* view, const PuglExposeEvent* expose) {
  if (leftAlone) {
    leftAlone = false;
    return PUGL_SUCCESS;
  }
  // A frame put on the window as an image has nothing to swap.
  const bool swap = expose && !static_cast<EditorWindow*>(puglGetHandle(view))->ShowsFramesAsImages();
  return puglGlBackend()->leave(view, swap ? expose : nullptr);
}

const PuglBackend* guardedGlBackend() {
  static const PuglBackend backend = [] {
    PuglBackend b = *puglGlBackend();
    b.enter = guardedEnter;
    b.leave = guardedLeave;
    return b;
  }();
  return &backend;
}

// Shift, control and alt as mouse events and key presses both carry them.
template <typename WithModifiers>
WithModifiers withModifiers(PuglMods state) {
  WithModifiers m;
  m.S = (state & PUGL_MOD_SHIFT) != 0;
  m.C = (state & PUGL_MOD_CTRL) != 0;
  m.A = (state & PUGL_MOD_ALT) != 0;
  return m;
}

gfx::MouseMod modsOf(PuglMods state) { return withModifiers<gfx::MouseMod>(state); }

gfx::KeyPress keyOf(const PuglKeyEvent& e) {
  gfx::KeyPress k = withModifiers<gfx::KeyPress>(e.state);
  switch (e.key) {
    case PUGL_KEY_BACKSPACE: k.key = gfx::Key::kBackspace; break;
    case PUGL_KEY_ESCAPE: k.key = gfx::Key::kEscape; break;
    case PUGL_KEY_DELETE: k.key = gfx::Key::kDelete; break;
    case '\r': case '\n': k.key = gfx::Key::kEnter; break;
    case '\t': k.key = gfx::Key::kTab; break;
    case ' ': k.key = gfx::Key::kSpace; break;
    case PUGL_KEY_LEFT: k.key = gfx::Key::kLeft; break;
    case PUGL_KEY_RIGHT: k.key = gfx::Key::kRight; break;
    case PUGL_KEY_UP: k.key = gfx::Key::kUp; break;
    case PUGL_KEY_DOWN: k.key = gfx::Key::kDown; break;
    case PUGL_KEY_HOME: k.key = gfx::Key::kHome; break;
    case PUGL_KEY_END: k.key = gfx::Key::kEnd; break;
    case PUGL_KEY_PAGE_UP: k.key = gfx::Key::kPageUp; break;
    case PUGL_KEY_PAGE_DOWN: k.key = gfx::Key::kPageDown; break;
    default:
      // Printable characters arrive as text events; control shortcuts are keys.
      if (e.key >= 0x20 && e.key < 0xE000 && k.C) {
        k.key = gfx::Key::kChar;
        k.codepoint = e.key;
      }
  }
  return k;
}

PuglCursor cursorOf(gfx::Cursor c) {
  switch (c) {
    case gfx::Cursor::kIBeam: return PUGL_CURSOR_CARET;
    case gfx::Cursor::kCross: return PUGL_CURSOR_CROSSHAIR;
    case gfx::Cursor::kHand: return PUGL_CURSOR_HAND;
    case gfx::Cursor::kNo: return PUGL_CURSOR_NO;
    case gfx::Cursor::kSizeWE: return PUGL_CURSOR_LEFT_RIGHT;
    case gfx::Cursor::kSizeNS: return PUGL_CURSOR_UP_DOWN;
    case gfx::Cursor::kSizeNWSE: return PUGL_CURSOR_DIAGONAL;
    case gfx::Cursor::kSizeNESW: return PUGL_CURSOR_ANTI_DIAGONAL;
    default: return PUGL_CURSOR_ARROW;
  }
}
}  // namespace

EditorWindow::EditorWindow(EditorDelegate& delegate, const Options& options, Layout layout)
    : delegate_(delegate), options_(options), layout_(std::move(layout)) {}

EditorWindow::~EditorWindow() { Close(); }

bool EditorWindow::Open() {
  if (view_) return true;
  world_ = puglNewWorld(options_.parent ? PUGL_MODULE : PUGL_PROGRAM, 0);
  if (!world_) {
    error_ = "no X display";
    return false;
  }
  errorGuard_ = std::make_unique<XErrorGuard>(puglGetNativeWorld(asWorld(world_)));
  if (options_.parent && !WindowExists(puglGetNativeWorld(asWorld(world_)), options_.parent)) {
    error_ = "the window to embed in does not exist";
    Close();
    return false;
  }
  puglSetClassName(asWorld(world_), options_.title.empty() ? "editor" : options_.title.c_str());
  PuglView* view = puglNewView(asWorld(world_));
  view_ = view;
  graphics_ = std::make_unique<GraphicsGL>(delegate_, options_.width, options_.height, options_.scale);
  graphics_->SetResourceDir(options_.resourceDir);
  graphics_->SetScreenScale(ScreenScale());
  input_ = std::make_unique<EditorView>(*graphics_, EditorView::WindowHooks{
      [this](gfx::Cursor c) { if (view_) puglSetCursor(asView(view_), cursorOf(c)); },
      nullptr,
      [this](int w, int h) { requestSize(w, h, true); },
      [this] { return ScreenScale(); }});
  puglSetHandle(view, this);
  puglSetEventFunc(view, onEvent);
  puglSetBackend(view, guardedGlBackend());
  puglSetViewHint(view, PUGL_CONTEXT_VERSION_MAJOR, 3);
  puglSetViewHint(view, PUGL_CONTEXT_VERSION_MINOR, 3);
  puglSetViewHint(view, PUGL_USE_COMPAT_PROFILE, PUGL_FALSE);
  puglSetViewHint(view, PUGL_STENCIL_BITS, 8);
  puglSetViewHint(view, PUGL_DOUBLE_BUFFER, 1);
  puglSetViewHint(view, PUGL_SWAP_INTERVAL, 0);
  puglSetViewHint(view, PUGL_RESIZABLE, 1);
  std::tie(surfaceW_, surfaceH_) = graphics_->PixelSize(options_.scale);
  wantedW_ = surfaceW_, wantedH_ = surfaceH_;
  puglSetSizeHint(view, PUGL_DEFAULT_SIZE, static_cast<PuglSpan>(surfaceW_), static_cast<PuglSpan>(surfaceH_));
  updateSizeHints();
  puglSetWindowTitle(view, options_.title.c_str());
  if (options_.parent) puglSetParentWindow(view, static_cast<PuglNativeView>(options_.parent));
  const PuglStatus st = puglRealize(view);
  if (st != PUGL_SUCCESS || !graphics_->Context()) {
    error_ = std::string("cannot open the window: ") + puglStrerror(st);
    Close();
    return false;
  }
  updateSizeHints();  // the layout has set the editor's scale limits
  puglShow(view);
  puglStartTimer(view, kFrameTimer, kFrameSeconds);
  return true;
}

void EditorWindow::Close() {
  if (view_) {
    puglStopTimer(asView(view_), kFrameTimer);
    // Unrealizing sends the destroy event with the context active; GL objects go there.
    puglFreeView(asView(view_));
    view_ = nullptr;
  }
  input_.reset();
  graphics_.reset();
  if (world_) {
    puglFreeWorld(asWorld(world_));
    world_ = nullptr;
  }
  errorGuard_.reset();
}

void EditorWindow::SetVisible(bool visible) {
  if (!view_) return;
  if (visible)
    puglShow(asView(view_));
  else
    puglHide(asView(view_));
}

void EditorWindow::Update(double timeoutS) {
  if (!world_) return;
  puglUpdate(asWorld(world_), timeoutS);
  checkHolder();
  // A frame the timer asked for is made once every event is handled, so that a size the server
  // reported in the same batch is known before the window is drawn on. Changed parts are drawn
  // and shown here; a whole frame is drawn by the window system's expose.
  if (!frameDue_ || !graphics_) return;
  frameDue_ = false;
  if (presenter_.HasChanges(*graphics_) && !showChangedParts()) {
    puglPostRedisplay(asView(view_));
    puglUpdate(asWorld(world_), 0.0);
  }
}

void EditorWindow::checkHolder() {
  if (!holderDeadline_ || std::chrono::steady_clock::now() < *holderDeadline_) return;
  if (graphics_->GetCapturedControl()) return;  // a corner drag still going on: judged once it ends
  holderDeadline_.reset();
  int holderW = 0, holderH = 0;
  if (!WindowSize(puglGetNativeWorld(asWorld(world_)), options_.parent, holderW, holderH)) return;
  if (surfaceW_ <= holderW && surfaceH_ <= holderH) return;
  // The host kept its window as it was: the editor takes the largest size that shows in it whole,
  // rather than staying cropped with its menu and corner out of reach.
  const auto [w, h] = graphics_->PixelSize(graphics_->FitDrawScale(holderW, holderH));
  requestSize(std::min(w, holderW), std::min(h, holderH), false);
}

bool EditorWindow::WindowFitsPicture() const {
  int w = 0, h = 0;
  if (!view_ || !WindowSize(puglGetNativeWorld(asWorld(world_)), puglGetNativeView(asView(view_)), w, h))
    return true;  // not made yet
  const auto [maxW, maxH] = largestSurface();
  return w <= maxW && h <= maxH;
}

std::uintptr_t EditorWindow::NativeWindow() const { return view_ ? puglGetNativeView(asView(view_)) : 0; }

float EditorWindow::ScreenScale() const {
  auto bounded = [](double s) {
    return s > 0.0 && std::isfinite(s) ? std::clamp(static_cast<float>(s), gfx::kMinScreenScale, gfx::kMaxScreenScale)
                                       : 1.f;
  };
  if (options_.screenScale > 0.f) return bounded(options_.screenScale);
  return bounded(view_ ? puglGetScaleFactor(asView(view_)) : 1.0);
}

void EditorWindow::updateSizeHints() {
  if (!view_ || !graphics_) return;
  PuglView* view = asView(view_);
  const auto [minW, minH] = graphics_->PixelSize(graphics_->MinScale());
  const auto [maxW, maxH] = graphics_->PixelSize(graphics_->MaxScale());
  puglSetSizeHint(view, PUGL_MIN_SIZE, static_cast<PuglSpan>(minW), static_cast<PuglSpan>(minH));
  puglSetSizeHint(view, PUGL_MAX_SIZE, static_cast<PuglSpan>(maxW), static_cast<PuglSpan>(maxH));
  puglSetSizeHint(view, PUGL_MIN_ASPECT, static_cast<PuglSpan>(options_.width), static_cast<PuglSpan>(options_.height));
  puglSetSizeHint(view, PUGL_MAX_ASPECT, static_cast<PuglSpan>(options_.width), static_cast<PuglSpan>(options_.height));
  PublishSizeHints(puglGetNativeWorld(asWorld(world_)), puglGetNativeView(view),
                   {wantedW_, wantedH_, minW, minH, maxW, maxH, options_.width, options_.height, options_.parent != 0});
}

std::pair<int, int> EditorWindow::largestSurface() const {
  return graphics_ ? graphics_->PixelSize(graphics_->MaxScale()) : std::pair<int, int>{surfaceW_, surfaceH_};
}

void EditorWindow::RequestSize(int widthPx, int heightPx) { requestSize(widthPx, heightPx, false); }

void EditorWindow::requestSize(int widthPx, int heightPx, bool tellHost) {
  if (!view_ || !graphics_) return;
  // Never more than the editor draws, nor less than a pixel, whatever was asked.
  const auto [maxW, maxH] = largestSurface();
  const int w = std::clamp(widthPx, 1, maxW), h = std::clamp(heightPx, 1, maxH);
  PuglView* view = asView(view_);
  puglSetSizeHint(view, PUGL_DEFAULT_SIZE, static_cast<PuglSpan>(w), static_cast<PuglSpan>(h));
  wantedW_ = w, wantedH_ = h;
  updateSizeHints();
  // An oversized window is not at the size last kept, whatever that was: it is always asked back.
  if (w != surfaceW_ || h != surfaceH_ || oversized_) {
    pendingW_ = w, pendingH_ = h;
    puglSetSize(view, static_cast<unsigned>(w), static_cast<unsigned>(h));
  }
  if (tellHost && options_.sizeChanged) options_.sizeChanged(w, h);
  // A size the editor chose must be given room by the host's window it sits in, or be taken back.
  if (tellHost && options_.parent)
    holderDeadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHolderGraceMs);
}

void EditorWindow::onConfigure(int widthPx, int heightPx) {
  if (widthPx <= 0 || heightPx <= 0) return;
  if (widthPx == pendingW_ && heightPx == pendingH_) pendingW_ = pendingH_ = 0;
  const auto [maxW, maxH] = largestSurface();
  if (widthPx > maxW || heightPx > maxH) {
    // Larger than the editor ever draws (a host asking 100000 x 100000 gets X's 32767): the window
    // is shrunk to what it supports, and nothing is drawn at the hostile size.
    oversized_ = true;
    requestSize(widthPx, heightPx, false);
    return;
  }
  if (oversized_) {
    oversized_ = false;
    fullRedraw_ = true;
  }
  if (widthPx == surfaceW_ && heightPx == surfaceH_) return;
  surfaceW_ = widthPx;
  surfaceH_ = heightPx;
  fullRedraw_ = true;
  graphics_->OnWindowResized(widthPx, heightPx);
  if (options_.resized) options_.resized(widthPx, heightPx);
}

void EditorWindow::onCreate() {
  images_.Capture(puglGetNativeWorld(asWorld(world_)), puglGetNativeView(asView(view_)));
  if (!graphics_->CreateContext()) return;
  graphics_->LoadDefaultFonts();
  if (layout_) layout_(*graphics_);
  fullRedraw_ = true;
}

void EditorWindow::onDestroy() {
  images_.Release();
  presenter_.Release();
  if (graphics_) graphics_->ReleaseContext();
}

void EditorWindow::onExpose() {
  if (!graphics_ || !graphics_->Context() || oversized_) return;
  // The picture is drawn at the editor's scale into the kept framebuffer and shown from the
  // window's top-left; the rest of a larger window is the surround.
  presenter_.Present(*graphics_, input_.get(), fullRedraw_);
  fullRedraw_ = false;
  const int w = presenter_.WidthPx(), h = presenter_.HeightPx();
  const int shownW = std::min(w, surfaceW_), shownH = std::min(h, surfaceH_);
  if (ShowsFramesAsImages()) {
    showOnWindow({{0, 0, w, h}});
    images_.Fill({shownW, 0, surfaceW_ - shownW, surfaceH_}, kSurroundGrey);
    images_.Fill({0, shownH, shownW, surfaceH_ - shownH}, kSurroundGrey);
    ++framesDrawn_;
    return;
  }
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glViewport(0, 0, surfaceW_, surfaceH_);
  if (w < surfaceW_ || h < surfaceH_) {
    glClearColor(kSurround, kSurround, kSurround, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  glBindFramebuffer(GL_READ_FRAMEBUFFER, presenter_.Framebuffer());
  glBlitFramebuffer(0, h - shownH, shownW, h, 0, surfaceH_ - shownH, shownW, surfaceH_, GL_COLOR_BUFFER_BIT,
                    GL_NEAREST);
  ++framesDrawn_;
}

bool EditorWindow::showChangedParts() {
  const auto [w, h] = PicturePixelSize(*graphics_);
  // A resize on its way, or one not drawn yet, makes a whole frame: parts are copied only onto the
  // window size the server last reported.
  if (fullRedraw_ || oversized_ || pendingW_ || w != presenter_.WidthPx() || h != presenter_.HeightPx() ||
      !puglGetVisible(asView(view_)) || !images_.Begin())
    return false;
  const std::vector<PixelRect>& parts = presenter_.Present(*graphics_, input_.get(), false);
  if (!parts.empty()) {
    showOnWindow(parts);
    ++framesDrawn_;
    ++partialFrames_;
  }
  images_.End();
  return true;
}

void EditorWindow::showOnWindow(const std::vector<PixelRect>& parts) {
  shown_.clear();
  for (const PixelRect& p : parts) {
    const int x1 = std::min(p.x + p.width, surfaceW_), y1 = std::min(p.y + p.height, surfaceH_);
    if (x1 > p.x && y1 > p.y) shown_.push_back({p.x, p.y, x1 - p.x, y1 - p.y});
  }
  images_.Show(presenter_.Framebuffer(), presenter_.HeightPx(), shown_);
}

int EditorWindow::Dispatch(const void* raw) {
  const PuglEvent* e = static_cast<const PuglEvent*>(raw);
  switch (e->type) {
    case PUGL_CREATE: onCreate(); break;
    case PUGL_DESTROY: onDestroy(); break;
    case PUGL_CONFIGURE: onConfigure(static_cast<int>(e->configure.width), static_cast<int>(e->configure.height)); break;
    case PUGL_EXPOSE: onExpose(); break;
    case PUGL_CLOSE: closeRequested_ = true; break;
    case PUGL_TIMER: frameDue_ = true; break;
    case PUGL_BUTTON_PRESS:
    case PUGL_BUTTON_RELEASE: {
      const PuglButtonEvent& b = e->button;
      const Button button = b.button == 1 ? Button::kRight : b.button == 2 ? Button::kMiddle : Button::kLeft;
      if (e->type == PUGL_BUTTON_PRESS) {
        puglGrabFocus(asView(view_));
        input_->MouseDown(static_cast<float>(b.x), static_cast<float>(b.y), button, modsOf(b.state));
      } else {
        input_->MouseUp(static_cast<float>(b.x), static_cast<float>(b.y), button, modsOf(b.state));
      }
      break;
    }
    case PUGL_MOTION:
      input_->MouseMove(static_cast<float>(e->motion.x), static_cast<float>(e->motion.y), modsOf(e->motion.state));
      break;
    case PUGL_POINTER_OUT: input_->MouseLeave(); break;
    case PUGL_SCROLL: {
      const PuglScrollEvent& s = e->scroll;
      float delta = static_cast<float>(s.dy);
      if (s.direction == PUGL_SCROLL_UP) delta = 1.f;
      if (s.direction == PUGL_SCROLL_DOWN) delta = -1.f;
      input_->Scroll(static_cast<float>(s.x), static_cast<float>(s.y), delta, modsOf(s.state));
      break;
    }
    case PUGL_KEY_PRESS: {
      const gfx::KeyPress k = keyOf(e->key);
      if (k.key != gfx::Key::kNone) input_->KeyDown(k);
      break;
    }
    case PUGL_TEXT:
      if (e->text.character >= 0x20 && e->text.character != 0x7F && !(e->text.state & PUGL_MOD_CTRL))
        input_->TextInput(e->text.string);
      break;
    default: break;
  }
  return PUGL_SUCCESS;
}

}  // namespace plugkit::platform
