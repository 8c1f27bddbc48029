// Parameter shape of the EQ bands: each side's travel is two linear halves, 0..mid and mid..max dB.
#pragma once

#include "core/param.h"

namespace plumbrook {

class EqTravelShape : public plugkit::Param::Shape {
 public:
  /// band: 0 Low, 1 Mid, 2 High.
  explicit EqTravelShape(int band) : band_(band) {}
  Shape* Clone() const override { return new EqTravelShape(*this); }
  void Init(const plugkit::Param&) override {}
  plugkit::Param::EDisplayType GetDisplayType() const override { return plugkit::Param::kDisplayLinear; }
  double NormalizedToValue(double normalised, const plugkit::Param& param) const override;
  double ValueToNormalized(double dB, const plugkit::Param& param) const override;

  int band() const { return band_; }

 private:
  int band_;
};

}  // namespace plumbrook
