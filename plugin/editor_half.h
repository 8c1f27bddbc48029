// The drawing half of the plug-in's editor as the core sees it: the calls the plug-in makes
// into an open editor. The controls themselves live above the core, in editor/.
#pragma once

#include <string>

#include "core/editor_delegate.h"

namespace plumbrook {

/// An open editor of the plug-in. Whoever opens the window (a host binding, the tool, a test)
/// builds it and hands it to Plumbrook::attachEditor; every call comes on the main thread.
class EditorHalf : public plugkit::EditorSurface {
 public:
  /// Removes every control and lays the editor out again (a new accent colour). Allocates.
  virtual void rebuild() = 0;
  /// The title shows the track name, or the product name when it is empty.
  virtual void setTitle(const std::string& trackName) = 0;
  /// The status line's text; `highlighted` when the plug-in reports latency.
  virtual void setStatus(const std::string& text, bool highlighted) = 0;
  /// The editor's own part of the idle tick: meters and the width readout.
  virtual void idle() = 0;
  /// Draws the design space at `drawScale`; with `resizeWindow` the platform window follows.
  virtual void resize(float drawScale, bool resizeWindow) = 0;
};

}  // namespace plumbrook
