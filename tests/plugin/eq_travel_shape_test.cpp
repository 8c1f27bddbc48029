// The EQ bands' knob travel: the inner half of the travel covers zero to the band's middle value.
#include "plugin/eq_travel_shape.h"

#include <gtest/gtest.h>

using plugkit::Param;

TEST(eq_travel_shape, mid_band_maps_quarters_to_half_travel) {
  Param p;
  p.InitDouble("EQ Mid", 0.0, -6.0, 6.0, 0.01, "", 0, "", plumbrook::EqTravelShape(1));
  EXPECT_DOUBLE_EQ(p.FromNormalized(0.75), 3.0);
  EXPECT_DOUBLE_EQ(p.FromNormalized(1.0), 6.0);
  EXPECT_DOUBLE_EQ(p.FromNormalized(0.25), -3.0);
  EXPECT_DOUBLE_EQ(p.FromNormalized(0.5), 0.0);
}

TEST(eq_travel_shape, inner_half_covers_zero_to_mid_and_round_trips) {
  for (int band = 0; band < 3; ++band) {
    const double max = band == 0 ? 9.769028 : 6.0;
    const double mid = band == 0 ? 1.064297 : band == 1 ? 3.0 : 1.024877;
    Param p;
    p.InitDouble("EQ", 0.0, -max, max, 0.01, "", 0, "", plumbrook::EqTravelShape(band));
    EXPECT_NEAR(p.FromNormalized(0.75), mid, 1e-12) << band;
    EXPECT_NEAR(p.FromNormalized(0.25), -mid, 1e-12) << band;
    for (double v = -max; v <= max; v += 0.37) EXPECT_NEAR(p.FromNormalized(p.ToNormalized(v)), v, 1e-9);
    EXPECT_EQ(p.GetShape().GetDisplayType(), Param::kDisplayLinear);
  }
}
