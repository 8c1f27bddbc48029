// The speed table: ns per frame of the chain and of each stage, stereo and mono, in blocks of
// 16, 64, 256 and 1024 frames at 48 kHz. bench/speed_table.sh prints it with the LV2 peers.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "bench/stage_runner.h"

namespace {

using plumbrook::bench::Stage;
using plumbrook::bench::StageRunner;

void BM_Stage(benchmark::State& state) {
  const auto stage = static_cast<Stage>(state.range(0));
  const int channels = static_cast<int>(state.range(1));
  const int block = static_cast<int>(state.range(2));
  StageRunner runner(stage, channels, block);
  for (int i = 0; i < 48000 / block; ++i) runner.runBlock();  // one second to settle
  for (auto _ : state) {
    runner.runBlock();
    benchmark::DoNotOptimize(runner.output(0));
  }
  state.SetLabel(plumbrook::bench::kStageNames[state.range(0)]);
  state.counters["ns_per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * block,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void stageArguments(benchmark::internal::Benchmark* b) {
  for (const Stage stage : {Stage::kChain, Stage::kChainMetering, Stage::kEq, Stage::kGlue, Stage::kLimiter})
    for (const int channels : {2, 1})
      for (const int block : {16, 64, 256, 1024}) b->Args({static_cast<int>(stage), channels, block});
}

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BENCHMARK(BM_Stage)->Apply(stageArguments)->ArgNames({"stage", "channels", "block"})->ComputeStatistics("min", minimum);

// Preparing at the current settings, as the first block after activation does on the audio thread.
void BM_PrepareAtCurrentSettings(benchmark::State& state) {
  auto plugin = plumbrook::MakePlugin();
  plugin->InitializeIO(2, 2);
  plugin->SetHostSampleRate(48000.0);
  for (auto _ : state) plugin->prepareAtCurrentSettings();
}
BENCHMARK(BM_PrepareAtCurrentSettings);

}  // namespace
