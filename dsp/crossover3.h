// Three-band crossover: fourth-order Linkwitz-Riley splits whose bands sum to an all-pass.
#pragma once

namespace plumbrook::dsp {

/// One biquad section in transposed direct form II, coefficients normalised by a0.
struct BiquadSection {
  double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
  double s1 = 0.0, s2 = 0.0;

  /// Filters one sample. Audio thread, allocates nothing.
  double process(double x) noexcept {
    const double y = b0 * x + s1;
    s1 = b1 * x - a1 * y + s2;
    s2 = b2 * x - a2 * y;
    return y;
  }
  /// Clears the state, keeps the coefficients.
  void clear() noexcept { s1 = s2 = 0.0; }
};

class Crossover3 {
 public:
  /// The three band samples of one input sample.
  struct Bands {
    double low = 0.0, mid = 0.0, high = 0.0;
  };

  /// Section order: low-pass at lowHz twice, high-pass at lowHz twice, low-pass at highHz twice,
  /// high-pass at highHz twice, all-pass at highHz.
  enum Section { kLp1a, kLp1b, kHp1a, kHp1b, kLp2a, kLp2b, kHp2a, kHp2b, kAp2, kSectionCount };

  /// Designs the splits at lowHz and highHz (each limited to 0.49 of the rate) and clears the state.
  /// Any thread that owns the crossover; allocates nothing.
  void prepare(double sampleRate, double lowHz, double highHz) noexcept;

  /// Splits one sample into low, mid and high; the low band also passes the all-pass at highHz so
  /// the three bands sum to an all-pass. Audio thread, allocates nothing.
  Bands process(double x) noexcept {
    const double h = sections_[kHp1b].process(sections_[kHp1a].process(x));
    const double low = sections_[kAp2].process(sections_[kLp1b].process(sections_[kLp1a].process(x)));
    const double mid = sections_[kLp2b].process(sections_[kLp2a].process(h));
    const double high = sections_[kHp2b].process(sections_[kHp2a].process(h));
    return {low, mid, high};
  }

  /// Clears every section's state. Audio thread safe.
  void clear() noexcept;

  /// Read and write access to a section, for stages that run two crossovers in lock-step.
  BiquadSection& section(int index) noexcept { return sections_[index]; }
  const BiquadSection& section(int index) const noexcept { return sections_[index]; }

 private:
  BiquadSection sections_[kSectionCount];
};

}  // namespace plumbrook::dsp
