// GL framebuffers behind the NanoVG back end; the NanoVG GL3 renderer is reached by its C entry points.
#include "platform/window/graphics_gl.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

// The renderer's entry points (compiled from NanoVG's GL3 header in the third-party target).
extern "C" {
struct NVGcontext;
NVGcontext* nvgCreateGL3(int flags);
void nvgDeleteGL3(NVGcontext* ctx);
GLuint nvglImageHandleGL3(NVGcontext* ctx, int image);
}

namespace plugkit::platform {

namespace {
constexpr int kAntialias = 1 << 0;       // geometry anti-aliasing
constexpr int kStencilStrokes = 1 << 1;  // overlapping stroke segments drawn once
}  // namespace

GraphicsGL::GraphicsGL(EditorDelegate& delegate, int width, int height, float scale)
    : GraphicsNanoVG(delegate, width, height, scale) {}

GraphicsGL::~GraphicsGL() { ReleaseContext(); }

bool GraphicsGL::CreateContext() {
  if (Context()) return true;
  NVGcontext* vg = nvgCreateGL3(kAntialias | kStencilStrokes);
  if (!vg) return false;
  SetContext(vg);
  return true;
}

void GraphicsGL::ReleaseContext() {
  NVGcontext* vg = Context();
  if (!vg) return;
  // Controls may keep layers; they become stale and release nothing once the context is gone.
  RemoveAllControls();
  for (auto& [handle, t] : targets_) {
    glDeleteFramebuffers(1, &t.framebuffer);
    glDeleteRenderbuffers(1, &t.stencil);
    FreeImage(t.image);
  }
  targets_.clear();
  nvgDeleteGL3(vg);
  SetContext(nullptr);
}

void GraphicsGL::BindMainTarget(int surfaceHeightPx, int x, int y, int width, int height) {
  glBindFramebuffer(GL_FRAMEBUFFER, mainFramebuffer_);
  glViewport(x, (mainHeightPx_ > 0 ? mainHeightPx_ : surfaceHeightPx) - y - height, width, height);
}

int GraphicsGL::CreateTarget(int widthPx, int heightPx) {
  Target t{};
  t.image = NewImage(widthPx, heightPx);
  if (t.image <= 0) return 0;
  const GLuint texture = nvglImageHandleGL3(Context(), t.image);
  glGenFramebuffers(1, &t.framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, t.framebuffer);
  glGenRenderbuffers(1, &t.stencil);
  glBindRenderbuffer(GL_RENDERBUFFER, t.stencil);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_STENCIL_INDEX8, widthPx, heightPx);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, t.stencil);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  const int handle = nextHandle_++;
  targets_[handle] = t;
  return handle;
}

void GraphicsGL::BindTarget(int handle, int widthPx, int heightPx) {
  auto it = targets_.find(handle);
  glBindFramebuffer(GL_FRAMEBUFFER, it == targets_.end() ? mainFramebuffer_ : it->second.framebuffer);
  glViewport(0, 0, widthPx, heightPx);
}

int GraphicsGL::TargetImage(int handle) {
  auto it = targets_.find(handle);
  return it == targets_.end() ? 0 : it->second.image;
}

void GraphicsGL::DeleteTarget(int handle) {
  auto it = targets_.find(handle);
  if (it == targets_.end() || !Context()) return;
  glDeleteFramebuffers(1, &it->second.framebuffer);
  glDeleteRenderbuffers(1, &it->second.stencil);
  FreeImage(it->second.image);
  targets_.erase(it);
}

bool KeptFramebuffer::ensure(int width, int height) {
  if (framebuffer && widthPx == width && heightPx == height) return false;
  release();
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glGenRenderbuffers(1, &color);
  glBindRenderbuffer(GL_RENDERBUFFER, color);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
  glGenRenderbuffers(1, &stencil);
  glBindRenderbuffer(GL_RENDERBUFFER, stencil);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, stencil);
  widthPx = width;
  heightPx = height;
  return true;
}

void KeptFramebuffer::release() {
  if (!framebuffer) return;
  glDeleteFramebuffers(1, &framebuffer);
  glDeleteRenderbuffers(1, &color);
  glDeleteRenderbuffers(1, &stencil);
  framebuffer = color = stencil = 0;
}

}  // namespace plugkit::platform
