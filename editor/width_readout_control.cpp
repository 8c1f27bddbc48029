// Width readout drawing.
#include "editor/width_readout_control.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gfx/graphics.h"

namespace plumbrook::editor {

using namespace plugkit::gfx;

WidthReadoutControl::WidthReadoutControl(const Rect& bounds, int switchParam, int amountParam, Style style,
                                         SideLift sideLift, ChannelCount channels)
    : Control(bounds), style_(std::move(style)), sideLift_(std::move(sideLift)), channelCount_(std::move(channels)) {
  LinkShownParam(switchParam);
  LinkShownParam(amountParam);
  SetIgnoreMouse(true);
}

double WidthReadoutControl::lift(int band) const {
  const plugkit::Param* amount = GetParam(1);
  if (GetValue(0) <= 0.5 || !amount || !sideLift_) return 0.0;
  return std::max(0.0, sideLift_(band, amount->FromNormalized(GetValue(1))));
}

void WidthReadoutControl::pollChannels() {
  const int n = channelCount_ ? channelCount_() : 2;
  if (n != channels_) {
    channels_ = n;
    SetDirty(false);
  }
}

void WidthReadoutControl::Draw(Graphics& g) {
  const float L = rect_.L, T = rect_.T, R = rect_.R;
  const int n = channelCount_ ? channelCount_() : 2;
  if (n < 2) {
    g.DrawText(style_.mono, "mono track:", Rect(L, T + 16, R, T + 32), &blend_);
    g.DrawText(style_.mono, "nothing to widen", Rect(L, T + 32, R, T + 48), &blend_);
    return;
  }
  g.DrawText(style_.heading, "SIDE LIFT", Rect(L, T + 10, R, T + 22), &blend_);
  static constexpr const char* kNames[2] = {"MID", "HIGH"};
  for (int row = 0; row < 2; ++row) {
    const float y = T + 28 + 22 * static_cast<float>(row);
    g.DrawText(style_.heading, kNames[row], Rect(L, y, L + 36, y + 12), &blend_);
    g.FillRect(style_.track, Rect(L + 38, y + 4, L + 62, y + 10), &blend_);
    // The bar shows the readout's own rounding, so "+0.0" never comes with a sliver of bar.
    const double lift = std::round(this->lift(row + 1) * 10.0) / 10.0;
    // A full bar is 8 dB.
    const float f = static_cast<float>(std::min(1.0, lift / 8.0));
    if (f > 0) g.FillRect(style_.bar, Rect(L + 38, y + 4, L + 38 + 24 * f, y + 10), &blend_);
    char text[32];
    std::snprintf(text, sizeof text, "+%.1f", lift);
    g.DrawText(style_.value, text, Rect(L + 58, y - 1, L + 88, y + 11), &blend_);
  }
  g.DrawText(style_.note, "set by AMOUNT", Rect(L, T + 121.7f, L + 88, T + 135.7f), &blend_);
}

}  // namespace plumbrook::editor
