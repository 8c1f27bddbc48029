// The loudness meter with its true peak measured on worker threads gives, figure for figure and
// step for step, what one libebur128 state gives on one thread.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <thread>

#include "apps/loudness.h"
#include "tests/apps/cli_fixture.h"

namespace plumbrook::test {
namespace {

using plumbrook::cli::LoudnessMeter;
using plumbrook::cli::LoudnessStep;
using TruePeakOnThreads = CliTest;

TEST_F(TruePeakOnThreads, measures_exactly_what_one_thread_measures) {
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one core: the meter keeps to one thread";
  struct Case {
    const char* name;
    int channels, rate;
    double peak;
    bool timeline;
  };
  for (const Case& c : {Case{"hot96.wav", 2, 96000, 1.4, true}, Case{"mono44.wav", 1, 44100, 0.9, true},
                        Case{"surround48.wav", 6, 48000, 1.2, false}}) {
    SCOPED_TRACE(c.name);
    Audio written = program(std::min(c.channels, 2), c.rate, 7.3, c.peak);
    if (c.channels > 2) {
      // Each channel its own level, so that one channel's peak cannot stand in for another's.
      std::vector<std::vector<double>> channels;
      for (int ch = 0; ch < c.channels; ++ch) {
        channels.push_back(written.channel(ch % 2));
        for (double& x : channels.back()) x *= 1.0 - 0.1 * ch;
      }
      written = makeAudio(channels, c.rate);
    }
    ASSERT_TRUE(writeAudio(path(c.name), written, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const Audio audio = readAudio(path(c.name));
    ASSERT_EQ(audio.channels, c.channels);

    LoudnessMeter single(c.channels, c.rate, false), split(c.channels, c.rate, false);
    if (c.timeline) {
      single.keepTimeline();
      split.keepTimeline();
    }
    split.measureTruePeakOnThreads();
    // Blocks that fall across the timeline's steps and the workers' buffers alike.
    const int64_t block = 5003;
    for (int64_t at = 0; at < audio.frames(); at += block) {
      const int64_t n = std::min(block, audio.frames() - at);
      single.add(audio.samples.data() + at * c.channels, n);
      split.add(audio.samples.data() + at * c.channels, n);
    }
    const cli::Loudness a = single.result(), b = split.result();
    EXPECT_EQ(a.integratedLufs, b.integratedLufs);
    EXPECT_EQ(a.rangeLu, b.rangeLu);
    EXPECT_EQ(a.samplePeakDb, b.samplePeakDb);
    EXPECT_EQ(a.truePeakDb, b.truePeakDb);
    EXPECT_GT(b.truePeakDb, b.samplePeakDb + 0.05) << "the material should peak between samples";
    const std::vector<LoudnessStep> x = single.timeline(), y = split.timeline();
    ASSERT_EQ(x.size(), y.size());
    EXPECT_EQ(x.size(), c.timeline ? 73u : 0u);
    for (size_t i = 0; i < x.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(x[i].momentaryLufs, y[i].momentaryLufs);
      EXPECT_EQ(x[i].shortTermLufs, y[i].shortTermLufs);
      EXPECT_EQ(x[i].truePeakDb, y[i].truePeakDb);
    }
  }
}

}  // namespace
}  // namespace plumbrook::test
