// Pink (-3 dB per octave) colouring of white noise, for test and benchmark signals.
#pragma once

namespace plumbrook::test {

/// Paul Kellet's economy pink filter: three one-pole sections plus a direct term.
class PinkFilter {
 public:
  double next(double white) noexcept {
    b0_ = 0.99765 * b0_ + white * 0.0990460;
    b1_ = 0.96300 * b1_ + white * 0.2965164;
    b2_ = 0.57000 * b2_ + white * 1.0526913;
    return b0_ + b1_ + b2_ + white * 0.1848;
  }

 private:
  double b0_ = 0.0, b1_ = 0.0, b2_ = 0.0;
};

}  // namespace plumbrook::test
