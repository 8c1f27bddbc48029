// The built-in demo program: a short procedurally made stereo mix to master without any files.
#pragma once

#include <vector>

namespace plumbrook::cli {

inline constexpr double kDemoSampleRate = 48000.0;
inline constexpr double kDemoSeconds = 20.0;
/// Peak level of the demo program: deliberately over full scale, so the limiter has work.
inline constexpr double kDemoPeakDb = 1.5;

/// Makes the demo: drums, bass, a chord pad and wide high-frequency content at 120 beats per
/// minute, as interleaved stereo at `sampleRate`, normalised to kDemoPeakDb. The same every
/// time (fixed seed). Allocates.
std::vector<double> makeDemoProgram(double sampleRate = kDemoSampleRate, double seconds = kDemoSeconds);

}  // namespace plumbrook::cli
