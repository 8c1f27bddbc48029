// EGL surfaceless context on Mesa, framebuffer set-up, read-back and PNG files.
#include "platform/window/headless_surface.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <cstring>

namespace plugkit::platform {

std::string EncodePng(const Image& image) {
  std::string bytes;
  if (image.width <= 0 || image.height <= 0) return bytes;
  auto append = [](void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
  };
  if (!stbi_write_png_to_func(append, &bytes, image.width, image.height, 4, image.rgba.data(), image.width * 4))
    bytes.clear();
  return bytes;
}

bool WritePng(const Image& image, const std::string& path) {
  if (image.width <= 0 || image.height <= 0) return false;
  return stbi_write_png(path.c_str(), image.width, image.height, 4, image.rgba.data(), image.width * 4) != 0;
}

Image ReadPng(const std::string& path) {
  Image image;
  int channels = 0;
  unsigned char* data = stbi_load(path.c_str(), &image.width, &image.height, &channels, 4);
  if (!data) return Image{};
  image.rgba.assign(data, data + static_cast<size_t>(image.width) * image.height * 4);
  stbi_image_free(data);
  return image;
}

HeadlessSurface::HeadlessSurface() {
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  EGLDisplay display = EGL_NO_DISPLAY;
  if (getPlatformDisplay) display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (display == EGL_NO_DISPLAY) {
    error_ = "no surfaceless EGL display (Mesa's EGL driver is needed)";
    return;
  }
  EGLint major = 0, minor = 0;
  if (!eglInitialize(display, &major, &minor)) {
    error_ = "eglInitialize failed";
    return;
  }
  display_ = display;
  if (!eglBindAPI(EGL_OPENGL_API)) {
    error_ = "no desktop OpenGL through EGL";
    return;
  }
  const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                   EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
  EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, contextAttribs);
  if (context == EGL_NO_CONTEXT) {
    error_ = "no GL 3.3 core context";
    return;
  }
  context_ = context;
  makeCurrent();
}

HeadlessSurface::~HeadlessSurface() {
  if (context_) {
    makeCurrent();
    presenter_.Release();
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
  }
  if (display_) eglTerminate(display_);
}

void HeadlessSurface::makeCurrent() { eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_); }

std::unique_ptr<GraphicsGL> HeadlessSurface::CreateGraphics(EditorDelegate& delegate, int width, int height,
                                                            float scale, const std::string& resourceDir) {
  if (!Valid()) return nullptr;
  makeCurrent();
  auto g = std::make_unique<GraphicsGL>(delegate, width, height, scale);
  if (!g->CreateContext()) return nullptr;
  g->SetResourceDir(resourceDir);
  g->LoadDefaultFonts();
  return g;
}

const std::vector<PixelRect>& HeadlessSurface::Render(GraphicsGL& graphics, bool full, EditorView* overlays) {
  makeCurrent();
  const std::vector<PixelRect>& drawn = presenter_.Present(graphics, overlays, full);
  glFinish();
  return drawn;
}

Image HeadlessSurface::ReadPixels() const {
  Image image;
  if (!presenter_.Framebuffer()) return image;
  image.width = presenter_.WidthPx();
  image.height = presenter_.HeightPx();
  image.rgba.resize(static_cast<size_t>(image.width) * image.height * 4);
  glBindFramebuffer(GL_FRAMEBUFFER, presenter_.Framebuffer());
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, image.width, image.height, GL_RGBA, GL_UNSIGNED_BYTE, image.rgba.data());
  // GL's rows run bottom-up; images run top-down.
  const size_t row = static_cast<size_t>(image.width) * 4;
  std::vector<unsigned char> tmp(row);
  for (int y = 0; y < image.height / 2; ++y) {
    unsigned char* a = &image.rgba[static_cast<size_t>(y) * row];
    unsigned char* b = &image.rgba[static_cast<size_t>(image.height - 1 - y) * row];
    std::memcpy(tmp.data(), a, row);
    std::memcpy(a, b, row);
    std::memcpy(b, tmp.data(), row);
  }
  return image;
}

}  // namespace plugkit::platform
