// Framework bases: plain state, editor/host traffic, adapter operations.
#include "core/plugin_base.h"

namespace plugkit {

PluginBase::PluginBase(const Config& config) : GraphicsEditorDelegate(config.nParams), config_(config) {}

bool PluginBase::SerializeParams(ByteChunk& chunk) const {
  for (int i = 0; i < NParams(); ++i) {
    const double value = GetParam(i)->Value();
    chunk.Put(&value);
  }
  return chunk.Size() > 0;
}

int PluginBase::UnserializeParams(const ByteChunk& chunk, int startPos) {
  int pos = startPos;
  if (startPos >= 0) {
    for (int i = 0; i < NParams() && pos >= 0; ++i) {
      double value = 0.0;
      pos = chunk.Get(&value, pos);
      if (pos >= 0) GetParam(i)->Set(value);
    }
  }
  OnParamReset(kPresetRecall);
  return pos;
}

void PluginBase::OnParamReset(ParamSource source) {
  for (int i = 0; i < NParams(); ++i) {
    OnParamChange(i, source, -1);
    OnParamChangeUI(i, source);
  }
}

void HostApiBase::SetParamFromUI(int paramIdx, double normalised) {
  Param* param = GetParam(paramIdx);
  if (!param) return;
  param->SetNormalized(normalised);
  NotifyHostOfParamChange(paramIdx, normalised);
  OnParamChange(paramIdx, kUI, -1);
  OnParamChangeUI(paramIdx, kUI);
}

void HostApiBase::NotifyHostOfAllParams() {
  for (int i = 0; i < NParams(); ++i) NotifyHostOfParamChange(i, GetParam(i)->GetNormalized());
}

void HostApiBase::QueueParamFromHost(int paramIdx, double value, bool normalised) {
  const Param* param = GetParam(paramIdx);
  if (!param) return;
  hostToEditor_.push({paramIdx, normalised ? param->FromNormalized(value) : value});
}

void HostApiBase::OnTimer() {
  ParamChange change;
  while (hostToEditor_.pop(change)) ShowParamInUI(change.index, change.value, false);
  OnIdle();
}

void HostApiBase::OnRestoreState() {
  for (int i = 0; i < NParams(); ++i) ShowParamInUI(i, GetParam(i)->GetNormalized(), true);
}

void HostAdapter::BeginParamGesture(int paramIdx) {
  if (host_) host_->BeginParamGesture(paramIdx);
}

void HostAdapter::EndParamGesture(int paramIdx) {
  if (host_) host_->EndParamGesture(paramIdx);
}

void HostAdapter::NotifyHostOfParamChange(int paramIdx, double normalised) {
  if (host_) host_->NotifyHostOfParamChange(paramIdx, normalised);
}

void HostAdapter::SetLatency(int samples) {
  if (host_) host_->LatencyChanged(samples);
  AudioProcessor::SetLatency(samples);
}

bool HostAdapter::InitializeIO(int nInputs, int nOutputs) {
  if (!LegalIO(nInputs, nOutputs)) return false;
  SetChannelConnections(kInput, nInputs);
  SetChannelConnections(kOutput, nOutputs);
  initialized_ = true;
  OnParamReset(kReset);
  return true;
}

void HostAdapter::SetHostSampleRate(double sampleRate) {
  SetSampleRate(sampleRate);
  OnReset();
}

void HostAdapter::SetHostBypass(bool bypassed) {
  SetBypassed(bypassed);
  OnReset();
}

void HostAdapter::RenderBlock(double** inputs, double** outputs, int nFrames) {
  if (GetBypassed() && !FadesHostBypass()) PassThroughBuffers(inputs, outputs, nFrames);
  else ProcessBlock(inputs, outputs, nFrames);
}

void HostAdapter::SetParameterFromHost(int paramIdx, double value, int sampleOffset) {
  Param* param = GetParam(paramIdx);
  if (!param) return;
  param->Set(value);
  QueueParamFromHost(paramIdx, param->Value());
  OnParamChange(paramIdx, kHost, sampleOffset);
}

float HostAdapter::GetParameterForHost(int paramIdx) const {
  const Param* param = GetParam(paramIdx);
  return param ? static_cast<float>(param->Value()) : 0.0f;
}

bool HostAdapter::RestoreStateChunk(const ByteChunk& chunk) {
  if (UnserializeState(chunk, 0) < 0) return false;
  OnRestoreState();
  return true;
}

}  // namespace plugkit
