// Plumbrook's editor rules that need no drawing: size limits, scale, accent, title and status line.
#include <algorithm>
#include <cmath>

#include "plugin/plumbrook.h"

namespace plumbrook {

void constrainEditorSize(int& width, int& height, float platformScale) {
  const long largestWidth = platformScale > 1.0f ? std::lroundf(kMaxEditorWidth * platformScale) : kMaxEditorWidth;
  const long largestHeight =
      platformScale > 1.0f ? std::lroundf(kMaxEditorHeight * platformScale) : kMaxEditorHeight;
  long w = width < kMinEditorWidth ? kMinEditorWidth : std::min<long>(width, largestWidth);
  long h = height < kMinEditorHeight ? kMinEditorHeight : std::min<long>(height, largestHeight);
  constexpr auto kAspect = static_cast<float>(kDesignAspect);
  if (static_cast<float>(w) / static_cast<float>(h) > kAspect)
    w = std::lroundf(static_cast<float>(h) * kAspect);
  else
    h = std::lroundf(static_cast<float>(w) / kAspect);
  width = static_cast<int>(w);
  height = static_cast<int>(h);
}

std::string statusText(int latencySamples) {
  return "Plumbrook " + versionText() + " \u00b7 " + std::to_string(latencySamples) + " samples latency";
}

}  // namespace plumbrook

using plumbrook::EditorHalf;

void Plumbrook::attachEditor(EditorHalf* editor) {
  if (editor_ && GetUI() == editor_) DetachUI();
  editor_ = editor;
  restoredSizeAwaitsWindow_ = false;  // a new editor opens at the stored size
  statusText_.clear();
  if (!editor) return;
  // The new editor was just laid out with the current accent.
  accentChanged_.store(false);
  AttachUI(editor);
}

float Plumbrook::platformScale() const {
  if (const plugkit::EditorSurface* ui = GetUI()) return ui->GetBackingScale();
  return platformScale_;
}

float Plumbrook::initialDrawScale() const {
  const float s = std::min(static_cast<float>(GetEditorWidth()) / (plumbrook::kDesignWidth * platformScale_),
                           static_cast<float>(GetEditorHeight()) / (plumbrook::kDesignHeight * platformScale_));
  if (!(s > 0.0f) || !std::isfinite(s)) return 1.0f;
  return std::clamp(s, static_cast<float>(plumbrook::kMinEditorWidth) / plumbrook::kDesignWidth,
                    static_cast<float>(plumbrook::kMaxEditorWidth) / plumbrook::kDesignWidth);
}

void Plumbrook::followScreenScale(float s) {
  if (!(s > 0.0f) || !std::isfinite(s) || s == platformScale_) return;
  // The stored size is in pixels of the screen it was measured on: on this one it keeps its draw scale.
  if (GetEditorWidth() > 0 && GetEditorHeight() > 0 && platformScale_ > 0.0f)
    SetEditorSize(static_cast<int>(std::lround(GetEditorWidth() * static_cast<double>(s) / platformScale_)),
                  static_cast<int>(std::lround(GetEditorHeight() * static_cast<double>(s) / platformScale_)));
  platformScale_ = s;
}

float Plumbrook::editorScale() const {
  if (const plugkit::EditorSurface* ui = GetUI())
    return std::trunc(static_cast<float>(ui->Width()) * ui->GetDrawScale()) / plumbrook::kDesignWidth;
  if (GetEditorWidth() > 0)
    return static_cast<float>(GetEditorWidth()) / (plumbrook::kDesignWidth * platformScale_);
  return 1.0f;
}

void Plumbrook::applyEditorScale(float scale) {
  EditorHalf* open = editor();
  if (!open) return;
  int w = static_cast<int>(std::lroundf(plumbrook::kDesignWidth * scale));
  int h = static_cast<int>(std::lroundf(plumbrook::kDesignHeight * scale));
  plumbrook::constrainEditorSize(w, h, open->GetBackingScale());
  open->resize(std::min(static_cast<float>(h) / plumbrook::kDesignHeight,
                        static_cast<float>(w) / plumbrook::kDesignWidth),
               true);
}

bool Plumbrook::ConstrainEditorResize(int& width, int& height) const {
  const float s = platformScale();
  const int largestWidth = s > 1.0f ? static_cast<int>(std::lroundf(plumbrook::kMaxEditorWidth * s))
                                    : plumbrook::kMaxEditorWidth;
  const int largestHeight = s > 1.0f ? static_cast<int>(std::lroundf(plumbrook::kMaxEditorHeight * s))
                                     : plumbrook::kMaxEditorHeight;
  const bool inRange = width >= plumbrook::kMinEditorWidth && width <= largestWidth &&
                       height >= plumbrook::kMinEditorHeight && height <= largestHeight;
  const int askedWidth = width;
  const int askedHeight = height;
  plumbrook::constrainEditorSize(width, height, s);
  return inRange && width == askedWidth && height == askedHeight;
}

void Plumbrook::OnParentWindowResize(int width, int height) {
  EditorHalf* open = editor();
  if (!open) return;
  if (restoredSizeAsked_) restoredSizeAwaitsWindow_ = false;
  const float s = open->GetBackingScale();
  platformScale_ = s;
  plumbrook::constrainEditorSize(width, height, s);
  const float drawScale = std::min(static_cast<float>(width) / (plumbrook::kDesignWidth * s),
                                   static_cast<float>(height) / (plumbrook::kDesignHeight * s));
  if (std::fabs(drawScale - open->GetDrawScale()) > 0.001f) open->resize(drawScale, false);
  SetEditorSize(width, height);
}

void Plumbrook::OnUIOpen() {
  editorOpen_.store(true);
  for (int i = 0; i < NParams(); ++i) ShowParamInUI(i, GetParam(i)->GetNormalized(), true);
}

void Plumbrook::OnUIClose() { editorOpen_.store(false); }

void Plumbrook::followEditorSettings() {
  EditorHalf* open = editor();
  if (plugkit::EditorSurface* ui = GetUI()) followScreenScale(ui->GetBackingScale());

  if (accentIndex() == 5 && rememberedTrackColour_ != -1) {
    rememberedTrackColour_ = -1;
    accentChanged_.store(true);
  }
  if (open && accentChanged_.exchange(false)) {
    open->rebuild();
    statusText_.clear();
    for (int i = 0; i < NParams(); ++i) ShowParamInUI(i, GetParam(i)->GetNormalized(), true);
    open->MarkAllControlsDirty();
  }

  if (open && restoredSizeAwaitsWindow_ && !restoredSizeAsked_) {
    restoredSizeAsked_ = true;
    applyEditorScale(static_cast<float>(restoredEditorSize_.first) / plumbrook::kDesignWidth);
  }

  std::string label;
  trackLabel(label);
  if (label != trackName_) {
    trackName_ = label;
    if (open) open->setTitle(label);
  }
}

void Plumbrook::refreshEditor() {
  EditorHalf* open = editor();
  if (!open) return;
  const int latency = GetLatency();
  std::string status = plumbrook::statusText(latency);
  if (status != statusText_) {
    open->setStatus(status, latency > 0);
    statusText_ = std::move(status);
  }
  open->idle();
}
