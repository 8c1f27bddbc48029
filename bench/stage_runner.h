// Drives the whole chain or one of its stages block by block on a loud music-like programme at
// 48 kHz, every stage working: shared by the benchmark table and the instruction-count driver.
#pragma once

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "plugin/plumbrook.h"
#include "dsp/eq.h"
#include "dsp/glue.h"
#include "dsp/limiter.h"
#include "tests/support/fake_editor.h"
#include "tests/support/pink_filter.h"

namespace plumbrook::bench {

enum class Stage { kChain, kChainMetering, kEq, kGlue, kLimiter };
inline constexpr const char* kStageNames[] = {"chain", "chain+meters", "eq", "glue", "limiter"};

class StageRunner {
 public:
  static constexpr double kRate = 48000.0;
  static constexpr int kFrames = 48000 * 4;

  /// A stage for 1 or 2 channels and a block length in frames; allocates (set-up only).
  StageRunner(Stage stage, int channels, int block) : stage_(stage), channels_(channels), block_(block) {
    for (int c = 0; c < channels; ++c) {
      source_[c] = programme(11 + static_cast<uint32_t>(c));
      work_[c].resize(static_cast<size_t>(block));
      pointers_[c] = work_[c].data();
      dry_[c].resize(static_cast<size_t>(block));
      dryPointers_[c] = dry_[c].data();
    }
    switch (stage) {
      case Stage::kChain:
      case Stage::kChainMetering:
        plugin_ = MakePlugin();
        plugin_->InitializeIO(channels, channels);
        plugin_->SetHostSampleRate(kRate);
        plugin_->SetParameterFromHost(kAmount, 200.0);
        plugin_->SetParameterFromHost(kGain, 1.0);
        plugin_->SetParameterFromHost(kLimiterThreshold, -10.0);
        plugin_->SetParameterFromHost(kLimiterCeiling, -1.0);
        plugin_->SetParameterFromHost(kLimiterTruePeak, 1.0);
        plugin_->SetParameterFromHost(kLimiterLookahead, 1.0);
        plugin_->prepareAtCurrentSettings();
        if (stage == Stage::kChainMetering) plugin_->AttachUI(&editor_);
        break;
      case Stage::kEq: eq_.prepare(kRate, channels); break;
      case Stage::kGlue:
        glue_.prepare(kRate, channels);
        glue_.setAmount(200.0);
        break;
      case Stage::kLimiter:
        limiter_.settings.thresholdDb = -10.0f;
        limiter_.settings.ceilingDb = -1.0f;
        limiter_.settings.lookahead = true;
        limiter_.settings.truePeak = true;
        limiter_.prepare(kRate);
        break;
    }
  }

  ~StageRunner() {
    if (plugin_) plugin_->DetachUI();
  }

  /// Processes the next block of the programme in place. The EQ targets move every 20 blocks of
  /// 256 frames, so its bands keep gliding.
  void runBlock() {
    for (int c = 0; c < channels_; ++c)
      std::copy_n(source_[c].begin() + position_, block_, work_[c].begin());
    if (sinceEqChange_ >= 20 * 256) {
      sinceEqChange_ = 0;
      ++eqPhase_;
      const double low = 4.0 * std::sin(eqPhase_), mid = -3.0 * std::cos(eqPhase_), high = 2.0 * std::sin(0.7 * eqPhase_);
      if (plugin_) {
        plugin_->SetParameterFromHost(kEqLow, low);
        plugin_->SetParameterFromHost(kEqMid, mid);
        plugin_->SetParameterFromHost(kEqHigh, high);
      } else {
        eq_.set(0, low);
        eq_.set(1, mid);
        eq_.set(2, high);
      }
    }
    switch (stage_) {
      case Stage::kChain:
      case Stage::kChainMetering:
        plugin_->ProcessBlock(pointers_, pointers_, block_);
        if (stage_ == Stage::kChainMetering) (void)plugin_->meterReadings().limiterReduction.exchange(0.0f);
        break;
      case Stage::kEq: eq_.process(pointers_, block_); break;
      case Stage::kGlue: glue_.process(pointers_, block_); break;
      case Stage::kLimiter:
        limiter_.run<true>(pointers_, pointers_, channels_, block_, dryPointers_);
        (void)limiter_.takeReportedReduction();
        (void)limiter_.takeReportedOutputPeak();
        break;
    }
    sinceEqChange_ += block_;
    position_ += block_;
    if (position_ + block_ > kFrames) position_ = 0;
  }

  const double* output(int channel) const { return work_[channel].data(); }

 private:
  // Loud pink-ish noise with a slow level swing and kick-like bursts, partly shared by both channels.
  static std::vector<double> programme(uint32_t seed) {
    std::mt19937 shared(7), own(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> out(kFrames);
    test::PinkFilter pink;
    for (int i = 0; i < kFrames; ++i) {
      const double w = 0.6 * dist(shared) + 0.4 * dist(own);
      const double swing = 0.6 + 0.4 * std::sin(2.0 * M_PI * 1.7 * i / kRate);
      const double beat = (i % 24000) < 4000 ? std::sin(2.0 * M_PI * 55.0 * i / kRate) * std::exp(-(i % 24000) / 1500.0) : 0.0;
      out[static_cast<size_t>(i)] = 0.25 * swing * pink.next(w) + 0.5 * beat;
    }
    return out;
  }

  Stage stage_;
  int channels_;
  int block_;
  std::vector<double> source_[2];
  std::vector<double> work_[2];
  std::vector<double> dry_[2];
  double* pointers_[2] = {nullptr, nullptr};
  double* dryPointers_[2] = {nullptr, nullptr};
  int position_ = 0;
  int sinceEqChange_ = 0;
  int eqPhase_ = 0;
  std::unique_ptr<Plumbrook> plugin_;
  test::FakeEditor editor_;
  dsp::Eq eq_;
  dsp::Glue glue_;
  quillfen::dsp::Limiter limiter_;
};

}  // namespace plumbrook::bench
