// Natural logarithm and exponential over arrays, several lanes at a time where the processor allows.
#pragma once

namespace plumbrook::dsp {

/// Replaces x[0..n) by ln(x), within a few units in the last place of std::log. Any thread;
/// allocates nothing.
void logInPlace(double* x, int n) noexcept;

/// Replaces x[0..n) by e^x, within a few units in the last place of std::exp. Any thread;
/// allocates nothing.
void expInPlace(double* x, int n) noexcept;

}  // namespace plumbrook::dsp
