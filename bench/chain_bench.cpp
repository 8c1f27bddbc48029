// Whole signal chain cost per stereo frame at 48 kHz: every stage working, editor open.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "plugin/plumbrook.h"
#include "tests/support/fake_editor.h"

#include "tests/support/pink_filter.h"

namespace {

constexpr int kBlock = 256;
constexpr int kFrames = 48000 * 4;

// Loud pink-ish noise with a slow level swing and kick-like bursts, partly shared by both channels.
std::vector<double> programme(uint32_t seed) {
  std::mt19937 shared(7), own(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> out(kFrames);
  plumbrook::test::PinkFilter pink;
  for (int i = 0; i < kFrames; ++i) {
    const double w = 0.6 * dist(shared) + 0.4 * dist(own);
    const double swing = 0.6 + 0.4 * std::sin(2.0 * M_PI * 1.7 * i / 48000.0);
    const double beat = (i % 24000) < 4000 ? std::sin(2.0 * M_PI * 55.0 * i / 48000.0) * std::exp(-(i % 24000) / 1500.0) : 0.0;
    out[static_cast<size_t>(i)] = 0.25 * swing * pink.next(w) + 0.5 * beat;
  }
  return out;
}

void BM_ChainStereo48kEveryStage(benchmark::State& state) {
  const bool editorOpen = state.range(0) != 0;
  const std::vector<double> srcL = programme(11), srcR = programme(12);
  auto plugin = plumbrook::MakePlugin();
  plugin->InitializeIO(2, 2);
  plugin->SetHostSampleRate(48000.0);
  plugin->SetParameterFromHost(plumbrook::kAmount, 200.0);
  plugin->SetParameterFromHost(plumbrook::kGain, 1.0);
  plugin->SetParameterFromHost(plumbrook::kLimiterThreshold, -10.0);
  plugin->SetParameterFromHost(plumbrook::kLimiterCeiling, -1.0);
  plugin->SetParameterFromHost(plumbrook::kLimiterTruePeak, 1.0);
  plugin->SetParameterFromHost(plumbrook::kLimiterLookahead, 1.0);
  plumbrook::test::FakeEditor editor;
  if (editorOpen) plugin->AttachUI(&editor);

  std::vector<double> left(kBlock), right(kBlock);
  double* in[2] = {left.data(), right.data()};
  double* out[2] = {left.data(), right.data()};
  int pos = 0;
  long blocks = 0;
  float deepest = 0.0f;
  for (auto _ : state) {
    // EQ bands keep gliding: new targets every 20 blocks.
    if (blocks % 20 == 0) {
      const double phase = static_cast<double>(blocks / 20);
      plugin->SetParameterFromHost(plumbrook::kEqLow, 4.0 * std::sin(phase));
      plugin->SetParameterFromHost(plumbrook::kEqMid, -3.0 * std::cos(phase));
      plugin->SetParameterFromHost(plumbrook::kEqHigh, 2.0 * std::sin(0.7 * phase));
    }
    std::copy(srcL.begin() + pos, srcL.begin() + pos + kBlock, left.begin());
    std::copy(srcR.begin() + pos, srcR.begin() + pos + kBlock, right.begin());
    plugin->ProcessBlock(in, out, kBlock);
    benchmark::DoNotOptimize(left.data());
    if (editorOpen) deepest = std::max(deepest, plugin->meterReadings().limiterReduction.exchange(0.0f));
    pos = (pos + kBlock) % (kFrames - kBlock);
    ++blocks;
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
  state.counters["ns_per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  if (editorOpen) state.counters["limiter_dB"] = deepest;
  plugin->DetachUI();
}
BENCHMARK(BM_ChainStereo48kEveryStage)->Arg(1)->Arg(0)->ArgName("editor_open");

}  // namespace
