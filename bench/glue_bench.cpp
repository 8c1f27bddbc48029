// Glue compressor cost per stereo frame at 48 kHz on loud, music-like noise.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "dsp/crossover3.h"
#include "dsp/glue.h"

#include "tests/support/pink_filter.h"

namespace {

constexpr int kBlock = 256;
constexpr int kFrames = 48000 * 2;

// Pink-ish noise with a slow level swing and a shared component between the channels, peaking
// near full scale: every band crosses its threshold and the detectors keep moving.
std::vector<double> musicLikeNoise(uint32_t seed, std::mt19937& shared) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> out(kFrames);
  plumbrook::test::PinkFilter pink;
  std::mt19937 common = shared;
  for (int i = 0; i < kFrames; ++i) {
    const double w = 0.6 * dist(common) + 0.4 * dist(rng);
    const double swing = 0.6 + 0.4 * std::sin(2.0 * 3.141592653589793 * 1.7 * i / 48000.0);
    out[i] = 0.22 * swing * pink.next(w);
  }
  return out;
}

void BM_Glue_Stereo48k_Amount200(benchmark::State& state) {
  std::mt19937 shared(7);
  const std::vector<double> srcL = musicLikeNoise(11, shared);
  const std::vector<double> srcR = musicLikeNoise(12, shared);
  plumbrook::dsp::Glue glue;
  glue.prepare(48000.0, 2);
  glue.widthActive = true;
  glue.setAmount(200.0);
  std::vector<double> left(kBlock), right(kBlock);
  double* channels[2] = {left.data(), right.data()};
  int pos = 0;
  double deepest[3] = {0.0, 0.0, 0.0};  // deepest reduction per band, to show every band works
  for (auto _ : state) {
    std::copy(srcL.begin() + pos, srcL.begin() + pos + kBlock, left.begin());
    std::copy(srcR.begin() + pos, srcR.begin() + pos + kBlock, right.begin());
    glue.setAmount(200.0);
    glue.process(channels, kBlock);
    benchmark::DoNotOptimize(left.data());
    benchmark::DoNotOptimize(right.data());
    for (int b = 0; b < 3; ++b) deepest[b] = std::min(deepest[b], glue.gainDb(b));
    pos = (pos + kBlock) % (kFrames - kBlock);
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
  state.counters["ns_per_frame"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kBlock,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["low_dB"] = deepest[0];
  state.counters["mid_dB"] = deepest[1];
  state.counters["high_dB"] = deepest[2];
}
BENCHMARK(BM_Glue_Stereo48k_Amount200);

void BM_Crossover3_Mono48k(benchmark::State& state) {
  plumbrook::dsp::Crossover3 x;
  x.prepare(48000.0, 157.0, 2700.0);
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> in(kBlock);
  for (double& v : in) v = dist(rng);
  for (auto _ : state) {
    double acc = 0.0;
    for (double v : in) {
      const auto b = x.process(v);
      acc += b.low + b.mid + b.high;
    }
    benchmark::DoNotOptimize(acc);
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_Crossover3_Mono48k);

}  // namespace
