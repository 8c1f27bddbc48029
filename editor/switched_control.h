// A control shown only while a switch parameter is in one state: the shades over switched-off
// sections and the note under a forced pill.
#pragma once

#include <utility>

#include "gfx/control.h"

namespace plumbrook::editor {

/// `Base` linked to its switch as a shown value. Peers and host changes both arrive through
/// SetValueFromDelegate, so the control follows the switch without anyone listing it.
template <class Base>
class ShownBySwitch : public Base {
 public:
  template <class... Args>
  ShownBySwitch(int switchParam, bool shownWhileOn, Args&&... args)
      : Base(std::forward<Args>(args)...), shownWhileOn_(shownWhileOn) {
    this->LinkShownParam(switchParam);
    // Clicks reach the controls beneath.
    this->SetIgnoreMouse(true);
    followSwitch();
  }

  void SetValueFromDelegate(double value, int valIdx = 0) override {
    Base::SetValueFromDelegate(value, valIdx);
    followSwitch();
  }

 private:
  void followSwitch() {
    const bool hide = (this->GetValue() > 0.5) != shownWhileOn_;
    if (hide != this->IsHidden()) this->Hide(hide);
  }

  bool shownWhileOn_;
};

}  // namespace plumbrook::editor
