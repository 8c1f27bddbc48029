// The WIDTH section's readout: the side lift of the mid and high bands, or a note on mono tracks.
#pragma once

#include <functional>

#include "gfx/control.h"

namespace plumbrook::editor {

class WidthReadoutControl : public plugkit::gfx::Control {
 public:
  struct Style {
    plugkit::gfx::TextStyle heading, value, note, mono;
    plugkit::gfx::Color bar, track;
  };
  /// A band's side lift (dB) at the given amount, while the switch is on.
  using SideLift = std::function<double(int band, double amount)>;
  using ChannelCount = std::function<int()>;

  /// Shows the bool `switchParam` and `amountParam` as linked values; changes to either redraw it.
  WidthReadoutControl(const plugkit::gfx::Rect& bounds, int switchParam, int amountParam, Style style,
                      SideLift sideLift, ChannelCount channels);
  void Draw(plugkit::gfx::Graphics& g) override;

  /// Polled every idle tick: marks the readout dirty when the track's channel count changed.
  void pollChannels();
  int drawnChannels() const { return channels_; }

 private:
  double lift(int band) const;

  Style style_;
  SideLift sideLift_;
  ChannelCount channelCount_;
  int channels_ = 0;
};

}  // namespace plumbrook::editor
