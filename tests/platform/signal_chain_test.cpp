// The signal chain through the offline host: layouts, bypass and limiter fades, dry-path
// alignment, gain ramp, stale blocks, metering and non-finite input.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "tests/support/chain_driver.h"
#include "tests/support/fake_editor.h"
#include "tests/support/realtime_tripwire.h"
#include "tests/support/signals.h"

using namespace plumbrook;
using namespace plumbrook::test;

namespace {

Planar stereoSine(double hz, double rate, int frames, double amplitude) {
  Planar p(2, frames);
  p[0] = sine(hz, rate, frames, amplitude);
  p[1] = sine(hz * 1.5, rate, frames, amplitude);
  return p;
}

// A neutral chain: glue off, EQ flat, limiter far above the signal.
void neutral(offline::OfflineHost& host) {
  host.setParameter(kAmount, 0.0);
  host.setParameter(kLimiterThreshold, 0.0);
  host.setParameter(kLimiterCeiling, 0.0);
}

}  // namespace

TEST(signal_chain, mono_layout_processes_one_channel_and_publishes_one) {
  auto host = makeHost(48000, 1);
  FakeEditor editor;
  host->plugin().AttachUI(&editor);
  Planar in(1, 4800);
  in[0] = sine(1000, 48000, 4800, 0.5);
  const Planar out = render(*host, in);
  EXPECT_GT(rms(out[0]), 0.1);
  EXPECT_EQ(host->plugin().meterReadings().channels.load(), 1);
  host->plugin().DetachUI();
}

TEST(signal_chain, more_than_two_outputs_carry_the_unprocessed_copy) {
  auto host = makeHost(48000, 2);
  Plumbrook& p = host->plugin();
  host->setParameter(kGain, 12.0);
  p.SetChannelConnections(plugkit::kOutput, 4);
  std::vector<double> a = sine(500, 48000, 512, 0.1), b = sine(700, 48000, 512, 0.1);
  std::vector<double> o0(512), o1(512), o2(512), o3(512);
  double* ins[] = {a.data(), b.data()};
  double* outs[] = {o0.data(), o1.data(), o2.data(), o3.data()};
  p.ProcessBlock(ins, outs, 512);
  EXPECT_EQ(o2, a);  // input channel 0 copied, not processed
  EXPECT_EQ(o3, a);
  EXPECT_GT(rms(o0), 2.0 * rms(a));  // +12 dB reached the processed pair
  EXPECT_NE(o0, a);
}

TEST(signal_chain, null_inputs_feed_silence) {
  auto host = makeHost();
  std::vector<double> l(300, 1.0), r(300, 1.0);
  double* outs[] = {l.data(), r.data()};
  host->processBlock(nullptr, outs, 300);
  EXPECT_EQ(peak(l), 0.0);
  EXPECT_EQ(peak(r), 0.0);
}

TEST(signal_chain, bypass_fades_to_the_aligned_dry_signal_in_20_ms_and_back) {
  const double rate = 48000;
  auto host = makeHost(rate);
  neutral(*host);
  host->setParameter(kLimiterLookahead, 1.0);
  host->setParameter(kGain, -12.0);
  const int frames = 48000;
  const Planar in = stereoSine(440, rate, frames, 0.5);
  Planar out(2, frames);
  std::vector<const double*> ins = {in[0].data(), in[1].data()};
  constexpr int on = 9728, off = 28928;  // block starts
  for (int start = 0; start < frames; start += 256) {
    if (start == on) host->setParameter(kBypass, 1.0);
    if (start == off) host->setParameter(kBypass, 0.0);
    double* o[] = {out[0].data() + start, out[1].data() + start};
    double* i[] = {const_cast<double*>(ins[0]) + start, const_cast<double*>(ins[1]) + start};
    host->processBlock(i, o, std::min(256, frames - start));
  }
  const int latency = host->plugin().limiter().latency();
  ASSERT_EQ(latency, 72);
  // Fully bypassed 20 ms after the switch: exactly the input, delayed by the latency.
  for (int k = on + 960; k < off; ++k)
    ASSERT_EQ(out[0][static_cast<size_t>(k)], in[0][static_cast<size_t>(k - latency)]) << k;
  // Halfway through the fade the output lies between processed (-12 dB) and dry.
  EXPECT_NE(out[0][on + 480], in[0][on + 480 - latency]);
  // Back on: processed again (about -12 dB) after the 20 ms fade.
  std::vector<double> tail(out[0].begin() + off + 2000, out[0].end());
  std::vector<double> dryTail(in[0].begin() + off + 2000 - latency, in[0].end() - latency);
  EXPECT_NEAR(rms(tail) / rms(dryTail), std::pow(10.0, -12.0 / 20.0), 0.02);
}

TEST(signal_chain, dry_path_delay_follows_lookahead_and_true_peak) {
  for (int mode = 0; mode < 3; ++mode) {
    auto host = makeHost(48000);
    if (mode == 1) host->setParameter(kLimiterLookahead, 1.0);
    if (mode == 2) host->setParameter(kLimiterTruePeak, 1.0);
    host->setParameter(kBypass, 1.0);
    host->runTimer();
    render(*host, Planar(2, 2000));  // the bypass fade completes
    Planar in = impulse(2, 2000, 500, 0.5);
    const Planar out = render(*host, in);
    const int expected = mode == 0 ? 500 : 572;
    EXPECT_EQ(peakIndex(out[0]), expected) << "mode " << mode;
    EXPECT_EQ(out[0][static_cast<size_t>(expected)], 0.5);
  }
}

TEST(signal_chain, impulse_arrives_at_the_reported_latency_in_every_path) {
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    for (int path = 0; path < 3; ++path) {  // processed, plug-in bypass, host bypass
      auto host = makeHost(rate);
      neutral(*host);
      host->setParameter(kLimiterLookahead, 1.0);
      host->runTimer();
      const int latency = host->reportedLatency();
      ASSERT_EQ(latency, quillfen::dsp::Limiter::latencyForRate(rate));
      if (path == 1) host->setParameter(kBypass, 1.0);
      if (path == 2) host->setHostBypass(true);
      // Let fades settle, then send the impulse.
      Planar settle(2, static_cast<int>(rate * 0.1));
      render(*host, settle);
      const Planar out = render(*host, impulse(2, 4000, 1000, 0.5));
      for (int i = 0; i < 1000 + latency; ++i) ASSERT_EQ(out[0][static_cast<size_t>(i)], 0.0) << rate << " " << path << " " << i;
      EXPECT_EQ(peakIndex(out[0]), 1000 + latency) << rate << " path " << path;
      EXPECT_GT(std::fabs(out[0][static_cast<size_t>(1000 + latency)]), 0.4);
    }
  }
}

TEST(signal_chain, switching_bypass_or_the_limiter_does_not_move_the_signal_in_time) {
  auto host = makeHost(48000);
  neutral(*host);
  host->setParameter(kLimiterTruePeak, 1.0);
  host->runTimer();
  render(*host, Planar(2, 4800));
  // Mid-fade of each switch, a click train still peaks at input + latency.
  for (int which : {kBypass, kLimiterActive}) {
    host->setParameter(which, 1.0);
    Planar clicks(2, 2400);
    for (int k = 100; k < 2400; k += 200) clicks[0][static_cast<size_t>(k)] = clicks[1][static_cast<size_t>(k)] = 0.5;
    const Planar out = render(*host, clicks);
    for (int k = 100; k + 72 < 2400; k += 200) {
      const size_t at = static_cast<size_t>(k + 72);
      EXPECT_GT(std::fabs(out[0][at]), 0.4) << which << " " << k;
      EXPECT_LT(std::fabs(out[0][at - 1]), 0.05);
    }
    host->setParameter(which, which == kBypass ? 0.0 : 1.0);
    render(*host, Planar(2, 4800));
  }
}

TEST(signal_chain, gain_change_mid_ramp_restarts_from_the_current_gain) {
  auto host = makeHost(48000, 2, 64);
  neutral(*host);
  host->setParameter(kLimiterActive, 0.0);
  render(*host, Planar(2, 4800));
  Planar dc(2, 64);
  for (auto& ch : dc.channels) std::fill(ch.begin(), ch.end(), 0.01);
  host->setParameter(kGain, 12.0);
  std::vector<double> seen;
  for (int b = 0; b < 8; ++b) {  // 512 samples of a 960-sample ramp
    const Planar out = render(*host, dc);
    seen.insert(seen.end(), out[0].begin(), out[0].end());
  }
  const double mid = seen.back() / 0.01;
  EXPECT_GT(mid, 1.0);
  EXPECT_LT(mid, std::pow(10.0, 12.0 / 20.0));
  host->setParameter(kGain, -6.0);
  std::vector<double> after;
  for (int b = 0; b < 20; ++b) {
    const Planar out = render(*host, dc);
    after.insert(after.end(), out[0].begin(), out[0].end());
  }
  // Starts where the first ramp was, is linear, and lands at -6 dB after exactly 960 samples.
  EXPECT_NEAR(after[0] / 0.01, mid, 0.02);
  EXPECT_NEAR(after[959] / 0.01, std::pow(10.0, -6.0 / 20.0), 1e-6);  // the limiter keeps floats
  EXPECT_NEAR(after[480] / 0.01, (mid + std::pow(10.0, -6.0 / 20.0)) / 2, 0.01);
}

TEST(signal_chain, a_pause_resets_the_stages_but_not_while_rendering_offline) {
  for (bool offline : {false, true}) {
    auto host = makeHost(48000, 2, 256, offline);
    neutral(*host);
    host->setParameter(kLimiterLookahead, 1.0);
    host->runTimer();
    const Planar tone = stereoSine(1000, 48000, 4800, 0.5);
    render(*host, tone);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    const Planar out = render(*host, tone);
    // A reset mutes the limiter for its delay: the first 72 frames are silent.
    const double early = std::fabs(out[0][50]) + std::fabs(out[0][60]) + std::fabs(out[1][40]);
    if (offline) EXPECT_GT(early, 0.01);
    else EXPECT_EQ(early, 0.0);
  }
}

TEST(signal_chain, meters_fill_only_while_the_editor_is_open) {
  auto host = makeHost();
  MeterReadings& m = host->plugin().meterReadings();
  const Planar tone = stereoSine(1000, 48000, 4800, 0.5);
  render(*host, tone);
  EXPECT_EQ(m.inputFrames.load(), 0);
  EXPECT_EQ(m.outputPeak.load(), 0.0f);
  EXPECT_EQ(m.channels.load(), 2);

  FakeEditor editor;
  host->plugin().AttachUI(&editor);
  render(*host, tone);
  EXPECT_EQ(m.inputFrames.load(), 4800);
  EXPECT_EQ(m.outputFrames.load(), 4800);
  EXPECT_NEAR(m.inputPeak.load(), 0.5, 0.01);
  EXPECT_GT(m.outputSumSquares.load(), 0.0);
  EXPECT_LE(m.outputPeak.load(), std::pow(10.0, -0.3 / 20.0) + 1e-6);

  // Fully bypassed: the input meter receives nothing while its frame count still grows.
  host->setParameter(kBypass, 1.0);
  render(*host, tone);
  m.inputPeak.exchange(0.0f);
  m.inputSumSquares.exchange(0.0);
  render(*host, tone);
  EXPECT_EQ(m.inputPeak.load(), 0.0f);
  EXPECT_EQ(m.inputSumSquares.load(), 0.0);
  EXPECT_EQ(m.inputFrames.load(), 3 * 4800);  // still counting while bypassed
  host->plugin().DetachUI();
}

TEST(signal_chain, non_finite_input_never_reaches_the_output) {
  auto host = makeHost();
  host->setParameter(kLimiterTruePeak, 1.0);
  Planar in = stereoSine(300, 48000, 9600, 0.9);
  in[0][100] = std::nan("");
  in[1][200] = INFINITY;
  in[0][300] = -INFINITY;
  const Planar out = render(*host, in);
  for (const auto& ch : out.channels)
    for (double v : ch) ASSERT_TRUE(std::isfinite(v));
  // The chain recovers: the tail is a normal limited tone.
  std::vector<double> tail(out[0].begin() + 6000, out[0].end());
  EXPECT_GT(rms(tail), 0.3);

  // Absurd but finite levels are held to a finite (limited) output too.
  Planar loud = stereoSine(300, 48000, 2400, 1e300);
  for (const auto& ch : render(*host, loud).channels)
    for (double v : ch) ASSERT_TRUE(std::isfinite(v));
}

TEST(signal_chain, process_block_neither_allocates_nor_locks) {
  PLUMBROOK_REQUIRE_TRIPWIRE();
  auto host = makeHost(48000, 2, 512);
  host->setParameter(kLimiterTruePeak, 1.0);
  host->setParameter(kAmount, 200.0);
  host->setParameter(kEqLow, 3.0);
  FakeEditor editor;
  host->plugin().AttachUI(&editor);
  Planar in = stereoSine(100, 48000, 512, 1.0);
  Planar out(2, 512);
  double* i[] = {in[0].data(), in[1].data()};
  double* o[] = {out[0].data(), out[1].data()};
  for (int block = 0; block < 50; ++block) {
    if (block == 20) host->setParameter(kLimiterLookahead, 1.0);
    if (block == 30) host->setParameter(kBypass, 1.0);
    if (block == 40) host->setParameter(kBypass, 0.0);
    RealtimeGuard guard;
    host->plugin().ProcessBlock(i, o, 512);
    const Violations v = guard.disarm();
    ASSERT_FALSE(v.any()) << "block " << block << ": " << v.allocations << " allocations, " << v.locks << " locks";
  }
  host->plugin().DetachUI();
}

TEST(signal_chain, preparing_and_resetting_neither_allocate_nor_lock) {
  auto host = makeHost(48000, 2, 512);
  Plumbrook& p = host->plugin();
  host->setParameter(kLimiterTruePeak, 1.0);
  for (int round = 0; round < 3; ++round) {
    // The host bypass resets from the audio thread too; so does the first block after activation.
    RealtimeGuard guard;
    p.prepareAtCurrentSettings();
    p.OnReset();  // unchanged rate
    p.SetHostBypass(round % 2 == 0);
    const Violations v = guard.disarm();
    ASSERT_FALSE(v.any()) << "round " << round << ": " << v.allocations << " allocations, " << v.locks << " locks";
  }
  p.SetHostBypass(false);
}

TEST(signal_chain, ending_bypass_replays_no_audio_from_before_it) {
  for (const int mode : {kLimiterLookahead, kLimiterTruePeak}) {
    auto host = makeHost(48000);
    host->setParameter(mode, 1.0);
    render(*host, stereoSine(200, 48000, 4800, 0.9));
    host->setParameter(kBypass, 1.0);
    render(*host, Planar(2, 4800));  // the fade completes; the dry path runs dry
    host->setParameter(kBypass, 0.0);
    const Planar out = render(*host, Planar(2, 4800));
    EXPECT_EQ(peak(out[0]), 0.0) << "mode " << mode;
    EXPECT_EQ(peak(out[1]), 0.0) << "mode " << mode;
  }
}

TEST(signal_chain, ending_bypass_returns_to_the_processed_path_without_a_step) {
  // A steady -12 dBFS tone through a neutral chain: processed and dry carry the same signal, so
  // no sample may step further than the tone does on its own, in either fade.
  const int frames = 19200;
  const Planar tone = stereoSine(100, 48000, frames, 0.25);
  const auto part = [&](int from, int to) {
    Planar p(2, to - from);
    for (int c = 0; c < 2; ++c) std::copy(tone[c].begin() + from, tone[c].begin() + to, p[c].begin());
    return p;
  };
  const auto largestStep = [](const std::vector<double>& x) {
    double step = 0.0;
    for (size_t i = 1; i < x.size(); ++i) step = std::max(step, std::fabs(x[i] - x[i - 1]));
    return step;
  };
  // Limiter switches on before the bypass and while bypassed (-1: none).
  const std::pair<int, int> switches[] = {
      {-1, -1}, {kLimiterLookahead, -1}, {kLimiterTruePeak, -1}, {-1, kLimiterTruePeak}, {kLimiterLookahead, kLimiterTruePeak}};
  for (const auto& [before, whileBypassed] : switches) {
    for (const bool hostBypass : {false, true}) {
      auto host = makeHost(48000);
      neutral(*host);
      if (before >= 0) host->setParameter(before, 1.0);
      render(*host, part(0, 4800));
      hostBypass ? host->setHostBypass(true) : host->setParameter(kBypass, 1.0);
      render(*host, part(4800, 7200));
      if (whileBypassed >= 0) host->setParameter(whileBypassed, 1.0);
      render(*host, part(7200, 9720));
      hostBypass ? host->setHostBypass(false) : host->setParameter(kBypass, 0.0);
      const Planar out = render(*host, part(9720, frames));
      for (int c = 0; c < 2; ++c)
        EXPECT_LE(largestStep(out[c]), largestStep(tone[c]) * 1.001)
            << "switched " << before << " then " << whileBypassed << (hostBypass ? ", host bypass" : ", Bypass")
            << ", channel " << c;
    }
  }
}

TEST(signal_chain, preparing_settles_the_gain_exactly_at_every_gain_step) {
  auto host = makeHost(48000, 2, 64);
  Plumbrook& p = host->plugin();
  const Planar in = stereoSine(300, 48000, 64, 0.1);
  for (int step = -240; step <= 240; ++step) {
    host->setParameter(kGain, step / 10.0);
    p.prepareAtCurrentSettings();
    render(*host, in);
    ASSERT_EQ(p.gainRamp().remaining, 0) << "a ramp started after preparing at " << p.GetParam(kGain)->Value() << " dB";
  }
}
