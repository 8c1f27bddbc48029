// Reference output: seeded random sessions and fixed programme scenarios are rendered and every
// output sample is hashed; the hashes must equal the ones recorded below, so that work on speed
// cannot change a single bit of the sound.
//
// When a change of sound is intended, regenerate the table: run
//   PLUMBROOK_PRINT_REFERENCE=1 build/tests/platform_reference_output_test
// and paste the printed lines over kReference, saying in the commit why the sound changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/offline/offline_host.h"
#include "tests/support/fake_editor.h"
#include "tests/support/pink_filter.h"

using namespace plumbrook;
using plumbrook::offline::OfflineHost;

namespace {

struct Reference {
  const char* scenario;
  uint64_t hash;
};

// Last recorded when the true-peak detector grew to 64 taps, after the fade back from bypass began
// to wait for the refilled look-ahead line
// (see the top of the file to regenerate).
constexpr Reference kReference[] = {
    {"programme_stereo_16", 0x2c8b345e984018d2ull},
    {"programme_stereo_64", 0xfc312d38ea91c7c7ull},
    {"programme_stereo_256", 0xa96e120efbac92dfull},
    {"programme_stereo_1024", 0xc89112be1d5d8a19ull},
    {"programme_stereo_1000", 0x613cd87b6e83c3a5ull},
    {"programme_mono_16", 0x0bae660067cd202bull},
    {"programme_mono_64", 0x52c54c5bedfb9b1full},
    {"programme_mono_256", 0xd832c070626362b4ull},
    {"programme_mono_1024", 0x309b6d0e746d087aull},
    {"programme_mono_1000", 0x24cc43cd0769263full},
    {"session_500", 0x80bcecde67735e77ull},
    {"session_501", 0x033724e849df4440ull},
    {"session_502", 0x7404bf0e0ac3a5e0ull},
    {"session_503", 0x68dcfc4eb89d049aull},
    {"session_504", 0x99e89f4af8c55e54ull},
    {"session_505", 0x835fde8e8e9c5e54ull},
    {"session_506", 0xa5efcd7e8960d8b1ull},
    {"session_507", 0x8848bca7e3838d66ull},
    {"session_508", 0x2e00b33fdf8f1e30ull},
    {"session_509", 0x20285b1471adfe05ull},
    {"session_510", 0x8a50f0f56416691eull},
    {"session_511", 0x2ae1c894f6717c37ull},
    {"session_512", 0xe84a218414c782d2ull},
    {"session_513", 0x2ee9be829d74ba3cull},
    {"session_514", 0x5ccc17befd2ce6deull},
    {"session_515", 0xafd863a33f53a356ull},
    {"session_516", 0x51ab1aebbf6ae672ull},
    {"session_517", 0x089dd034c3480614ull},
    {"session_518", 0x416b09d55d03f57eull},
    {"session_519", 0x5c333720ae2451f8ull},
    {"session_520", 0x48da888755e82f28ull},
    {"session_521", 0x9496b96de9cf2e0dull},
    {"session_522", 0x9a6afdd559d56d34ull},
    {"session_523", 0xfdd4a89ac4fc7ef2ull},
    {"session_524", 0x63db92bb63f015deull},
    {"session_525", 0xe87fe266592b2108ull},
    {"session_526", 0x1fd1def1d58f89f1ull},
    {"session_527", 0x087c2e86654dd34full},
    {"session_528", 0xe49df6c8f790bc80ull},
    {"session_529", 0x92030d6f28c753b4ull},
    {"session_530", 0x0c1afe847a02349full},
    {"session_531", 0x89a4d924b512c8a2ull},
};

// FNV-1a over the bytes of every processed output sample, in the order they come out.
class OutputHash {
 public:
  void add(const double* x, int n) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(x);
    for (size_t i = 0; i < sizeof(double) * static_cast<size_t>(n); ++i) hash_ = (hash_ ^ bytes[i]) * 0x100000001b3ull;
  }
  uint64_t value() const { return hash_; }

 private:
  uint64_t hash_ = 0xcbf29ce484222325ull;
};

std::unique_ptr<OfflineHost> hostFor(double rate, int channels) {
  std::string error;
  auto host = OfflineHost::create({rate, channels, channels, 4096, true}, error);
  EXPECT_TRUE(host) << error;
  return host;
}

// Renders n frames into fresh output buffers and hashes the processed ones.
void renderInto(OfflineHost& host, std::vector<std::vector<double>>& io, int n, int outputs, OutputHash& hash,
                bool nullInput = false) {
  const int hashed = std::min(outputs, 2);  // further outputs carry an unprocessed copy
  std::vector<std::vector<double>> out(static_cast<size_t>(outputs), std::vector<double>(static_cast<size_t>(n) + 1));
  std::vector<double*> in, o;
  for (auto& ch : io) in.push_back(ch.data());
  for (auto& ch : out) o.push_back(ch.data());
  host.plugin().RenderBlock(nullInput ? nullptr : in.data(), o.data(), n);
  for (int c = 0; c < hashed; ++c) hash.add(out[static_cast<size_t>(c)].data(), n);
}

// A programme like the benchmarks': loud pink noise with a level swing and kick-like bursts, every
// stage working, EQ targets moving, and every switch of the chain thrown once along the way.
uint64_t programme(int channels, int block) {
  auto host = hostFor(48000.0, channels);
  if (!host) return 0;
  test::FakeEditor editor;
  host->plugin().AttachUI(&editor);
  host->setParameter(kAmount, 200.0);
  host->setParameter(kGain, 1.0);
  host->setParameter(kLimiterThreshold, -10.0);
  host->setParameter(kLimiterCeiling, -1.0);
  host->setParameter(kLimiterTruePeak, 1.0);
  host->setParameter(kLimiterLookahead, 1.0);
  std::mt19937 shared(7), own(11);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  test::PinkFilter pink[2];
  OutputHash hash;
  const int frames = 48000 * 3;
  std::vector<std::vector<double>> io(static_cast<size_t>(channels), std::vector<double>(static_cast<size_t>(block)));
  for (int start = 0, b = 0; start < frames; start += block, ++b) {
    const int at = start / 4800;  // a change of settings every 100 ms
    if (start % 4800 < block) {
      switch (at) {
        case 2: host->setParameter(kGain, 0.0); break;  // exactly unity
        case 4: host->setParameter(kBypass, 1.0); break;
        case 6: host->setParameter(kBypass, 0.0); break;
        case 8: host->setParameter(kLimiterActive, 0.0); break;
        case 10: host->setParameter(kLimiterActive, 1.0); break;
        case 12: host->setParameter(kLimiterTruePeak, 0.0); break;
        case 14: host->setParameter(kLimiterLookahead, 0.0); break;
        case 16: host->setParameter(kLimiterLookahead, 1.0); break;
        case 18: host->setParameter(kAmount, 0.0); break;
        case 20: host->setParameter(kAmount, 60.0); break;
        case 22: host->setParameter(kWidthActive, 0.0); break;
        case 24: host->setParameter(kGain, -6.5); break;
        case 26: host->setParameter(kLimiterCeiling, -3.0); break;
        default: break;
      }
    }
    if (b % 20 == 0) {
      const double phase = b / 20;
      host->setParameter(kEqLow, 4.0 * std::sin(phase));
      host->setParameter(kEqMid, -3.0 * std::cos(phase));
      host->setParameter(kEqHigh, 2.0 * std::sin(0.7 * phase));
    }
    const int n = std::min(block, frames - start);
    for (int i = 0; i < n; ++i) {
      const int t = start + i;
      const double sharedNoise = 0.6 * dist(shared);
      const double swing = 0.6 + 0.4 * std::sin(2.0 * M_PI * 1.7 * t / 48000.0);
      const double beat = (t % 24000) < 4000 ? std::sin(2.0 * M_PI * 55.0 * t / 48000.0) * std::exp(-(t % 24000) / 1500.0) : 0.0;
      for (int c = 0; c < channels; ++c)
        io[static_cast<size_t>(c)][static_cast<size_t>(i)] = 0.25 * swing * pink[c].next(sharedNoise + 0.4 * dist(own)) + 0.5 * beat;
    }
    renderInto(*host, io, n, channels, hash);
  }
  host->plugin().DetachUI();
  return hash.value();
}

// A seeded session like the torture test's: any rate, layout, block size, automation, bypass,
// host bypass, state restore and hostile input, rendered offline so that no clock enters.
class Session {
 public:
  explicit Session(uint32_t seed) : rng_(seed) {}

  uint64_t run() {
    const double rates[] = {22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000, 384000};
    const double rate = pick(0, 3) == 0 ? uniform(22050, 384000) : rates[pick(0, 8)];
    const int layout = pick(0, 2);  // mono, stereo, four outputs
    const int ioChannels = layout == 0 ? 1 : 2;
    outputs_ = layout == 2 ? 4 : ioChannels;
    host_ = hostFor(rate, ioChannels);
    if (!host_) return 0;
    Plumbrook& p = host_->plugin();
    if (layout == 2) p.SetChannelConnections(plugkit::kOutput, 4);
    test::FakeEditor editor;
    if (pick(0, 1)) p.AttachUI(&editor);
    for (int i = 0; i < kNumParams; ++i) randomise(i);
    const int blocks = pick(60, 160);
    for (int b = 0; b < blocks; ++b) step();
    p.DetachUI();
    return hash_.value();
  }

 private:
  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }

  void randomise(int idx) {
    const plugkit::Param& param = *host_->plugin().GetParam(idx);
    const int kind = pick(0, 5);
    host_->setParameter(idx, kind == 0 ? param.GetMin() : kind == 1 ? param.GetMax() : uniform(param.GetMin(), param.GetMax()));
  }

  void render(int n) {
    const int ioChannels = host_->plugin().ConnectedChannels(plugkit::kInput);
    std::vector<std::vector<double>> in(static_cast<size_t>(ioChannels), std::vector<double>(static_cast<size_t>(n) + 1));
    const int kind = pick(0, 4);
    const double gain = pick(0, 3) == 0 ? 4.0 : 1.0;
    for (auto& ch : in) {
      for (int i = 0; i < n; ++i) {
        const long t = time_ + i;
        double x = 0.0;
        if (kind == 1) x = std::sin(t * 0.07) * 0.9;
        if (kind == 2) x = (t / 37) % 2 ? 1.0 : -1.0;
        if (kind == 3) x = uniform(-1.5, 1.5);
        if (kind == 4) x = 1e-310 * static_cast<double>(t % 3);
        ch[static_cast<size_t>(i)] = gain * x;
      }
    }
    if (n > 0 && pick(0, 5) == 0) {
      const double nasty[] = {std::numeric_limits<double>::quiet_NaN(), INFINITY, -INFINITY, 1e300};
      in[static_cast<size_t>(pick(0, ioChannels - 1))][static_cast<size_t>(pick(0, n - 1))] = nasty[pick(0, 3)];
    }
    renderInto(*host_, in, n, outputs_, hash_, pick(0, 9) == 0);
    time_ += n;
  }

  void step() {
    switch (pick(0, 14)) {
      case 0: randomise(pick(0, kNumParams - 1)); break;
      case 1: {
        const int switches[] = {kBypass, kLimiterActive, kLimiterLookahead, kLimiterTruePeak};
        for (int k = pick(1, 4); k > 0; --k) host_->setParameter(switches[pick(0, 3)], pick(0, 1));
        break;
      }
      case 2:
        if (pick(0, 2) == 0) host_->setHostBypass(!host_->plugin().GetBypassed());
        break;
      case 3:
        if (saved_) host_->restoreState(*saved_);
        else saved_ = host_->saveState();
        break;
      case 4:
        if (pick(0, 4) == 0) host_->setSampleRate(std::array{44100.0, 48000.0, 96000.0}[static_cast<size_t>(pick(0, 2))]);
        break;
      case 5:
      case 6: randomise(std::array{kGain, kAmount, kWidthActive, kLimiterThreshold, kEqLow, kEqMid, kEqHigh}[static_cast<size_t>(pick(0, 6))]); break;
      default: break;
    }
    const int sizes[] = {0, 1, 2, 3, 16, 64, 255, 256, 257, 1024, 4096};
    const int n = pick(0, 3) == 0 ? pick(1, 3000) : sizes[pick(0, 10)];
    if (n > 8 && pick(0, 3) == 0) {  // automation inside a host block
      const int split = pick(1, n - 1);
      render(split);
      randomise(pick(0, kNumParams - 1));
      render(n - split);
    } else {
      render(n);
    }
    if (pick(0, 7) == 0) host_->runTimer();
  }

  std::mt19937 rng_;
  std::unique_ptr<OfflineHost> host_;
  std::optional<offline::SavedState> saved_;
  OutputHash hash_;
  int outputs_ = 2;
  long time_ = 0;
};

std::vector<std::pair<std::string, uint64_t>> renderAll() {
  std::vector<std::pair<std::string, uint64_t>> all;
  for (const int channels : {2, 1}) {
    for (const int block : {16, 64, 256, 1024, 1000}) {
      all.emplace_back(std::string("programme_") + (channels == 2 ? "stereo_" : "mono_") + std::to_string(block),
                       programme(channels, block));
    }
  }
  for (uint32_t seed = 500; seed < 532; ++seed) all.emplace_back("session_" + std::to_string(seed), Session(seed).run());
  return all;
}

}  // namespace

TEST(reference_output, every_scenario_renders_bit_for_bit_as_recorded) {
  const auto all = renderAll();
  if (const char* print = std::getenv("PLUMBROOK_PRINT_REFERENCE"); print && *print) {
    for (const auto& [name, hash] : all) std::printf("    {\"%s\", 0x%016" PRIx64 "ull},\n", name.c_str(), hash);
  }
  ASSERT_EQ(all.size(), std::size(kReference)) << "the scenarios changed: regenerate the table";
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].first, kReference[i].scenario);
    EXPECT_EQ(all[i].second, kReference[i].hash) << all[i].first << " sounds different from its recording";
  }
}
