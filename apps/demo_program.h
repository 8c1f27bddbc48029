// The built-in demo program: a short procedurally made stereo mix to master without any files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "apps/audio_file.h"

namespace plumbrook::cli {

inline constexpr double kDemoSampleRate = 48000.0;
inline constexpr double kDemoSeconds = 20.0;
/// The file format the demo is written in unless told otherwise (libsndfile code: WAV, 24-bit).
inline constexpr int kDemoFileFormat = 0x010000 | 0x0003;
/// Peak level of the demo program: deliberately over full scale, so the limiter has work.
inline constexpr double kDemoPeakDb = 1.5;

/// Makes the demo: drums, bass, a chord pad and wide high-frequency content at 120 beats per
/// minute, as interleaved stereo at `sampleRate`, normalised to kDemoPeakDb. The same every
/// time (fixed seed). Allocates.
std::vector<double> makeDemoProgram(double sampleRate = kDemoSampleRate, double seconds = kDemoSeconds);

/// The demo program as an audio source (made once, held in memory).
class DemoSource : public AudioSource {
 public:
  DemoSource() : samples_(makeDemoProgram()) {}
  int channels() const override { return 2; }
  double sampleRate() const override { return kDemoSampleRate; }
  int64_t frames() const override { return static_cast<int64_t>(samples_.size()) / 2; }
  int64_t read(double* interleaved, int64_t maxFrames) override;
  bool rewind(std::string&) override {
    position_ = 0;
    return true;
  }

 private:
  std::vector<double> samples_;
  int64_t position_ = 0;
};

}  // namespace plumbrook::cli
