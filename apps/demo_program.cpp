// The built-in demo program, made from simple synthesis: no samples, no files.
#include "apps/demo_program.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace plumbrook::cli {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed) {}
  double next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<double>(state_) / 2147483648.0 - 1.0;
  }

 private:
  uint32_t state_;
};

double midiToHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// A band-limited-enough sawtooth from a few harmonics.
double saw(double phase, int harmonics) {
  double s = 0.0;
  for (int h = 1; h <= harmonics; ++h) s += std::sin(kTwoPi * h * phase) / h;
  return s * (2.0 / std::numbers::pi);
}

struct Stereo {
  std::vector<double>& out;
  void add(int64_t frame, double left, double right) {
    if (frame < 0 || 2 * frame + 1 >= static_cast<int64_t>(out.size())) return;
    out[static_cast<size_t>(2 * frame)] += left;
    out[static_cast<size_t>(2 * frame + 1)] += right;
  }
};

}  // namespace

std::vector<double> makeDemoProgram(double sampleRate, double seconds) {
  const auto frames = static_cast<int64_t>(std::lround(sampleRate * seconds));
  std::vector<double> out(static_cast<size_t>(2 * frames), 0.0);
  Stereo mix{out};
  const double beat = 0.5;  // seconds at 120 beats per minute
  const auto beatFrames = static_cast<int64_t>(std::lround(beat * sampleRate));
  const int64_t beats = frames / beatFrames;
  Noise noise(0x5eed1234u);

  // Chords: A minor, F major, C major, G major, one bar (4 beats) each; roots in MIDI notes.
  const int roots[4] = {45, 41, 48, 43};
  const int chords[4][3] = {{57, 60, 64}, {53, 57, 60}, {55, 60, 64}, {55, 59, 62}};
  const int64_t introBeats = 8;  // pad and hats alone for two bars

  for (int64_t b = 0; b < beats; ++b) {
    const int64_t start = b * beatFrames;
    const int inBar = static_cast<int>(b % 4);
    const int chord = static_cast<int>((b / 4) % 4);
    const bool full = b >= introBeats;

    // Kick on 1 and 3 (and the "and" of 4 every other bar): a falling sine with a click.
    if (full && (inBar == 0 || inBar == 2 || (inBar == 3 && (b / 4) % 2 == 1))) {
      const int64_t offset = inBar == 3 ? beatFrames / 2 : 0;
      double phase = 0.0;
      for (int64_t i = 0; i < static_cast<int64_t>(0.45 * sampleRate); ++i) {
        const double t = i / sampleRate;
        const double hz = 45.0 + 95.0 * std::exp(-t / 0.035);
        phase += hz / sampleRate;
        const double v = 0.95 * std::sin(kTwoPi * phase) * std::exp(-t / 0.22) + 0.2 * std::exp(-t / 0.002);
        mix.add(start + offset + i, v, v);
      }
    }
    // Snare on 2 and 4: a short tone plus high-passed noise, slightly wide.
    if (full && (inBar == 1 || inBar == 3)) {
      double previousL = 0.0, previousR = 0.0;
      for (int64_t i = 0; i < static_cast<int64_t>(0.25 * sampleRate); ++i) {
        const double t = i / sampleRate;
        const double tone = 0.35 * std::sin(kTwoPi * 190.0 * t) * std::exp(-t / 0.05);
        const double nl = noise.next(), nr = noise.next();
        const double hl = nl - previousL, hr = nr - previousR;  // first difference: brighter
        previousL = nl;
        previousR = nr;
        const double env = 0.45 * std::exp(-t / 0.07);
        mix.add(start + i, tone + env * (0.8 * hl + 0.2 * hr), tone + env * (0.2 * hl + 0.8 * hr));
      }
    }
    // Hats on every eighth, alternating left and right with independent noise: wide.
    for (int half = 0; half < 2; ++half) {
      const int64_t at = start + half * beatFrames / 2;
      const double level = half == 0 ? 0.16 : 0.11;
      const bool leftSide = ((b * 2 + half) % 2) == 0;
      double prevL = 0.0, prevR = 0.0;
      for (int64_t i = 0; i < static_cast<int64_t>(0.06 * sampleRate); ++i) {
        const double t = i / sampleRate;
        const double nl = noise.next(), nr = noise.next();
        const double env = level * std::exp(-t / 0.018);
        const double l = (nl - prevL) * env * (leftSide ? 1.0 : 0.35);
        const double r = (nr - prevR) * env * (leftSide ? 0.35 : 1.0);
        prevL = nl;
        prevR = nr;
        mix.add(at + i, l, r);
      }
    }
    // Bass: eighth notes on the chord root, a low-passed saw, centred.
    if (full) {
      const double hz = midiToHz(roots[chord]);
      for (int half = 0; half < 2; ++half) {
        const int64_t at = start + half * beatFrames / 2;
        double lowPassed = 0.0;
        for (int64_t i = 0; i < beatFrames / 2; ++i) {
          const double t = i / sampleRate;
          const double raw = saw(hz * t, 12);
          lowPassed += 0.12 * (raw - lowPassed);
          const double env = std::min(1.0, t / 0.004) * std::exp(-t / 0.35);
          const double v = 0.42 * lowPassed * env;
          mix.add(at + i, v, v);
        }
      }
    }
  }

  // Pad: three detuned saws per chord note, left and right detuned differently; slow swell.
  // Air: high partials with per-channel phases and a slow shimmer, wide and bright.
  double padPhase[3][2] = {};
  double padLow[2] = {};
  double airPhase[4] = {};
  const double airHz[4] = {8300.0, 9700.0, 11900.0, 13400.0};
  for (int64_t i = 0; i < frames; ++i) {
    const double t = i / sampleRate;
    const int chord = static_cast<int>((i / (4 * beatFrames)) % 4);
    const double withinBar = static_cast<double>(i % (4 * beatFrames)) / sampleRate;
    const double swell = std::min(1.0, withinBar / 0.3) * (0.85 + 0.15 * std::cos(kTwoPi * 0.25 * t));
    double pad[2] = {0.0, 0.0};
    for (int v = 0; v < 3; ++v) {
      const double hz = midiToHz(chords[chord][v]);
      for (int c = 0; c < 2; ++c) {
        padPhase[v][c] += hz * (c == 0 ? 0.996 : 1.004) / sampleRate;
        pad[c] += saw(padPhase[v][c], 8);
      }
    }
    for (int c = 0; c < 2; ++c) padLow[c] += 0.08 * (pad[c] - padLow[c]);
    double air[2] = {0.0, 0.0};
    for (int k = 0; k < 4; ++k) {
      airPhase[k] += airHz[k] / sampleRate;
      const double shimmer = 0.5 + 0.5 * std::sin(kTwoPi * (0.3 + 0.17 * k) * t + k);
      air[0] += shimmer * std::sin(kTwoPi * airPhase[k]);
      air[1] += (1.0 - shimmer) * std::sin(kTwoPi * airPhase[k] + 1.3 * k + 0.7);
    }
    const double airLevel = i >= introBeats * beatFrames ? 0.022 : 0.012;
    mix.add(i, 0.09 * swell * padLow[0] + airLevel * air[0], 0.09 * swell * padLow[1] + airLevel * air[1]);
  }

  // Short fades at the edges, then normalise to the demo's peak.
  const auto fade = static_cast<int64_t>(0.01 * sampleRate);
  for (int64_t i = 0; i < std::min(fade, frames); ++i) {
    const double g = static_cast<double>(i) / fade;
    for (int c = 0; c < 2; ++c) {
      out[static_cast<size_t>(2 * i + c)] *= g;
      out[static_cast<size_t>(2 * (frames - 1 - i) + c)] *= g;
    }
  }
  double peak = 0.0;
  for (double v : out) peak = std::max(peak, std::fabs(v));
  if (peak > 0.0) {
    const double scale = std::pow(10.0, kDemoPeakDb / 20.0) / peak;
    for (double& v : out) v *= scale;
  }
  return out;
}

int64_t DemoSource::read(double* interleaved, int64_t maxFrames) {
  const int64_t n = std::min(maxFrames, frames() - position_);
  std::copy_n(samples_.begin() + position_ * 2, n * 2, interleaved);
  position_ += n;
  return n;
}

}  // namespace plumbrook::cli
