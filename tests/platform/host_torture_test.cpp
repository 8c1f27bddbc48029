// Host torture test: seeded random sessions of rates, block sizes, layouts, automation, state
// restores and hostile input, with invariants checked on every block. A failing seed is printed;
// replay it with PLUMBROOK_TORTURE_SEED=<seed>. PLUMBROOK_TORTURE_SESSIONS sets the count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include "platform/offline/offline_host.h"
#include "tests/support/fake_editor.h"
#include "tests/support/realtime_tripwire.h"

using namespace plumbrook;
using plumbrook::offline::OfflineHost;

namespace {

int envInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::atoi(text) : fallback;
}

struct Totals {
  int sessions = 0;
  double seconds = 0.0;
  long blocks = 0;
  long ceilingChecks = 0;
};

class Session {
 public:
  Session(uint32_t seed, Totals& totals) : rng_(seed), totals_(totals) {}

  void run() {
    const double rates[] = {22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000, 384000};
    rate_ = pick(0, 3) == 0 ? uniform(22050, 384000) : rates[pick(0, 8)];
    const int layout = pick(0, 2);  // mono, stereo, four outputs
    const int ioChannels = layout == 0 ? 1 : 2;
    outputs_ = layout == 2 ? 4 : ioChannels;
    std::string error;
    host_ = OfflineHost::create({rate_, ioChannels, ioChannels, 4096, pick(0, 1) == 0}, error);
    ASSERT_TRUE(host_) << error;
    Plumbrook& p = host_->plugin();
    if (layout == 2) p.SetChannelConnections(plugkit::kOutput, 4);
    if (pick(0, 1)) p.AttachUI(&editor_);

    for (int i = 0; i < kNumParams; ++i) randomise(i);
    // Half the sessions mostly limit hard and steadily, so the ceiling gets checked a lot.
    calm_ = pick(0, 1) == 0;
    if (calm_) {
      setParameter(kBypass, 0.0);
      setParameter(kLimiterActive, 1.0);
      setParameter(pick(0, 1) ? kLimiterLookahead : kLimiterTruePeak, 1.0);
      setParameter(kGain, uniform(6.0, 24.0));
    }
    const int blocks = calm_ ? pick(150, 300) : pick(40, 120);
    for (int b = 0; b < blocks && !::testing::Test::HasFatalFailure(); ++b) {
      step(b);
      ++totals_.blocks;
    }
    p.DetachUI();
    ++totals_.sessions;
  }

 private:
  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }

  void randomise(int idx) {
    const plugkit::Param& param = *host_->plugin().GetParam(idx);
    double value;
    switch (pick(0, 5)) {
      case 0: value = param.GetMin(); break;
      case 1: value = param.GetMax(); break;
      default: value = uniform(param.GetMin(), param.GetMax());
    }
    setParameter(idx, value);
  }

  void setParameter(int idx, double value) {
    if (idx == kBypass || idx == kLimiterActive || idx == kLimiterLookahead || idx == kLimiterTruePeak ||
        idx == kLimiterCeiling)
      quietFrames_ = 0;
    host_->setParameter(idx, value);
  }

  int blockSize() {
    const int sizes[] = {0, 1, 2, 3, 64, 255, 256, 257, 4096};
    return pick(0, 3) == 0 ? pick(1, 3000) : sizes[pick(0, 8)];
  }

  double sample(int kind, long t) {
    switch (kind) {
      case 0: return 0.0;
      case 1: return std::sin(t * 0.07) * 0.9;
      case 2: return (t / 37) % 2 ? 1.0 : -1.0;  // full-scale square
      case 3: return uniform(-1.5, 1.5);
      default: return 1e-310 * (t % 3);          // denormals
    }
  }

  void fill(std::vector<std::vector<double>>& in, int n) {
    const int kind = pick(0, 4);
    const double gain = pick(0, 3) == 0 ? 4.0 : 1.0;
    for (auto& ch : in) {
      ch.resize(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) ch[static_cast<size_t>(i)] = gain * sample(kind, time_ + i);
    }
    if (n > 0 && pick(0, 5) == 0) {
      const double nasty[] = {std::numeric_limits<double>::quiet_NaN(), INFINITY, -INFINITY, 1e300};
      in[static_cast<size_t>(pick(0, static_cast<int>(in.size()) - 1))][static_cast<size_t>(pick(0, n - 1))] =
          nasty[pick(0, 3)];
    }
  }

  void render(int n) {
    Plumbrook& p = host_->plugin();
    const int ioChannels = p.ConnectedChannels(plugkit::kInput);
    std::vector<std::vector<double>> in(static_cast<size_t>(ioChannels));
    fill(in, n);
    std::vector<std::vector<double>> out(static_cast<size_t>(outputs_), std::vector<double>(static_cast<size_t>(n) + 1, 7.0));
    std::vector<double*> inPtr, outPtr;
    for (auto& ch : in) inPtr.push_back(ch.data());
    for (auto& ch : out) outPtr.push_back(ch.data());
    const bool nullInput = pick(0, 9) == 0;

    plumbrook::test::RealtimeGuard guard;
    p.RenderBlock(nullInput ? nullptr : inPtr.data(), outPtr.data(), n);
    const auto violations = guard.disarm();
    ASSERT_FALSE(violations.any()) << violations.allocations << " allocations, " << violations.locks
                                   << " locks, " << violations.throws << " throws";

    const int processed = std::min(outputs_, 2);
    const bool checkCeiling = ceilingHolds();
    const double ceiling = std::pow(10.0, (p.GetParam(kLimiterCeiling)->Value() + 0.001) / 20.0);
    for (int c = 0; c < outputs_; ++c) {
      for (int i = 0; i < n; ++i) {
        const double y = out[static_cast<size_t>(c)][static_cast<size_t>(i)];
        ASSERT_TRUE(std::isfinite(y)) << "channel " << c << " frame " << i << " of " << n << " = " << y
                                      << context(nullInput);
        if (checkCeiling && c < processed) {
          ASSERT_LE(std::fabs(y), ceiling) << "channel " << c << " frame " << i;
        }
      }
    }
    if (checkCeiling) ++totals_.ceilingChecks;

    time_ += n;
    quietFrames_ += n;
    totals_.seconds += n / rate_;
    sinceTimer_ += n;
    while (sinceTimer_ >= 0.02 * rate_) {
      sinceTimer_ -= 0.02 * rate_;
      host_->runTimer();
    }
  }

  std::string context(bool nullInput) const {
    const Plumbrook& p = host_->plugin();
    std::string text = " at " + std::to_string(rate_) + " Hz, " + std::to_string(outputs_) + " outputs, host bypass " +
                       std::to_string(p.GetBypassed()) + ", null input " + std::to_string(nullInput) + ", values";
    for (int i = 0; i < kNumParams; ++i) {
      text += ' ';
      text += std::to_string(p.GetParam(i)->Value());
    }
    return text;
  }

  // Fully limited, filled and settled: the ceiling must hold.
  bool ceilingHolds() const {
    const Plumbrook& p = host_->plugin();
    return !p.GetBypassed() && !p.GetParam(kBypass)->Bool() && p.GetParam(kLimiterActive)->Bool() &&
           (p.GetParam(kLimiterLookahead)->Bool() || p.GetParam(kLimiterTruePeak)->Bool()) &&
           quietFrames_ > 0.4 * rate_;
  }

  void checkMeters() {
    MeterReadings& m = host_->plugin().meterReadings();
    const float floats[] = {m.inputPeak.exchange(0), m.glueReduction[0].exchange(0), m.glueReduction[1].exchange(0),
                            m.glueReduction[2].exchange(0), m.limiterReduction.exchange(0), m.outputPeak.exchange(0)};
    for (float v : floats) ASSERT_TRUE(std::isfinite(v));
    ASSERT_TRUE(std::isfinite(m.inputSumSquares.exchange(0)));
    ASSERT_TRUE(std::isfinite(m.outputSumSquares.exchange(0)));
  }

  // Any parameter in a wild session; only those that leave the ceiling guarantee alone in a calm one.
  void randomiseSomething() {
    const int free[] = {kGain, kAmount, kWidthActive, kLimiterThreshold, kEqLow, kEqMid, kEqHigh, kLimiterLink};
    randomise(calm_ ? free[pick(0, 7)] : pick(0, kNumParams - 1));
  }

  void step(int block) {
    int event = pick(0, calm_ ? 30 : 14);
    if (calm_ && event <= 4 && pick(0, 9) != 0) event = 5;  // rarely disturb a calm session
    switch (event) {
      case 0: randomise(pick(0, kNumParams - 1)); break;
      case 5:
      case 6: randomiseSomething(); break;
      case 1: {  // rapid switching
        const int switches[] = {kBypass, kLimiterActive, kLimiterLookahead, kLimiterTruePeak};
        for (int k = pick(1, 4); k > 0; --k) setParameter(switches[pick(0, 3)], pick(0, 1));
        break;
      }
      case 2:
        if (pick(0, 2) == 0) {
          host_->setHostBypass(!host_->plugin().GetBypassed());
          quietFrames_ = 0;
        }
        break;
      case 3:
        if (saved_) {
          host_->restoreState(*saved_);
          quietFrames_ = 0;
        } else {
          saved_ = host_->saveState();
        }
        break;
      case 4:
        if (pick(0, 4) == 0) {
          const double rates[] = {44100, 48000, 96000};
          rate_ = rates[pick(0, 2)];
          host_->setSampleRate(rate_);
          quietFrames_ = 0;
        }
        break;
      default: break;
    }
    const int n = blockSize();
    if (n > 8 && pick(0, 3) == 0) {  // automation inside a host block
      const int split = pick(1, n - 1);
      render(split);
      if (::testing::Test::HasFatalFailure()) return;
      randomiseSomething();
      render(n - split);
    } else {
      render(n);
    }
    if (::testing::Test::HasFatalFailure()) return;
    if (block % 7 == 0) checkMeters();
  }

  std::mt19937 rng_;
  Totals& totals_;
  std::unique_ptr<OfflineHost> host_;
  plumbrook::test::FakeEditor editor_;
  std::optional<offline::SavedState> saved_;
  double rate_ = 48000;
  int outputs_ = 2;
  long time_ = 0;
  double quietFrames_ = 0;
  double sinceTimer_ = 0;
  bool calm_ = false;
};

}  // namespace

TEST(host_torture, random_sessions_keep_every_invariant) {
  Totals totals;
  const int replay = envInt("PLUMBROOK_TORTURE_SEED", -1);
  const int sessions = replay >= 0 ? 1 : envInt("PLUMBROOK_TORTURE_SESSIONS", 24);
  const uint32_t base = static_cast<uint32_t>(envInt("PLUMBROOK_TORTURE_BASE", 1000));
  for (int s = 0; s < sessions; ++s) {
    const uint32_t seed = replay >= 0 ? static_cast<uint32_t>(replay) : base + static_cast<uint32_t>(s);
    SCOPED_TRACE("replay with PLUMBROOK_TORTURE_SEED=" + std::to_string(seed));
    Session(seed, totals).run();
    if (HasFatalFailure()) return;
  }
  std::printf("torture: %d sessions, %.1f s of audio, %ld blocks, %ld blocks checked against the ceiling\n",
              totals.sessions, totals.seconds, totals.blocks, totals.ceilingChecks);
  EXPECT_GT(totals.ceilingChecks, 0);
}
