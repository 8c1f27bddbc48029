// The signal chain: gain, EQ, glue, limiter and a latency-aligned bypass, with metering.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "plugin/plumbrook.h"
#include "dsp/denormals.h"

using plumbrook::LinearFade;
using plumbrook::MeterReadings;
using namespace plumbrook;

namespace {

int64_t steadyNowNs() noexcept {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

constexpr int64_t kStaleBlockNs = 200'000'000;

// Hosts can hand over NaN, infinities or absurd levels; one such sample would otherwise
// poison the filter states (and the dry path) for good. Far beyond any real signal.
constexpr double kLargestInput = 1e6;

void sanitize(double* x, int n) noexcept {
  for (int i = 0; i < n; ++i) {
    const double v = x[i];
    x[i] = std::fabs(v) <= kLargestInput ? v : (std::isfinite(v) ? std::copysign(kLargestInput, v) : 0.0);
  }
}

}  // namespace

void Plumbrook::resetDsp() noexcept {
  eq_.reset();
  glue_.reset();
  limiter_.restart();
}

void Plumbrook::ProcessBlock(double** inputs, double** outputs, int nFrames) {
  const dsp::ScopedDenormalsOff denormalsOff;

  BlockPlan plan;
  plan.sanitizeInPlace = copyInputToOutputs(inputs, outputs, nFrames);
  const int nOut = outputs ? ConnectedChannels(plugkit::kOutput) : 0;
  plan.channels = std::min(2, nOut);
  plan.editorOpen = editorOpen_.load(std::memory_order_relaxed);

  resetIfStale();
  followChannelCount(plan.channels);
  updateBypassAndGain(plan);
  if (plan.chainRuns) setStageParameters();
  plan.limiterRuns = updateLimiter(plan);
  plan.dryDelay = limiter_.settings.lookahead || limiter_.settings.truePeak
                      ? std::min(limiter_.latency(), kDryRing - 1)
                      : 0;
  // Back from bypass the processed path is empty until its delay has refilled: the fade back
  // waits for that, so that it mixes in audio and not the silence of the cleared line.
  if (plan.chainResumed) bypassHold_ = plan.dryDelay;
  // A fade that has arrived at the processed side changes nothing: its pass is skipped.
  plan.limiterFadeSettled = limiterFade_.on && limiterFade_.value >= 1.0;
  plan.bypassFadeSettled = bypassFade_.on && bypassFade_.value >= 1.0;

  BlockMeters meters;
  if (nFrames > 0 && nOut > 0) {
    for (int start = 0; start < nFrames; start += kSubBlock) {
      const int n = std::min(kSubBlock, nFrames - start);
      double* channel[2] = {outputs[0] + start, outputs[plan.channels - 1] + start};
      processSubBlock(plan, channel, n, meters);
    }
  }

  if (nOut > 0) {
    takeLimiterMeters(plan, meters);
    meters_.channels.store(plan.channels, std::memory_order_relaxed);
    if (nFrames > 0 && plan.editorOpen) publishMeters(plan, outputs, nFrames, meters);
  }
}

bool Plumbrook::copyInputToOutputs(double** inputs, double** outputs, int nFrames) noexcept {
  const int nIn = ConnectedChannels(plugkit::kInput);
  const int nOut = ConnectedChannels(plugkit::kOutput);
  if (!outputs || nFrames <= 0 || nOut <= 0) return false;
  const int nCopy = inputs ? std::min(nIn, nOut) : 0;
  const size_t bytes = sizeof(double) * static_cast<size_t>(nFrames);
  for (int c = 0; c < nCopy; ++c) {
    if (!inputs[c]) std::memset(outputs[c], 0, bytes);
    else if (inputs[c] != outputs[c]) std::memmove(outputs[c], inputs[c], bytes);
  }
  if (nCopy == 0) {
    for (int c = 0; c < nOut; ++c) std::memset(outputs[c], 0, bytes);
    return false;
  }
  // When every output is processed, the first pass over each sub-block cleans the samples on
  // its way (cleaning works sample by sample, so copying first changes nothing).
  const bool deferred = nOut <= 2;
  if (!deferred)
    for (int c = 0; c < nCopy; ++c) sanitize(outputs[c], nFrames);
  for (int c = nCopy; c < nOut; ++c) std::memmove(outputs[c], outputs[0], bytes);
  return deferred;
}

void Plumbrook::resetIfStale() noexcept {
  // A long pause leaves stale state: start from rest, the limiter muted until its delay has
  // refilled. The gap is measured between the starts of blocks, with one clock read per block;
  // offline rendering has no gaps and reads no clock.
  if (GetRenderingOffline()) {
    lastBlockStart_ = 0;
    return;
  }
  const int64_t now = steadyNowNs();
  const bool stale = lastBlockStart_ != 0 && now - lastBlockStart_ > kStaleBlockNs;
  lastBlockStart_ = now;
  if (stale) {
    resetDsp();
    if (limiter_.appliedDelay() > 0) limiter_.mute();
  }
}

void Plumbrook::followChannelCount(int channels) noexcept {
  if (channels > 0 && channels != processChannels_) {
    processChannels_ = channels;
    eq_.prepare(GetSampleRate(), channels);
    glue_.prepare(GetSampleRate(), channels);
  }
}

void Plumbrook::updateBypassAndGain(BlockPlan& plan) noexcept {
  const double gainDb = GetParam(kGain)->Value();
  // The conversion costs a pow; the control rarely moves between blocks.
  if (!(gainDb == gainSeenDb_)) {
    gainSeenDb_ = gainDb;
    gainSeen_ = GainRamp::gainOfDecibels(gainDb);
  }
  // The host's bypass and the Bypass parameter share one latency-aligned crossfade.
  bypassFade_.on = GetParam(kBypass)->Value() < 0.5 && !GetBypassed();
  plan.chainRuns = bypassFade_.on || bypassFade_.value > 0.0;
  plan.chainResumed = plan.chainRuns && !bypassFade_.running;
  if (plan.chainResumed) {
    eq_.reset();
    glue_.reset();
    gainRamp_.snap(gainSeen_);
  }
  bypassFade_.running = plan.chainRuns;
  gainRamp_.setTarget(gainSeen_);
}

void Plumbrook::setStageParameters() noexcept {
  // The EQ keeps its targets, and setting an unchanged one does nothing (a reset has already
  // snapped to it), so only bands that moved since the last block are handed on. The glue is
  // always told: while it is fresh from a reset, setting the amount resets it again, which
  // also takes up a width switch made since.
  const int eqParams[3] = {kEqLow, kEqMid, kEqHigh};
  for (int band = 0; band < 3; ++band) {
    const double dB = GetParam(eqParams[band])->Value();
    if (!(dB == eqSeenDb_[band])) {
      eqSeenDb_[band] = dB;
      eq_.set(band, dB);
    }
  }
  glue_.setAmount(GetParam(kAmount)->Value());
  glue_.widthActive = GetParam(kWidthActive)->Value() >= 0.5;
}

bool Plumbrook::updateLimiter(const BlockPlan& plan) noexcept {
  limiterFade_.on = GetParam(kLimiterActive)->Value() >= 0.5;
  const bool limiterRuns = limiterFade_.on || limiterFade_.value > 0.0;
  if (limiterRuns) {
    if (plan.chainRuns && !limiterFade_.running) limiter_.restart();
    limiterFade_.running = true;
  } else {
    limiterFade_.running = false;
  }

  const int previousMode = limiter_.settings.mode;
  limiter_.settings = clampedLimiterSettings();
  // Back from bypass the limiter starts afresh with the settings of now: its line still holds
  // audio from before the bypass, which must not be replayed, and a switch made while bypassed
  // takes effect at once instead of fading the processed path out and in again.
  if (plan.chainResumed) limiter_.reset();
  const bool delayed = limiter_.settings.lookahead || limiter_.settings.truePeak;
  const int wantedDelay = delayed ? limiter_.latency() : 0;
  if (wantedDelay != limiter_.appliedDelay() ||
      limiter_.settings.truePeak != limiter_.appliedTruePeak() || previousMode != 2)
    limiter_.requestReconfigure();
  limiter_.setMetering(plan.chainRuns && plan.editorOpen);
  return limiterRuns;
}

void Plumbrook::processSubBlock(const BlockPlan& plan, double* const* channel, int n,
                                BlockMeters& meters) noexcept {
  if (!plan.chainRuns) {
    if (plan.channels == 2) delayDry<2, false, true>(plan, channel, n);
    else delayDry<1, false, true>(plan, channel, n);
    return;
  }
  const bool unityGain = gainRamp_.remaining == 0 && gainRamp_.current == 1.0;
  const bool keepDry = !plan.bypassFadeSettled;
  if (plan.channels == 2) {
    if (unityGain) keepDry ? delayDry<2, true, false>(plan, channel, n) : delayDry<2, false, false>(plan, channel, n);
    else keepDry ? delayDryAndApplyGain<2, true>(plan, channel, n) : delayDryAndApplyGain<2, false>(plan, channel, n);
  } else {
    if (unityGain) keepDry ? delayDry<1, true, false>(plan, channel, n) : delayDry<1, false, false>(plan, channel, n);
    else keepDry ? delayDryAndApplyGain<1, true>(plan, channel, n) : delayDryAndApplyGain<1, false>(plan, channel, n);
  }
  if (plan.editorOpen) measureInput(plan, channel, n, meters);
  eq_.process(channel, n);
  glue_.process(channel, n);
  for (int b = 0; b < 3; ++b)
    meters.glueReduction[b] =
        std::max(meters.glueReduction[b], glue_.idle() ? 0.0f : -static_cast<float>(glue_.gainDb(b)));
  runLimiter(plan, channel, n);
  if (!plan.bypassFadeSettled) applyBypassFade(plan, channel, n);
}

// Cleans a host sample (when the input copy left that to this pass) and writes it into the
// channel's dry ring at `write`.
[[gnu::always_inline]] inline double Plumbrook::takeSample(const BlockPlan& plan, double* x, int i, double* ring,
                                                         int write) noexcept {
  double v = x[i];
  if (plan.sanitizeInPlace) {
    v = std::fabs(v) <= kLargestInput ? v : (std::isfinite(v) ? std::copysign(kLargestInput, v) : 0.0);
    x[i] = v;
  }
  ring[write] = v;
  return v;
}

template <int kChannels, bool kKeepDry, bool kDryToOutput>
void Plumbrook::delayDry(const BlockPlan& plan, double* const* channel, int n) noexcept {
  constexpr int kMask = kDryRing - 1;
  const int back = kDryRing - plan.dryDelay;
  for (int c = 0; c < kChannels; ++c) {
    double* ring = dryRing_[c];
    double* dry = dry_[c];
    double* x = channel[c];
    for (int i = 0; i < n; ++i) {
      const int write = (dryWrite_ + i) & kMask;
      takeSample(plan, x, i, ring, write);
      // Written before read, so that a delay of 0 reads the sample itself.
      if constexpr (kDryToOutput) x[i] = ring[(write + back) & kMask];
      if constexpr (kKeepDry) dry[i] = ring[(write + back) & kMask];
    }
  }
  dryWrite_ = (dryWrite_ + n) & kMask;
}

template <int kChannels, bool kKeepDry>
void Plumbrook::delayDryAndApplyGain(const BlockPlan& plan, double* const* channel, int n) noexcept {
  constexpr int kMask = kDryRing - 1;
  const int back = kDryRing - plan.dryDelay;
  for (int i = 0; i < n; ++i) {
    const int write = (dryWrite_ + i) & kMask;
    const double g = gainRamp_.next();
    for (int c = 0; c < kChannels; ++c) {
      double* ring = dryRing_[c];
      const double v = takeSample(plan, channel[c], i, ring, write);
      if constexpr (kKeepDry) dry_[c][i] = ring[(write + back) & kMask];
      channel[c][i] = v * g;
    }
  }
  dryWrite_ = (dryWrite_ + n) & kMask;
}

void Plumbrook::measureInput(const BlockPlan& plan, const double* const* channel, int n,
                             BlockMeters& meters) noexcept {
  float inputPeak = meters.inputPeak;
  double inputSum = meters.inputSum;
  for (int i = 0; i < n; ++i) {
    for (int c = 0; c < plan.channels; ++c) {
      const double y = channel[c][i];
      inputPeak = std::max(inputPeak, static_cast<float>(std::fabs(y)));
      inputSum += y * y;
    }
  }
  meters.inputPeak = inputPeak;
  meters.inputSum = inputSum;
}

void Plumbrook::runLimiter(const BlockPlan& plan, double* const* channel, int n) noexcept {
  if (!plan.limiterRuns) {
    limiter_.run<false>(channel, channel, plan.channels, n, nullptr);
    return;
  }
  if (plan.limiterFadeSettled) {
    limiter_.run<true>(channel, channel, plan.channels, n, nullptr);
    return;
  }
  double* limiterDry[2] = {limiterDry_[0], limiterDry_[1]};
  limiter_.run<true>(channel, channel, plan.channels, n, limiterDry);
  for (int i = 0; i < n; ++i) {
    const double fade = limiterFade_.advance();
    for (int c = 0; c < plan.channels; ++c)
      channel[c][i] = LinearFade::mix(channel[c][i], limiterDry_[c][i], fade);
  }
}

void Plumbrook::applyBypassFade(const BlockPlan& plan, double* const* channel, int n) noexcept {
  for (int i = 0; i < n; ++i) {
    const bool holding = bypassHold_ > 0;
    if (holding) --bypassHold_;
    const double fade = holding ? bypassFade_.value : bypassFade_.advance();
    for (int c = 0; c < plan.channels; ++c) channel[c][i] = LinearFade::mix(channel[c][i], dry_[c][i], fade);
  }
}

void Plumbrook::takeLimiterMeters(const BlockPlan& plan, BlockMeters& meters) noexcept {
  if (!plan.chainRuns) return;
  const float reduction = limiter_.takeReportedReduction();
  const float peak = limiter_.takeReportedOutputPeak();
  if (plan.limiterRuns) {
    meters.limiterReduction = reduction;
    meters.limiterPeak = peak;
  }
}

void Plumbrook::publishMeters(const BlockPlan& plan, double* const* outputs, int nFrames,
                              const BlockMeters& meters) noexcept {
  // While the limiter runs it has measured the output peak already.
  const bool peakFromLimiter = plan.chainRuns && plan.limiterRuns;
  float outputPeak = peakFromLimiter ? meters.limiterPeak : 0.0f;
  double outputSum = 0.0;
  for (int c = 0; c < plan.channels; ++c) {
    const double* y = outputs[c == 0 ? 0 : plan.channels - 1];
    for (int i = 0; i < nFrames; ++i) {
      outputSum += y[i] * y[i];
      if (!peakFromLimiter) outputPeak = std::max(outputPeak, static_cast<float>(std::fabs(y[i])));
    }
  }
  MeterReadings::add(meters_.outputSumSquares, outputSum / plan.channels);
  meters_.outputFrames.fetch_add(nFrames, std::memory_order_relaxed);
  MeterReadings::raiseTo(meters_.inputPeak, meters.inputPeak);
  MeterReadings::add(meters_.inputSumSquares, meters.inputSum / plan.channels);
  meters_.inputFrames.fetch_add(nFrames, std::memory_order_relaxed);
  for (int b = 0; b < 3; ++b) MeterReadings::raiseTo(meters_.glueReduction[b], meters.glueReduction[b]);
  MeterReadings::raiseTo(meters_.limiterReduction, meters.limiterReduction);
  MeterReadings::raiseTo(meters_.outputPeak, outputPeak);
}
