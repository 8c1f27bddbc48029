// Deterministic test signals: sines, noise, impulses.
#pragma once

#include <cstdint>
#include <vector>

namespace plumbrook::test {

/// A sine of the given frequency, amplitude and phase (radians).
std::vector<double> sine(double frequencyHz, double sampleRate, int frames, double amplitude = 1.0,
                         double phase = 0.0);

/// White noise, uniform in [-amplitude, amplitude], from a seeded generator.
std::vector<double> whiteNoise(uint32_t seed, int frames, double amplitude = 1.0);

/// Pink noise (-3 dB per octave) scaled to the given peak, from a seeded generator.
std::vector<double> pinkNoise(uint32_t seed, int frames, double peak = 1.0);

/// Largest absolute sample.
double peak(const std::vector<double>& x);

/// Root-mean-square level.
double rms(const std::vector<double>& x);

}  // namespace plumbrook::test
