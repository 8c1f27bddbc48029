// The editor's drawing cost on llvmpipe: a full frame at scales 1 and 2, a frame in which only the
// six meters moved, and the CPU of one second with the editor open at 60 frames per second while
// audio plays, beside the same second of audio alone. The CPU column counts every thread of the
// process, llvmpipe's included; for one second of audio it reads directly as milliseconds of CPU
// per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "plugin/plumbrook.h"
#include "editor/editor_drawing.h"
#include "platform/window/headless_surface.h"
#include "tests/support/meter_swing.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;

// A plug-in at 48 kHz stereo with every stage working.
std::unique_ptr<Plumbrook> workingPlugin() {
  auto plugin = plumbrook::MakePlugin();
  plugin->InitializeIO(2, 2);
  plugin->SetHostSampleRate(kRate);
  plugin->SetParameterFromHost(plumbrook::kAmount, 150.0);
  plugin->SetParameterFromHost(plumbrook::kLimiterThreshold, -8.0);
  plugin->SetParameterFromHost(plumbrook::kLimiterTruePeak, 1.0);
  plugin->OnTimer();
  return plugin;
}

// An open editor drawn headless, with a clock the benchmark moves.
struct HeadlessEditor {
  explicit HeadlessEditor(Plumbrook& plugin, float scale) {
    const auto resources = plumbrook::editor::defaultResources();
    graphics = surface.CreateGraphics(plugin, plumbrook::kDesignWidth, plumbrook::kDesignHeight, scale,
                                      resources.regularFont.parent_path().string());
    if (graphics)
      editor = std::make_unique<plumbrook::editor::PlumbrookEditor>(plugin, *graphics, resources,
                                                                     [this] { return nowNs; });
  }
  ~HeadlessEditor() {
    editor.reset();
    graphics.reset();
  }
  plugkit::platform::HeadlessSurface surface;
  std::unique_ptr<plugkit::platform::GraphicsGL> graphics;
  std::unique_ptr<plumbrook::editor::PlumbrookEditor> editor;
  int64_t nowNs = 0;
};

// Plays one block of a moving test signal.
void playBlock(Plumbrook& plugin, long block, std::vector<double>& left, std::vector<double>& right) {
  for (int i = 0; i < kBlock; ++i) {
    const double t = static_cast<double>(block * kBlock + i) / kRate;
    const double level = 0.4 + 0.35 * std::sin(2.0 * M_PI * 0.7 * t);
    left[static_cast<size_t>(i)] = level * std::sin(2.0 * M_PI * 110.0 * t);
    right[static_cast<size_t>(i)] = level * std::sin(2.0 * M_PI * 165.0 * t);
  }
  double* io[2] = {left.data(), right.data()};
  plugin.ProcessBlock(io, io, kBlock);
}

void BM_EditorFullFrame(benchmark::State& state) {
  const float scale = static_cast<float>(state.range(0)) / 100.0f;
  auto plugin = workingPlugin();
  HeadlessEditor open(*plugin, scale);
  if (!open.editor) {
    state.SkipWithError("no headless GL");
    return;
  }
  plugin->OnTimer();
  for (auto _ : state) open.surface.Render(*open.graphics, true);
}
BENCHMARK(BM_EditorFullFrame)->Arg(100)->Arg(200)->ArgName("scale_percent")->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()->UseRealTime();

void BM_EditorMetersOnlyFrame(benchmark::State& state) {
  auto plugin = workingPlugin();
  HeadlessEditor open(*plugin, 1.0f);
  if (!open.editor) {
    state.SkipWithError("no headless GL");
    return;
  }
  plugin->OnTimer();
  open.surface.Render(*open.graphics, true);
  plumbrook::MeterReadings& readings = plugin->meterReadings();
  long frame = 0;
  double parts = 0, pixels = 0;
  for (auto _ : state) {
    // New readings for all six meters, as 20 ms of audio leaves them.
    const float swing = 0.5f + 0.4f * std::sin(static_cast<float>(frame++) * 0.3f);
    plumbrook::test::storeMeterReadings(readings, swing, 3.0f * swing, 2.0f * swing);
    open.nowNs += 20'000'000;
    plugin->OnTimer();
    for (const plugkit::platform::PixelRect& p : open.surface.Render(*open.graphics, false)) {
      parts += 1;
      pixels += p.width * p.height;
    }
  }
  state.counters["parts"] = benchmark::Counter(parts, benchmark::Counter::kAvgIterations);
  state.counters["pixels"] = benchmark::Counter(pixels, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_EditorMetersOnlyFrame)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// One second of audio in 256-frame blocks, with the 20 ms timer; with the editor open, also 60
// frames drawn whenever something is dirty.
void BM_OneSecondOfAudio(benchmark::State& state) {
  const bool editorOpen = state.range(0) != 0;
  auto plugin = workingPlugin();
  std::unique_ptr<HeadlessEditor> open;
  if (editorOpen) {
    open = std::make_unique<HeadlessEditor>(*plugin, 1.0f);
    if (!open->editor) {
      state.SkipWithError("no headless GL");
      return;
    }
    open->surface.Render(*open->graphics, true);
  }
  std::vector<double> left(kBlock), right(kBlock);
  long block = 0;
  const int blocksPerSecond = static_cast<int>(kRate) / kBlock;
  for (auto _ : state) {
    int ticks = 0, frames = 0;
    for (int b = 0; b < blocksPerSecond; ++b, ++block) {
      playBlock(*plugin, block, left, right);
      const double seconds = static_cast<double>((b + 1) * kBlock) / kRate;
      if (open) open->nowNs += static_cast<int64_t>(kBlock / kRate * 1e9);
      while (ticks < static_cast<int>(seconds / 0.02)) {
        plugin->OnTimer();
        ++ticks;
      }
      while (open && frames < static_cast<int>(seconds * 60.0)) {
        open->surface.Render(*open->graphics, false);
        ++frames;
      }
    }
  }
}
BENCHMARK(BM_OneSecondOfAudio)->Arg(0)->Arg(1)->ArgName("editor_open")->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()->UseRealTime()->Iterations(5);

}  // namespace
