// Plumbrook's saved state: a tagged, versioned layout; plain parameter lists still read.
#include <algorithm>
#include <cmath>

#include "plugin/plumbrook.h"

using plugkit::ByteChunk;

bool Plumbrook::SerializeState(ByteChunk& chunk) const {
  const int32_t tag = plumbrook::kStateTag;
  const int32_t version = 1;
  const int32_t accent = accentIndex_.load();
  chunk.Put(&tag);
  chunk.Put(&version);
  chunk.Put(&accent);

  int32_t width = 0;
  int32_t height = 0;
  if (restoredSizeAwaitsWindow_) {
    // Restored while the editor was open and not shown yet: the stored size stays the chosen one.
    width = restoredEditorSize_.first;
    height = restoredEditorSize_.second;
  } else if (const plugkit::EditorSurface* ui = GetUI()) {
    width = static_cast<int32_t>(ui->Width() * ui->GetDrawScale());
    height = static_cast<int32_t>(ui->Height() * ui->GetDrawScale());
  } else {
    const float scale = platformScale_ > 0.0f ? platformScale_ : 1.0f;
    width = static_cast<int32_t>(std::lround(GetEditorWidth() / scale));
    height = static_cast<int32_t>(std::lround(GetEditorHeight() / scale));
  }
  chunk.Put(&width);
  chunk.Put(&height);

  chunk.PutStr(presetName());
  const int32_t mark = presetModified() ? 1 : 0;
  chunk.Put(&mark);

  const int32_t count = NParams();
  chunk.Put(&count);
  for (int i = 0; i < NParams(); ++i) {
    const double value = GetParam(i)->Value();
    chunk.Put(&value);
  }
  const int32_t hostBypass = GetBypassed() ? 1 : 0;
  chunk.Put(&hostBypass);
  return true;
}

int Plumbrook::UnserializeState(const ByteChunk& chunk, int startPos) {
  int32_t tag = 0;
  if (chunk.Get(&tag, startPos) < 0 || tag != plumbrook::kStateTag) return UnserializeParams(chunk, startPos);

  int32_t version = 0, accent = 0, width = 0, height = 0, mark = 0, count = 0;
  std::string name;
  int pos = startPos + 4;
  pos = chunk.Get(&version, pos);
  pos = chunk.Get(&accent, pos);
  pos = chunk.Get(&width, pos);
  pos = chunk.Get(&height, pos);
  pos = chunk.GetStr(name, pos);
  pos = chunk.Get(&mark, pos);
  pos = chunk.Get(&count, pos);
  if (chunk.Size() == 0 || pos < 0 || count < 0) return UnserializeParams(chunk, startPos);

  setAccentIndex(accent);
  restoreEditorSize(width, height);

  for (int i = 0; i < NParams(); ++i) GetParam(i)->SetToDefault();
  for (int i = 0; i < count; ++i) {
    double value = 0.0;
    pos = chunk.Get(&value, pos);
    if (pos < 0) return -1;
    if (i < NParams()) GetParam(i)->Set(value);
  }

  setPresetName(name);
  retakePresetSnapshot(mark != 0);
  for (int i = 0; i < NParams(); ++i) {
    OnParamChange(i, plugkit::kPresetRecall, -1);
    OnParamChangeUI(i, plugkit::kPresetRecall);
  }
  return pos;
}

void Plumbrook::restoreEditorSize(int width, int height) {
  if (width > 0 && height > 0 &&
      std::fabs(static_cast<double>(width) / height - plumbrook::kDesignAspect) > 0.01) {
    width = plumbrook::kDesignWidth;
    height = plumbrook::kDesignHeight;
  }
  restoredEditorSize_ = {width, height};
  if (width <= 0 || height <= 0) return;
  if (GetUI()) {
    // The open editor asks its window for the size at its next idle tick, on its own thread.
    restoredSizeAwaitsWindow_ = true;
    restoredSizeAsked_ = false;
    return;
  }

  int w = static_cast<int>(std::lround(width * static_cast<double>(platformScale_)));
  int h = static_cast<int>(std::lround(height * static_cast<double>(platformScale_)));
  plumbrook::constrainEditorSize(w, h, platformScale_);
  SetEditorSize(w, h);
}
