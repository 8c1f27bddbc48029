// Limiter cost per stereo frame at 48 kHz in 256-frame blocks, about 10 dB into the ceiling.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "dsp/limiter.h"

#include "tests/support/pink_filter.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
constexpr int kFrames = 48000;

// Pink-ish noise with a bass line, peaking at 0 dBFS: busy, loud material.
std::vector<double> musicNoise(uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> white(-1.0, 1.0);
  std::vector<double> x(kFrames);
  plumbrook::test::PinkFilter pink;
  for (int i = 0; i < kFrames; ++i) {
    x[static_cast<size_t>(i)] = 0.1 * pink.next(white(rng)) + 0.5 * std::sin(2.0 * 3.14159265 * 55.0 * i / kRate);
  }
  double peak = 0.0;
  for (double v : x) peak = std::max(peak, std::fabs(v));
  for (double& v : x) v /= peak;
  return x;
}

void runLimiter(benchmark::State& state, bool lookahead, bool truePeak, bool metering, bool gliding = false) {
  const std::vector<double> left = musicNoise(1);
  const std::vector<double> right = musicNoise(2);
  std::vector<double> outL(kBlock), outR(kBlock);
  quillfen::dsp::Limiter lim;
  lim.settings.thresholdDb = -10.0f;
  lim.settings.ceilingDb = 0.0f;
  lim.settings.lookahead = lookahead;
  lim.settings.truePeak = truePeak;
  lim.prepare(kRate);
  lim.setMetering(metering);
  int pos = 0;
  float reduction = 0.0f;
  for (auto _ : state) {
    const double* in[2] = {left.data() + pos, right.data() + pos};
    double* out[2] = {outL.data(), outR.data()};
    // Moving the threshold every block keeps threshold and drive gliding: the costliest steady case.
    if (gliding) lim.settings.thresholdDb = (pos / kBlock) % 2 ? -10.0f : -12.0f;
    lim.run<true>(in, out, 2, kBlock, nullptr);
    benchmark::DoNotOptimize(outL.data());
    benchmark::DoNotOptimize(outR.data());
    reduction = std::max(reduction, lim.takeReportedReduction());
    (void)lim.takeReportedOutputPeak();
    pos += kBlock;
    if (pos + kBlock > kFrames) pos = 0;
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
  state.counters["ns_per_frame"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kBlock, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["max_reduction_dB"] = reduction;
}

void BM_LimiterZeroLatency(benchmark::State& state) { runLimiter(state, false, false, false); }
void BM_LimiterLookahead(benchmark::State& state) { runLimiter(state, true, false, false); }
void BM_LimiterTruePeak(benchmark::State& state) { runLimiter(state, true, true, false); }
void BM_LimiterTruePeakMetering(benchmark::State& state) { runLimiter(state, true, true, true); }
void BM_LimiterTruePeakMeteringGliding(benchmark::State& state) { runLimiter(state, true, true, true, true); }

}  // namespace

BENCHMARK(BM_LimiterZeroLatency);
BENCHMARK(BM_LimiterLookahead);
BENCHMARK(BM_LimiterTruePeak);
BENCHMARK(BM_LimiterTruePeakMetering);
BENCHMARK(BM_LimiterTruePeakMeteringGliding);
