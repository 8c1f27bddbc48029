// Cost of the EQ stage per stereo frame at 48 kHz, all three bands gliding, 256-frame blocks.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "dsp/eq.h"

#include "tests/support/pink_filter.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
constexpr int kBlocks = 64;

// Pink-ish noise with a slow level swell, so the filters see music-like spectra and levels.
std::vector<double> musicLikeNoise(uint32_t seed, int frames) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> out(static_cast<size_t>(frames));
  plumbrook::test::PinkFilter pink;
  for (int i = 0; i < frames; ++i) {
    const double swell = 0.6 + 0.4 * (i % 9600) / 9600.0;
    out[static_cast<size_t>(i)] = 0.12 * swell * pink.next(dist(rng));
  }
  return out;
}

void runEq(benchmark::State& state, bool gliding) {
  const int frames = kBlock * kBlocks;
  const std::vector<double> left = musicLikeNoise(1, frames);
  const std::vector<double> right = musicLikeNoise(2, frames);
  std::vector<double> l(kBlock), r(kBlock);
  double* channels[2] = {l.data(), r.data()};

  plumbrook::dsp::Eq eq;
  eq.prepare(kRate, 2);
  eq.set(0, 4.0);
  eq.set(1, -3.0);
  eq.set(2, 3.5);
  int block = 0;
  for (auto _ : state) {
    const size_t offset = static_cast<size_t>((block % kBlocks) * kBlock);
    std::copy_n(left.begin() + static_cast<std::ptrdiff_t>(offset), kBlock, l.begin());
    std::copy_n(right.begin() + static_cast<std::ptrdiff_t>(offset), kBlock, r.begin());
    if (gliding) {
      // Alternate targets every block so every band keeps gliding and redesigning (Mid also changes curve).
      const bool odd = (block & 1) != 0;
      eq.set(0, odd ? -6.0 : 8.0);
      eq.set(1, odd ? -4.5 : 5.0);
      eq.set(2, odd ? 5.5 : -2.0);
    }
    eq.process(channels, kBlock);
    benchmark::DoNotOptimize(l.data());
    benchmark::DoNotOptimize(r.data());
    benchmark::ClobberMemory();
    ++block;
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
  state.counters["sec_per_frame"] =
      benchmark::Counter(static_cast<double>(kBlock), benchmark::Counter::kIsIterationInvariantRate |
                                                          benchmark::Counter::kInvert);
}

void BM_EqStereoGliding(benchmark::State& state) { runEq(state, true); }
void BM_EqStereoSteady(benchmark::State& state) { runEq(state, false); }

}  // namespace

BENCHMARK(BM_EqStereoGliding);
BENCHMARK(BM_EqStereoSteady);
