// What the editor's binary reaches in a running plug-in instance through instance access.
#pragma once

#include <functional>

#include "plugin/plumbrook.h"

namespace plumbrook::lv2 {

/// The plug-in side of an instance as the editor binary sees it. The instance handle that the
/// host hands out through instance access points at this interface. Every call on the host's UI
/// thread.
class InstanceBridge {
 public:
  virtual Plumbrook& plugin() = 0;
  /// From now on editor gestures and changes go to `editorHost`, and the instance's idle work
  /// runs only from tick(): the shared timer leaves this instance alone until detachEditor().
  /// Returns after any tick the shared timer was running for it has finished.
  virtual void attachEditor(plugkit::Host* editorHost) = 0;
  /// Gestures and changes go nowhere again, and the shared timer ticks the instance again.
  virtual void detachEditor() = 0;
  /// One idle tick (host changes to the editor, then OnIdle), as the shared timer would run it.
  virtual void tick() = 0;
  /// Runs `work` serialised with state save and restore and with idle ticks.
  virtual void whileLocked(const std::function<void()>& work) = 0;

 protected:
  ~InstanceBridge() = default;
};

}  // namespace plumbrook::lv2
