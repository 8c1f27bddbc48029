// Editor delegate: parameter storage and values shown in the editor.
#include "core/editor_delegate.h"

#include <algorithm>

namespace plugkit {

EditorDelegate::EditorDelegate(int nParams) {
  params_.reserve(static_cast<size_t>(std::max(0, nParams)));
  for (int i = 0; i < nParams; ++i) params_.push_back(std::make_unique<Param>());
}

void EditorDelegate::OnParamChange(int paramIdx, ParamSource, int) { OnParamChange(paramIdx); }

void EditorDelegate::ShowParamInUI(int paramIdx, double value, bool normalised) {
  if (EditorSurface* ui = GetUI()) {
    const Param* param = GetParam(paramIdx);
    if (param) ui->SetParamValueFromDelegate(paramIdx, normalised ? value : param->ToNormalized(value));
  }
  OnParamChangeUI(paramIdx, kDelegate);
}

void GraphicsEditorDelegate::AttachUI(EditorSurface* surface) {
  ui_ = surface;
  if (ui_) OnUIOpen();
}

void GraphicsEditorDelegate::DetachUI() {
  if (!ui_) return;
  OnUIClose();
  ui_ = nullptr;
}

}  // namespace plugkit
