// One frame of an editor: damage gathered once, drawn into the kept picture, the pop-up on top.
#include "platform/window/frame_presenter.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "platform/window/editor_view.h"

namespace plugkit::platform {

std::pair<int, int> PicturePixelSize(const gfx::Graphics& graphics) {
  const float scale = graphics.GetTotalScale();
  return {static_cast<int>(std::lround(static_cast<float>(graphics.Width()) * scale)),
          static_cast<int>(std::lround(static_cast<float>(graphics.Height()) * scale))};
}

bool FramePresenter::HasChanges(const GraphicsGL& graphics) const {
  const auto [w, h] = PicturePixelSize(graphics);
  return !kept_.framebuffer || w != kept_.widthPx || h != kept_.heightPx || graphics.HasDamage();
}

const std::vector<PixelRect>& FramePresenter::Present(GraphicsGL& graphics, EditorView* overlays, bool full) {
  drawn_.clear();
  const auto [w, h] = PicturePixelSize(graphics);
  if (kept_.ensure(w, h)) {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    full = true;
  }
  lastWasWhole_ = full;
  if (full) {
    regions_.Clear();
    regions_.Add(graphics.GetBounds());
  } else if (!graphics.IsDirty(regions_)) {
    return drawn_;
  }
  const float s = graphics.GetTotalScale();
  regions_.PixelAlign(s);
  regions_.Optimize();
  for (const gfx::Rect& r : regions_) {
    const int x0 = std::max(0, static_cast<int>(std::lround(r.L * s)));
    const int y0 = std::max(0, static_cast<int>(std::lround(r.T * s)));
    const int x1 = std::min(w, static_cast<int>(std::lround(r.R * s)));
    const int y1 = std::min(h, static_cast<int>(std::lround(r.B * s)));
    if (x1 > x0 && y1 > y0) drawn_.push_back({x0, y0, x1 - x0, y1 - y0});
  }
  // Where the editor's edge falls inside a pixel, drawing covers that pixel only partly and would
  // blend with what an earlier frame left there: every part starts from the same clear picture.
  glBindFramebuffer(GL_FRAMEBUFFER, kept_.framebuffer);
  glEnable(GL_SCISSOR_TEST);
  glClearColor(0, 0, 0, 0);
  for (const PixelRect& p : drawn_) {
    glScissor(p.x, h - p.y - p.height, p.width, p.height);
    glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  }
  glDisable(GL_SCISSOR_TEST);
  graphics.SetMainFramebuffer(kept_.framebuffer, 0);
  graphics.BeginFrame();
  if (overlays && overlays->OverlayOpen())
    graphics.Draw(regions_, [overlays](gfx::Graphics& g) { overlays->DrawOverlay(g); });
  else
    graphics.Draw(regions_);
  graphics.EndFrame();
  return drawn_;
}

}  // namespace plugkit::platform
