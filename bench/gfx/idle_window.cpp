// CPU an open editor window costs while nothing changes: opens a window with 20 knobs and 20 text
// controls, lets the first frames settle, then runs its event loop (with the 60 fps timer) for the
// given seconds and reports process CPU time per second from getrusage, with the frames drawn.
// Run under an X server: `xvfb-run -a build/bench/gfx/plumbrook_idle_window 5`.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/gfx/scene.h"
#include "platform/window/editor_window.h"

namespace {
double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

void runFor(plugkit::platform::EditorWindow& w, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) w.Update(0.05);
}
}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  plumbrook::bench::SceneDelegate delegate;
  plugkit::platform::EditorWindow::Options o;
  o.width = plumbrook::bench::kSceneWidth;
  o.height = plumbrook::bench::kSceneHeight;
  o.resourceDir = PLUMBROOK_RESOURCE_DIR;
  plugkit::platform::EditorWindow window(delegate, o, plumbrook::bench::buildScene);
  if (!window.Open()) {
    std::fprintf(stderr, "idle_window: %s\n", window.Error().c_str());
    return 1;
  }
  runFor(window, 1.0);
  const int frames0 = window.FramesDrawn();
  const double cpu0 = cpuSeconds();
  runFor(window, seconds);
  const double cpuMsPerS = 1000.0 * (cpuSeconds() - cpu0) / seconds;
  std::printf("idle window: %.2f ms CPU per second over %.1f s, %d frames drawn\n", cpuMsPerS, seconds,
              window.FramesDrawn() - frames0);
  // The same window with one knob moving every frame, for comparison.
  auto* knob = window.GetGraphics()->GetControl(1);
  const double cpu1 = cpuSeconds();
  const int frames1 = window.FramesDrawn();
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  double v = 0.0;
  while (std::chrono::steady_clock::now() < end) {
    v = v > 0.99 ? 0.0 : v + 0.01;
    knob->SetValueFromDelegate(v);
    window.Update(1.0 / 120.0);
  }
  std::printf("one knob moving: %.2f ms CPU per second, %d frames drawn\n",
              1000.0 * (cpuSeconds() - cpu1) / seconds, window.FramesDrawn() - frames1);
  return 0;
}
