// In-process host for the command-line tool and the tests.
#include "platform/offline/offline_host.h"

#include <algorithm>
#include <cmath>

#include "platform/system/app_support.h"

namespace plumbrook::offline {

OfflineHost::OfflineHost(std::unique_ptr<Plumbrook> plugin, const Options& options)
    : plugin_(std::move(plugin)), options_(options) {
  plugin_->AttachHost(this);
}

OfflineHost::~OfflineHost() {
  if (plugin_) plugin_->AttachHost(nullptr);
}

std::unique_ptr<OfflineHost> OfflineHost::create(const Options& options, std::string& error) {
  // The user's presets, but no update check: a batch host stays off the network.
  Services services;
  services.appSupport = plugkit::AppSupportPath();
  auto plugin = MakePlugin(std::move(services));
  if (!plugin->LegalIO(options.inputs, options.outputs)) {
    error = "the plug-in does not accept " + std::to_string(options.inputs) + " input and " +
            std::to_string(options.outputs) + " output channels";
    return nullptr;
  }
  if (options.blockSize < 1) {
    error = "the block size must be at least 1";
    return nullptr;
  }
  std::unique_ptr<OfflineHost> host(new OfflineHost(std::move(plugin), options));
  Plumbrook& p = host->plugin();
  p.SetBlockSize(options.blockSize);
  p.InitializeIO(options.inputs, options.outputs);
  p.SetRenderingOffline(options.renderingOffline);
  p.SetHostSampleRate(options.sampleRate);
  return host;
}

void OfflineHost::setSampleRate(double sampleRate) {
  options_.sampleRate = sampleRate;
  plugin_->SetHostSampleRate(sampleRate);
}

void OfflineHost::setHostBypass(bool bypassed) { plugin_->SetHostBypass(bypassed); }

void OfflineHost::processBlock(double** inputs, double** outputs, int nFrames) {
  plugin_->RenderBlock(inputs, outputs, nFrames);
  framesSinceTimer_ += std::max(0, nFrames);
  const auto timerFrames = static_cast<int64_t>(std::max(1.0, std::round(0.02 * options_.sampleRate)));
  while (framesSinceTimer_ >= timerFrames) {
    framesSinceTimer_ -= timerFrames;
    plugin_->OnTimer();
  }
}

void OfflineHost::process(const std::vector<const double*>& inputs,
                          const std::vector<double*>& outputs, int64_t nFrames) {
  blockIn_.resize(inputs.size());
  blockOut_.resize(outputs.size());
  for (int64_t start = 0; start < nFrames; start += options_.blockSize) {
    const int n = static_cast<int>(std::min<int64_t>(options_.blockSize, nFrames - start));
    for (size_t c = 0; c < inputs.size(); ++c)
      blockIn_[c] = inputs[c] ? const_cast<double*>(inputs[c]) + start : nullptr;
    for (size_t c = 0; c < outputs.size(); ++c) blockOut_[c] = outputs[c] + start;
    processBlock(inputs.empty() ? nullptr : blockIn_.data(), blockOut_.data(), n);
  }
}

void OfflineHost::setParameter(int paramIdx, double value, int sampleOffset) {
  plugin_->SetParameterFromHost(paramIdx, value, sampleOffset);
}

SavedState OfflineHost::saveState() const {
  const plugkit::Config& config = plugin_->GetConfig();
  SavedState state;
  state.version = config.vendorVersion;
  state.type = kEffectType;
  state.subtype = config.uniqueID;
  state.manufacturer = config.mfrID;
  plugkit::ByteChunk chunk;
  if (plugin_->SerializeState(chunk)) state.data = chunk.Bytes();
  return state;
}

bool OfflineHost::restoreState(const SavedState& state) {
  const plugkit::Config& config = plugin_->GetConfig();
  if (state.type != kEffectType || state.subtype != config.uniqueID ||
      state.manufacturer != config.mfrID || !state.data)
    return false;
  const plugkit::ByteChunk chunk(state.data->data(), static_cast<int>(state.data->size()));
  return plugin_->RestoreStateChunk(chunk);
}

void OfflineHost::BeginParamGesture(int paramIdx) { events_.push_back({Event::kBeginGesture, paramIdx, 0.0}); }

void OfflineHost::EndParamGesture(int paramIdx) { events_.push_back({Event::kEndGesture, paramIdx, 0.0}); }

void OfflineHost::NotifyHostOfParamChange(int paramIdx, double normalised) {
  events_.push_back({Event::kParamChange, paramIdx, normalised});
}

void OfflineHost::LatencyChanged(int samples) {
  reportedLatency_ = samples;
  events_.push_back({Event::kLatency, -1, static_cast<double>(samples)});
}

}  // namespace plumbrook::offline
