// Plumbrook: configuration, parameter table, preparation, latency and Limiter Link.
#include "plugin/plumbrook.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "plugin/eq_travel_shape.h"

using plugkit::Param;
using plugkit::ParamSource;

namespace plumbrook {

plugkit::Config MakeConfig() {
  plugkit::Config config;
  config.nParams = kNumParams;
  config.nPresets = 1;
  config.channelIOStr = "1-1 2-2";
  config.pluginName = "Plumbrook";
  config.productName = "Plumbrook";
  config.mfrName = "Quillfen";
  config.vendorVersion = kVendorVersion;
  config.uniqueID = plugkit::FourCharCode("QfPb");
  config.mfrID = plugkit::FourCharCode("Qlfn");
  config.latency = 0;
  config.plugDoesChunks = true;
  config.plugType = 0;
  config.plugHasUI = true;
  config.plugWidth = kDesignWidth;
  config.plugHeight = kDesignHeight;
  config.plugMinWidth = kMinEditorWidth;
  config.plugMinHeight = kMinEditorHeight;
  config.plugMaxWidth = kMaxEditorWidth;
  config.plugMaxHeight = kMaxEditorHeight;
  config.plugHostResize = true;
  config.bundleID = "example.quillfen.plumbrook";
  config.appGroupID = "group.example.quillfen";
  return config;
}

std::string versionText() { return plugkit::VersionText(kVendorVersion).substr(1); }

std::unique_ptr<Plumbrook> MakePlugin(Services services) {
  plugkit::InstanceInfo info;
  info.viewClassName = "Plumbrook_View";
  return std::make_unique<Plumbrook>(info, std::move(services));
}

namespace {

void displayDecibels(double value, std::string& out) {
  char text[plugkit::Param::kTextLength];
  std::snprintf(text, sizeof text, "%.1f dB", value);
  out = text;
}

void displayPercent(double value, std::string& out) {
  char text[plugkit::Param::kTextLength];
  std::snprintf(text, sizeof text, "%.0f %%", value);
  out = text;
}

// Zero always reads "+0.0 dB", never with a minus sign.
void displaySignedDecibels(double value, std::string& out) {
  char text[plugkit::Param::kTextLength];
  std::snprintf(text, sizeof text, "%+.1f dB", std::fabs(value) < 0.05 ? 0.0 : value);
  out = text;
}

float finiteOr(float value, float fallback) {
  return std::isfinite(value) ? std::clamp(value, -30.0f, 0.0f) : fallback;
}

}  // namespace
}  // namespace plumbrook

using namespace plumbrook;

Plumbrook::Plumbrook(const plugkit::InstanceInfo&, Services services)
    : plugkit::HostAdapter(MakeConfig()), appSupport_(std::move(services.appSupport)) {
  SetEditorSize(kDesignWidth, kDesignHeight);

  const Param::ShapeLinear linear;
  GetParam(kBypass)->InitBool("Bypass", false);
  GetParam(kGain)->InitDouble("Gain", 0.0, -24.0, 24.0, 0.1, "", 0, "", linear, Param::kUnitDB,
                              displayDecibels);
  GetParam(kAmount)->InitDouble("Amount", 100.0, 0.0, 200.0, 0.1, "", 0, "", linear,
                                Param::kUnitPercentage, displayPercent);
  GetParam(kWidthActive)->InitBool("Width Active", true);
  GetParam(kLimiterActive)->InitBool("Limiter Active", true);
  GetParam(kLimiterThreshold)->InitDouble("Limiter Threshold", 0.0, -30.0, 0.0, 0.1, "", 0, "",
                                          linear, Param::kUnitDB, displayDecibels);
  GetParam(kLimiterCeiling)->InitDouble("Limiter Ceiling", static_cast<double>(-0.3f), -30.0, 0.0,
                                        0.1, "", 0, "", linear, Param::kUnitDB, displayDecibels);
  GetParam(kLimiterTruePeak)->InitBool("Limiter True Peak", false);
  GetParam(kLimiterLookahead)->InitBool("Limiter Lookahead", false);
  GetParam(kLimiterLink)->InitBool("Limiter Link", false);
  const char* const eqNames[3] = {"EQ Low", "EQ Mid", "EQ High"};
  for (int band = 0; band < 3; ++band) {
    const double range = dsp::Eq::rangeDb(band);
    GetParam(kEqLow + band)->InitDouble(eqNames[band], 0.0, -range, range, 0.01, "", 0, "",
                                        EqTravelShape(band), Param::kUnitDB, displaySignedDecibels);
  }

  eq_.prepare(48000.0, 2);
  glue_.prepare(48000.0, 2);
  limiter_.prepare(48000.0);
  setAccentIndex(5);

  quillfen::updates::Config updates;
  updates.product = "plumbrook";
  updates.version = versionText();
  if (!appSupport_.empty()) updates.directory = quillfen::updates::defaultDirectory(appSupport_);
  updates.fetch = std::move(services.fetch);
  updates.networkAllowed = std::move(services.networkAllowed);
  updateCheck_ = std::make_shared<quillfen::updates::UpdateCheck>(std::move(updates));
  if (services.backgroundUpdateCheck && !appSupport_.empty())
    updateWorker_ = std::make_unique<quillfen::updates::UpdateWorker>(updateCheck_);
}

Plumbrook::~Plumbrook() {
  updateWorker_.reset();  // stops and joins before anything it could reach goes away
  updateCheck_.reset();
}

quillfen::dsp::Limiter::Settings Plumbrook::limiterSettings() const {
  quillfen::dsp::Limiter::Settings settings;
  settings.thresholdDb = static_cast<float>(GetParam(kLimiterThreshold)->Value());
  settings.ceilingDb = static_cast<float>(GetParam(kLimiterCeiling)->Value());
  settings.lookahead = GetParam(kLimiterLookahead)->Bool();
  settings.truePeak = GetParam(kLimiterTruePeak)->Bool();
  settings.reserved1 = false;
  settings.reserved2 = false;
  settings.mode = 2;
  return settings;
}

quillfen::dsp::Limiter::Settings Plumbrook::clampedLimiterSettings() const {
  quillfen::dsp::Limiter::Settings settings = limiterSettings();
  settings.thresholdDb = finiteOr(settings.thresholdDb, 0.0f);
  settings.ceilingDb = finiteOr(settings.ceilingDb, -0.3f);
  return settings;
}

int Plumbrook::wantedLatency() const {
  const bool delayed = GetParam(kLimiterLookahead)->Bool() || GetParam(kLimiterTruePeak)->Bool();
  return delayed ? cachedLookahead_.load() : 0;
}

void Plumbrook::OnReset() {
  const double rate = GetSampleRate();
  if (rate != preparedSampleRate_) {
    preparedSampleRate_ = rate;
    processChannels_ = ConnectedChannels(plugkit::kOutput) >= 2 ? 2 : 1;
    eq_.prepare(rate, processChannels_);
    glue_.prepare(rate, processChannels_);

    // prepare applies these settings at once, so no reconfiguration fade is needed here.
    limiter_.settings = clampedLimiterSettings();
    limiter_.prepare(rate);

    const double fadeStep = rate > 0.0 ? 1.0 / (0.02 * rate) : 1.0 / 960.0;
    limiterFade_.step = bypassFade_.step = fadeStep;
    limiterFade_.settle(GetParam(kLimiterActive)->Bool());
    bypassFade_.settle(!GetParam(kBypass)->Bool() && !GetBypassed());
    bypassHold_ = 0;

    gainRamp_.length = std::max(1, static_cast<int>(std::lround(0.02 * rate)));
    std::fill(&dryRing_[0][0], &dryRing_[0][0] + 2 * kDryRing, 0.0);
    dryWrite_ = 0;
    gainRamp_.snap(GainRamp::gainOfDecibels(GetParam(kGain)->Value()));
    lastBlockStart_ = 0;
  }

  const int lookahead = limiter_.latency();
  cachedLookahead_.store(lookahead);
  // Decide from the parameters: the limiter's record is only refreshed by processed blocks,
  // so while the host bypasses the plug-in it may be stale and would flip the latency.
  const quillfen::dsp::Limiter::Settings wanted = limiterSettings();
  if (wanted.lookahead || wanted.truePeak) {
    if (lookahead != GetLatency()) {
      AudioProcessor::SetLatency(lookahead);
      latencyPending_.store(true);
    }
  } else if (GetLatency() != 0) {
    AudioProcessor::SetLatency(0);
    latencyPending_.store(true);
  }
}

void Plumbrook::prepareAtCurrentSettings() {
  preparedSampleRate_ = 0.0;
  OnReset();
}

void Plumbrook::OnIdle() {
  reportLatencyIfChanged();
  followEditorSettings();
  runPendingPresetSave();
  updatePresetModified();
  refreshEditor();
}

bool Plumbrook::reportLatencyIfChanged() {
  const int wanted = wantedLatency();
  const bool differs = wanted != GetLatency();
  // Looked at before it is exchanged: run() calls this on every block, and an exchange is a
  // locked read-modify-write.
  if (!differs && !(latencyPending_.load(std::memory_order_relaxed) && latencyPending_.exchange(false)))
    return false;
  AudioProcessor::SetLatency(wanted);
  SetLatency(wanted);
  return true;
}

void Plumbrook::OnParamChangeUI(int paramIdx, ParamSource source) {
  if (paramIdx == kLimiterThreshold || paramIdx == kLimiterCeiling) {
    if (source == plugkit::kUI && !linkGuard_ && GetParam(kLimiterLink)->Bool()) {
      followLink(paramIdx);
    } else if (!linkGuard_) {
      linkMemory_ = {GetParam(kLimiterThreshold)->Value(), GetParam(kLimiterCeiling)->Value()};
    }
  }
}

void Plumbrook::sendLinkedValue(int paramIdx, double value) {
  const double normalised = GetParam(paramIdx)->ToNormalized(value);
  SetParamFromUI(paramIdx, normalised);
  if (plugkit::EditorSurface* ui = GetUI()) ui->SetParamValueFromDelegate(paramIdx, normalised);
}

void Plumbrook::followLink(int paramIdx) {
  const bool movedThreshold = paramIdx == kLimiterThreshold;
  const int other = movedThreshold ? kLimiterCeiling : kLimiterThreshold;
  const auto [t0, c0] = linkMemory_;
  const double threshold = GetParam(kLimiterThreshold)->Value();
  const double ceiling = GetParam(kLimiterCeiling)->Value();

  // The other value moved by a path that did not refresh the memory: take it as it is.
  const double otherRemembered = movedThreshold ? c0 : t0;
  const double otherValue = movedThreshold ? ceiling : threshold;
  if (std::fabs(otherValue - otherRemembered) > 1e-6) {
    linkMemory_ = {threshold, ceiling};
    return;
  }

  linkGuard_ = true;
  BeginParamGesture(other);
  const double movedValue = movedThreshold ? threshold : ceiling;
  double delta = movedValue - (movedThreshold ? t0 : c0);
  delta = std::clamp(delta, -30.0 - std::min(t0, c0), 0.0 - std::max(t0, c0));
  const std::pair<double, double> shifted{t0 + delta, c0 + delta};
  sendLinkedValue(other, movedThreshold ? shifted.second : shifted.first);
  EndParamGesture(other);

  const double movedTarget = movedThreshold ? shifted.first : shifted.second;
  if (movedValue != movedTarget) sendLinkedValue(paramIdx, movedTarget);
  linkGuard_ = false;
  linkMemory_ = shifted;
}

void Plumbrook::refreshLinkMemory() {
  linkMemory_ = {GetParam(kLimiterThreshold)->Value(), GetParam(kLimiterCeiling)->Value()};
}

void Plumbrook::setAccentIndex(int index) {
  if (index >= 6 || index < 0) index = 0;
  if (accentIndex_.exchange(index) != index) accentChanged_.store(true);
}

std::string Plumbrook::presetName() const {
  std::lock_guard lock(presetNameMutex_);
  return presetName_;
}

void Plumbrook::setPresetName(const std::string& name) {
  std::lock_guard lock(presetNameMutex_);
  presetName_ = name;
}

std::vector<double> Plumbrook::soundSnapshot() const {
  std::vector<double> values(static_cast<size_t>(NParams()));
  for (int i = 0; i < NParams(); ++i) values[static_cast<size_t>(i)] = GetParam(i)->Value();
  return values;
}

void Plumbrook::retakePresetSnapshot(bool modified) {
  modifiedBase_.store(modified);
  presetSnapshot_.clear();
  modifiedSinceSnapshot_.store(false);
  retakePending_.store(true);
}

void Plumbrook::updatePresetModified() {
  if (retakePending_.exchange(false)) {
    presetSnapshot_ = soundSnapshot();
    modifiedSinceSnapshot_.store(modifiedBase_.load());
    modifiedBase_.store(false);
    return;
  }
  if (modifiedSinceSnapshot_.load() || presetName().empty()) return;
  const std::vector<double> now = soundSnapshot();
  if (now.empty() || now.size() != presetSnapshot_.size()) return;
  for (size_t i = 0; i < now.size(); ++i) {
    if (std::fabs(now[i] - presetSnapshot_[i]) > std::max(std::fabs(now[i]), 1.0) * 1e-6) {
      modifiedSinceSnapshot_.store(true);
      if (plugkit::EditorSurface* ui = GetUI()) ui->MarkAllControlsDirty();
      return;
    }
  }
}
