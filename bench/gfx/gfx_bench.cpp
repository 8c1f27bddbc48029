// A full frame of 20 knobs and 20 text controls drawn by NanoVG on llvmpipe (headless EGL), at draw
// scales 1 and 2. Each iteration draws everything and waits for the GPU work to finish (glFinish),
// so the time is the whole frame's cost, llvmpipe's threads included in the CPU column.
#include <benchmark/benchmark.h>

#include "bench/gfx/scene.h"
#include "platform/window/headless_surface.h"

namespace {

void BM_FullFrame20Knobs20Texts(benchmark::State& state) {
  const float scale = static_cast<float>(state.range(0));
  plugkit::platform::HeadlessSurface surface;
  if (!surface.Valid()) {
    state.SkipWithError(surface.Error().c_str());
    return;
  }
  plumbrook::bench::SceneDelegate delegate;
  auto g = surface.CreateGraphics(delegate, plumbrook::bench::kSceneWidth, plumbrook::bench::kSceneHeight, scale,
                                  PLUMBROOK_RESOURCE_DIR);
  plumbrook::bench::buildScene(*g);
  surface.Render(*g);  // first frame: shaders, font atlas and framebuffer are made here
  for (auto _ : state) surface.Render(*g);
  state.counters["px"] = static_cast<double>(plumbrook::bench::kSceneWidth * plumbrook::bench::kSceneHeight) * scale * scale;
}
BENCHMARK(BM_FullFrame20Knobs20Texts)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// One knob moved: the dirty-region path draws only its rectangle.
void BM_OneKnobMoved(benchmark::State& state) {
  plugkit::platform::HeadlessSurface surface;
  if (!surface.Valid()) {
    state.SkipWithError(surface.Error().c_str());
    return;
  }
  plumbrook::bench::SceneDelegate delegate;
  auto g = surface.CreateGraphics(delegate, plumbrook::bench::kSceneWidth, plumbrook::bench::kSceneHeight, 1.f,
                                  PLUMBROOK_RESOURCE_DIR);
  plumbrook::bench::buildScene(*g);
  surface.Render(*g);
  double v = 0.0;
  for (auto _ : state) {
    v = v > 0.99 ? 0.0 : v + 0.01;
    g->SetParamValueFromDelegate(3, v);
    surface.Render(*g, false);
  }
}
BENCHMARK(BM_OneKnobMoved)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
