// EQ band travel: the inner half of each side covers 0..mid dB, the outer half mid..max dB.
#include "core/eq_travel_shape.h"

#include <algorithm>
#include <cmath>

namespace plumbrook {
namespace {

struct Travel {
  double mid;
  double max;
};

Travel travelFor(int band) {
  switch (band) {
    case 0: return {1.064297, 9.769028};
    case 1: return {3.0, 6.0};
    default: return {1.024877, 6.0};
  }
}

}  // namespace

double EqTravelShape::NormalizedToValue(double normalised, const plugkit::Param&) const {
  const Travel t = travelFor(band_);
  const double u = 2.0 * normalised - 1.0;
  const double a = std::min(1.0, std::fabs(u));
  const double value = a <= 0.5 ? 2.0 * a * t.mid : t.mid + 2.0 * (a - 0.5) * (t.max - t.mid);
  return u < 0.0 ? -value : value;
}

double EqTravelShape::ValueToNormalized(double dB, const plugkit::Param&) const {
  const Travel t = travelFor(band_);
  const double x = std::min(t.max, std::fabs(dB));
  const double h = x <= t.mid ? 0.5 * x / t.mid : 0.5 + 0.5 * (x - t.mid) / (t.max - t.mid);
  const double s = dB < 0.0 ? -h : h;
  return (s + 1.0) / 2.0;
}

}  // namespace plumbrook
