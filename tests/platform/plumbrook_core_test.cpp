// The plug-in core driven through the offline host: parameter table, layouts, Limiter Link,
// latency reporting, host bypass and the editor traffic.
#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <cmath>

#include "platform/offline/offline_host.h"
#include "platform/system/app_support.h"
#include "tests/support/fake_editor.h"
#include "tests/support/scratch_dir.h"

using namespace plumbrook;
using plumbrook::offline::OfflineHost;
using Event = OfflineHost::Event;

namespace {

std::unique_ptr<OfflineHost> makeHost(OfflineHost::Options options = {}) {
  std::string error;
  auto host = OfflineHost::create(options, error);
  EXPECT_TRUE(host) << error;
  return host;
}

std::string shown(const Plumbrook& p, int idx, double value) {
  std::string text;
  p.GetParam(idx)->GetDisplay(value, false, text);
  return text;
}

// Drags a parameter in the editor the way a control does: gesture, value, end.
void dragInEditor(Plumbrook& p, int idx, double value) {
  p.BeginParamGestureFromUI(idx);
  p.SetParamFromUI(idx, p.GetParam(idx)->ToNormalized(value));
  p.EndParamGestureFromUI(idx);
}

}  // namespace

TEST(parameter_table, names_ranges_defaults_and_default_texts) {
  auto host = makeHost();
  const Plumbrook& p = host->plugin();
  ASSERT_EQ(p.NParams(), 13);
  const char* names[] = {"Bypass", "Gain", "Amount", "Width Active", "Limiter Active",
                         "Limiter Threshold", "Limiter Ceiling", "Limiter True Peak",
                         "Limiter Lookahead", "Limiter Link", "EQ Low", "EQ Mid", "EQ High"};
  const char* defaults[] = {"off", "0.0 dB", "100 %", "on", "on", "0.0 dB", "-0.3 dB",
                            "off", "off", "off", "+0.0 dB", "+0.0 dB", "+0.0 dB"};
  for (int i = 0; i < 13; ++i) {
    EXPECT_STREQ(p.GetParam(i)->GetName(), names[i]);
    EXPECT_EQ(shown(p, i, p.GetParam(i)->GetDefault()), defaults[i]) << names[i];
    EXPECT_STREQ(p.GetParam(i)->GetGroup(), "");
    EXPECT_EQ(p.GetParam(i)->Flags() & ~plugkit::Param::kFlagStepped, 0);
  }
  EXPECT_EQ(p.GetParam(kLimiterCeiling)->GetDefault(), -0.30000001192092896);
  EXPECT_EQ(p.GetParam(kEqLow)->GetMax(), 9.769028);
  EXPECT_EQ(p.GetParam(kAmount)->Unit(), plugkit::Param::kUnitPercentage);
  EXPECT_EQ(p.GetParam(kGain)->Unit(), plugkit::Param::kUnitDB);
  EXPECT_EQ(p.GetParam(kBypass)->Unit(), plugkit::Param::kUnitCustom);
  EXPECT_EQ(p.GetParam(kEqMid)->GetDisplayPrecision(), 2);
  EXPECT_EQ(p.GetParam(kGain)->GetDisplayPrecision(), 1);
}

TEST(parameter_table, eq_texts_never_show_minus_zero) {
  auto host = makeHost();
  const Plumbrook& p = host->plugin();
  EXPECT_EQ(shown(p, kEqMid, -0.04), "+0.0 dB");
  EXPECT_EQ(shown(p, kEqMid, 0.04), "+0.0 dB");
  EXPECT_EQ(shown(p, kEqMid, -0.05), "-0.1 dB");  // 0.05 is not below the limit
  EXPECT_EQ(shown(p, kEqLow, 9.769028), "+9.8 dB");
  EXPECT_EQ(shown(p, kGain, -6.0), "-6.0 dB");
  EXPECT_EQ(shown(p, kAmount, 200.0), "200 %");
}

TEST(parameter_table, configuration_identity) {
  const plugkit::Config config = MakeConfig();
  EXPECT_STREQ(config.channelIOStr, "1-1 2-2");
  EXPECT_EQ(plugkit::VersionText(config.vendorVersion), "v0.3.2");
  EXPECT_EQ(plugkit::VersionDecimal(config.vendorVersion), 302);
  EXPECT_EQ(config.uniqueID, 0x51665062);  // "QfPb"
  EXPECT_EQ(config.mfrID, 0x516c666e);     // "Qlfn"
  EXPECT_EQ(config.plugMinHeight, 287);
}

TEST(channel_layouts, mono_and_stereo_accepted_mixed_refused) {
  std::string error;
  EXPECT_TRUE(OfflineHost::create({48000, 1, 1, 512, true}, error));
  EXPECT_TRUE(OfflineHost::create({48000, 2, 2, 512, true}, error));
  EXPECT_FALSE(OfflineHost::create({48000, 1, 2, 512, true}, error));
  EXPECT_NE(error.find("1 input and 2 output"), std::string::npos);
  EXPECT_FALSE(OfflineHost::create({48000, 2, 1, 512, true}, error));
  auto host = makeHost();
  EXPECT_FALSE(host->plugin().InitializeIO(1, 2));
}

TEST(limiter_link, editor_drag_of_threshold_moves_ceiling_inside_its_own_gesture) {
  auto host = makeHost();
  Plumbrook& p = host->plugin();
  dragInEditor(p, kLimiterLink, 1.0);
  dragInEditor(p, kLimiterThreshold, -10.0);  // link on: ceiling follows from -0.3
  p.GetParam(kLimiterCeiling)->Set(-1.0);
  p.OnParamChangeUI(kLimiterCeiling, plugkit::kDelegate);  // memory in step: (-10, -1)
  host->clearEvents();

  dragInEditor(p, kLimiterThreshold, -12.0);
  EXPECT_NEAR(p.GetParam(kLimiterCeiling)->Value(), -3.0, 1e-9);
  EXPECT_NEAR(p.GetParam(kLimiterThreshold)->Value(), -12.0, 1e-9);

  // Host sees: begin threshold, begin ceiling, ceiling value, end ceiling, threshold value, end threshold.
  const auto& ev = host->events();
  ASSERT_GE(ev.size(), 5u);
  EXPECT_EQ(ev[0].kind, Event::kBeginGesture);
  EXPECT_EQ(ev[0].index, kLimiterThreshold);
  EXPECT_EQ(ev[1].kind, Event::kParamChange);
  EXPECT_EQ(ev[1].index, kLimiterThreshold);
  EXPECT_EQ(ev[2].kind, Event::kBeginGesture);
  EXPECT_EQ(ev[2].index, kLimiterCeiling);
  EXPECT_EQ(ev[3].kind, Event::kParamChange);
  EXPECT_EQ(ev[3].index, kLimiterCeiling);
  EXPECT_EQ(ev[4].kind, Event::kEndGesture);
  EXPECT_EQ(ev[4].index, kLimiterCeiling);
}

TEST(limiter_link, clamped_delta_pulls_the_moved_parameter_back) {
  auto host = makeHost();
  Plumbrook& p = host->plugin();
  p.GetParam(kLimiterThreshold)->Set(-20.0);
  p.GetParam(kLimiterCeiling)->Set(-1.0);
  p.OnParamChangeUI(kLimiterCeiling, plugkit::kHost);  // refresh memory
  dragInEditor(p, kLimiterLink, 1.0);

  dragInEditor(p, kLimiterCeiling, -15.0);  // delta -14 clamped to -10
  EXPECT_NEAR(p.GetParam(kLimiterThreshold)->Value(), -30.0, 1e-9);
  EXPECT_NEAR(p.GetParam(kLimiterCeiling)->Value(), -11.0, 1e-9);
}

TEST(limiter_link, upper_limit_keeps_both_at_or_below_zero) {
  auto host = makeHost();
  Plumbrook& p = host->plugin();
  p.GetParam(kLimiterThreshold)->Set(-10.0);
  p.GetParam(kLimiterCeiling)->Set(-1.0);
  p.OnParamChangeUI(kLimiterThreshold, plugkit::kPresetRecall);
  dragInEditor(p, kLimiterLink, 1.0);

  dragInEditor(p, kLimiterThreshold, -9.5);
  EXPECT_NEAR(p.GetParam(kLimiterCeiling)->Value(), -0.5, 1e-9);
  dragInEditor(p, kLimiterThreshold, -8.0);  // +1.5 from memory, limited to +0.5
  EXPECT_NEAR(p.GetParam(kLimiterCeiling)->Value(), 0.0, 1e-9);
  EXPECT_NEAR(p.GetParam(kLimiterThreshold)->Value(), -9.0, 1e-9);
}

TEST(limiter_link, host_automation_moves_nothing_but_refreshes_the_memory) {
  auto host = makeHost();
  Plumbrook& p = host->plugin();
  dragInEditor(p, kLimiterLink, 1.0);
  host->setParameter(kLimiterThreshold, -10.0);
  host->setParameter(kLimiterCeiling, -1.0);
  host->runTimer();  // the editor side sees the automation
  EXPECT_NEAR(p.GetParam(kLimiterThreshold)->Value(), -10.0, 1e-9);
  EXPECT_NEAR(p.GetParam(kLimiterCeiling)->Value(), -1.0, 1e-9);

  host->setParameter(kLimiterCeiling, -2.0);
  host->runTimer();
  EXPECT_NEAR(p.GetParam(kLimiterThreshold)->Value(), -10.0, 1e-9);

  dragInEditor(p, kLimiterThreshold, -11.0);  // moves the ceiling from its automated value
  EXPECT_NEAR(p.GetParam(kLimiterCeiling)->Value(), -3.0, 1e-9);
}

TEST(limiter_link, off_means_independent_controls) {
  auto host = makeHost();
  Plumbrook& p = host->plugin();
  dragInEditor(p, kLimiterThreshold, -12.0);
  EXPECT_NEAR(p.GetParam(kLimiterCeiling)->Value(), -0.3, 1e-6);
}

TEST(latency, reported_one_timer_tick_after_lookahead_or_true_peak_switches) {
  auto host = makeHost();
  Plumbrook& p = host->plugin();
  EXPECT_EQ(p.GetLatency(), 0);
  host->runTimer();
  EXPECT_EQ(host->reportedLatency(), 0);

  host->setParameter(kLimiterLookahead, 1.0);
  EXPECT_EQ(p.wantedLatency(), 72);
  EXPECT_EQ(host->reportedLatency(), 0);
  host->runTimer();
  EXPECT_EQ(host->reportedLatency(), 72);
  EXPECT_EQ(p.GetLatency(), 72);
  EXPECT_DOUBLE_EQ(p.GetLatency() / p.GetSampleRate(), 0.0015);

  host->setParameter(kLimiterLookahead, 0.0);
  host->setParameter(kLimiterTruePeak, 1.0);
  host->runTimer();
  EXPECT_EQ(host->reportedLatency(), 72);  // true peak alone also delays
  host->setParameter(kLimiterTruePeak, 0.0);
  host->runTimer();
  EXPECT_EQ(host->reportedLatency(), 0);
  EXPECT_EQ(p.GetLatency(), 0);
}

TEST(latency, follows_the_sample_rate_and_reset_keeps_it_right) {
  auto host = makeHost({44100, 2, 2, 512, true});
  Plumbrook& p = host->plugin();
  host->setParameter(kLimiterLookahead, 1.0);
  host->runTimer();
  EXPECT_EQ(host->reportedLatency(), 66);
  host->setSampleRate(96000);
  host->runTimer();
  EXPECT_EQ(host->reportedLatency(), 144);
  host->setSampleRate(22050);
  host->runTimer();
  EXPECT_EQ(host->reportedLatency(), 40);
  p.OnReset();  // same rate: nothing to prepare, latency still right
  EXPECT_EQ(p.GetLatency(), 40);
}

TEST(host_bypass, fades_to_the_input_delayed_by_the_latency_and_never_replays_old_audio) {
  auto host = makeHost();
  host->setParameter(kLimiterLookahead, 1.0);
  host->runTimer();
  ASSERT_EQ(host->plugin().GetLatency(), 72);
  constexpr int kFrames = 3000;  // past the 960-sample fade
  std::vector<double> inL(kFrames), inR(kFrames), outL(kFrames), outR(kFrames);
  for (int i = 0; i < kFrames; ++i) {
    inL[static_cast<size_t>(i)] = 0.5 * std::sin(i * 0.01);
    inR[static_cast<size_t>(i)] = 0.5 * std::cos(i * 0.03);
  }
  host->setHostBypass(true);
  host->process({inL.data(), inR.data()}, {outL.data(), outR.data()}, kFrames);
  EXPECT_EQ(host->plugin().GetLatency(), 72);
  for (int i = 960 + 72; i < kFrames; ++i) {
    ASSERT_EQ(outL[static_cast<size_t>(i)], inL[static_cast<size_t>(i - 72)]) << i;
    ASSERT_EQ(outR[static_cast<size_t>(i)], inR[static_cast<size_t>(i - 72)]) << i;
  }

  // Loud audio while bypassed, then a long silence processed: bypassing again gives silence.
  std::vector<double> loud(kFrames, 0.75), out(kFrames), silence(48000, 0.0), tail(48000);
  host->process({loud.data(), loud.data()}, {out.data(), out.data()}, kFrames);
  host->setHostBypass(false);
  host->process({silence.data(), silence.data()}, {tail.data(), tail.data()}, 48000);
  host->setHostBypass(true);
  host->process({silence.data(), silence.data()}, {out.data(), out.data()}, kFrames);
  EXPECT_LT(*std::max_element(out.begin(), out.end()), 1e-9);
}

TEST(editor_traffic, host_changes_reach_the_editor_at_the_next_timer_tick) {
  auto host = makeHost();
  Plumbrook& p = host->plugin();
  test::FakeEditor editor;
  p.AttachUI(&editor);
  EXPECT_EQ(editor.shown.size(), 13u);  // opening shows every value
  editor.shown.clear();
  host->setParameter(kGain, 6.0);
  EXPECT_TRUE(editor.shown.empty());
  host->runTimer();
  ASSERT_EQ(editor.shown.size(), 1u);
  EXPECT_EQ(editor.shown[0].paramIdx, kGain);
  EXPECT_DOUBLE_EQ(editor.shown[0].normalised, 30.0 / 48.0);
  EXPECT_FLOAT_EQ(host->getParameter(kGain), 6.0f);
  p.DetachUI();
}

TEST(editor_traffic, editor_changes_notify_the_host_and_restores_refresh_the_editor) {
  auto host = makeHost();
  Plumbrook& p = host->plugin();
  test::FakeEditor editor;
  p.AttachUI(&editor);
  editor.shown.clear();
  p.SetParamFromUI(kAmount, 0.25);
  EXPECT_DOUBLE_EQ(p.GetParam(kAmount)->Value(), 50.0);
  ASSERT_EQ(host->events().size(), 1u);
  EXPECT_EQ(host->events()[0].kind, Event::kParamChange);

  p.NotifyHostOfAllParams();
  EXPECT_EQ(host->events().size(), 14u);

  const auto state = host->saveState();
  ASSERT_TRUE(host->restoreState(state));
  EXPECT_EQ(editor.shown.size(), 13u);  // every value shown after the restore
  p.DetachUI();
}

TEST(update_check, stays_off_and_writes_nothing_without_an_application_support_folder) {
  // Run from an empty folder: nothing may appear in the working directory.
  plumbrook::test::ScratchDir cwd;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(cwd.path());
  int fetches = 0;
  {
    plumbrook::Services services;
    services.fetch = [&](const std::string&, const std::atomic<bool>&) {
      ++fetches;
      return platform::HttpResult{200, "{}"};
    };
    services.networkAllowed = [] { return true; };
    services.backgroundUpdateCheck = true;
    auto plugin = plumbrook::MakePlugin(services);
    auto check = plugin->updateCheck();
    ASSERT_TRUE(check);
    EXPECT_FALSE(check->snapshot().enabled);
    check->checkIfDue();
    check->setEnabled(false);
    check->setEnabled(true);
    EXPECT_FALSE(check->snapshot().enabled);
  }
  std::filesystem::current_path(previous);
  EXPECT_EQ(fetches, 0);
  EXPECT_TRUE(std::filesystem::is_empty(cwd.path()));
}

TEST(update_check, instance_starts_and_stops_its_worker_promptly) {
  // The worker's first check is seconds away; destroying the instance must not wait for it.
  const auto start = std::chrono::steady_clock::now();
  {
    plumbrook::Services services;
    services.appSupport = plugkit::AppSupportPath();
    services.backgroundUpdateCheck = true;
    auto plugin = plumbrook::MakePlugin(services);
    ASSERT_TRUE(plugin->updateCheck());
    EXPECT_EQ(plugin->updateCheck()->config().product, "plumbrook");
    EXPECT_EQ(plugin->updateCheck()->config().version, "0.3.2");
    EXPECT_EQ(plugin->updateCheck()->config().directory.filename(), "Updates");
    EXPECT_EQ(plugin->updateCheck()->config().directory.parent_path().filename(), "Quillfen");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}
