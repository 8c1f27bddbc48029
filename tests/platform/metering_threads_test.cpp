// Cross-thread traffic under real threads: the audio thread publishes meters while the editor
// thread reads and clears them and drains host changes; a host thread automates parameters.
// Meant to run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "tests/support/chain_driver.h"
#include "tests/support/fake_editor.h"
#include "tests/support/signals.h"

using namespace plumbrook;

TEST(metering_threads, audio_editor_and_host_threads_share_only_what_they_may) {
  auto host = test::makeHost(48000, 2, 256);
  Plumbrook& p = host->plugin();
  test::FakeEditor editor;
  p.AttachUI(&editor);
  p.SetParameterFromHost(kLimiterTruePeak, 1.0);

  std::atomic<bool> done{false};
  std::thread audio([&] {
    std::vector<double> l = test::sine(220, 48000, 256, 0.9), r = l, outL(256), outR(256);
    double* in[] = {l.data(), r.data()};
    double* out[] = {outL.data(), outR.data()};
    for (int block = 0; block < 3000; ++block) p.RenderBlock(in, out, 256);
    done = true;
  });
  std::thread automation([&] {
    for (int k = 0; !done; ++k) {
      p.SetParameterFromHost(kGain, (k % 48) - 24.0);
      p.SetParameterFromHost(kAmount, k % 200);
      std::this_thread::yield();
    }
  });

  double outputEnergy = 0.0;
  int frames = 0;
  float largestPeak = 0.0f;
  while (!done) {
    MeterReadings& m = p.meterReadings();
    largestPeak = std::max(largestPeak, m.outputPeak.exchange(0.0f));
    outputEnergy += m.outputSumSquares.exchange(0.0);
    frames += m.outputFrames.exchange(0);
    p.OnTimer();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  audio.join();
  automation.join();
  p.DetachUI();

  EXPECT_GT(frames, 0);
  EXPECT_TRUE(std::isfinite(outputEnergy));
  EXPECT_GT(largestPeak, 0.1f);
  EXPECT_LE(largestPeak, 1.0f);
  EXPECT_GT(editor.shown.size(), 13u);  // automation reached the editor through the queue
}
