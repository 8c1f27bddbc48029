// EQ band travel: the inner half of each side covers 0..mid dB, the outer half mid..max dB.
#include "plugin/eq_travel_shape.h"

#include <algorithm>
#include <cmath>

#include "dsp/eq.h"

namespace plumbrook {

double EqTravelShape::NormalizedToValue(double normalised, const plugkit::Param&) const {
  const dsp::Eq::Travel t = dsp::Eq::travel(band_);
  const double u = 2.0 * normalised - 1.0;
  const double a = std::min(1.0, std::fabs(u));
  const double value = a <= 0.5 ? 2.0 * a * t.midDb : t.midDb + 2.0 * (a - 0.5) * (t.maxDb - t.midDb);
  return u < 0.0 ? -value : value;
}

double EqTravelShape::ValueToNormalized(double dB, const plugkit::Param&) const {
  const dsp::Eq::Travel t = dsp::Eq::travel(band_);
  const double x = std::min(t.maxDb, std::fabs(dB));
  const double h = x <= t.midDb ? 0.5 * x / t.midDb : 0.5 + 0.5 * (x - t.midDb) / (t.maxDb - t.midDb);
  const double s = dB < 0.0 ? -h : h;
  return (s + 1.0) / 2.0;
}

}  // namespace plumbrook
