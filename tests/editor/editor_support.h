// An open Plumbrook editor on the recording back end, hosted offline, with a scripted window.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>

#include "editor/editor_drawing.h"
#include "gfx/graphics_recording.h"
#include "platform/offline/offline_host.h"
#include "tests/support/gfx_doubles.h"

namespace plumbrook::test {

/// The scripted window, answering message boxes from a script too (No when it runs out).
class EditorPlatform : public ScriptedPlatform {
 public:
  std::deque<plugkit::MessageBoxResult> boxAnswers;
  std::vector<std::string> boxMessages;
  std::vector<plugkit::gfx::Cursor> cursors;

  plugkit::MessageBoxResult ShowMessageBox(const std::string& message, const std::string&,
                                           plugkit::MessageBoxType type,
                                           plugkit::MessageBoxCompletion completion) override {
    boxMessages.push_back(message);
    plugkit::MessageBoxResult result = plugkit::MessageBoxResult::kOK;
    if (type == plugkit::MessageBoxType::kYesNo) {
      result = plugkit::MessageBoxResult::kNo;
      if (!boxAnswers.empty()) result = boxAnswers.front(), boxAnswers.pop_front();
    }
    if (completion) completion(result);
    return result;
  }
  void SetMouseCursor(plugkit::gfx::Cursor cursor) override { cursors.push_back(cursor); }
};

/// A clock the test moves by hand (nanoseconds).
struct ManualClock {
  int64_t now = 1'000'000'000;
  void advanceSeconds(double s) { now += static_cast<int64_t>(s * 1e9); }
  editor::SteadyClock clock() {
    return [this] { return now; };
  }
};

/// An editor opened on a plug-in: the graphics context, the window and the companion.
struct OpenEditor {
  OpenEditor(Plumbrook& plugin, ManualClock& time)
      : graphics(plugin, 880, 382, plugin.initialDrawScale()) {
    graphics.SetPlatform(&platform);
    platform.grantResizesTo = &graphics;
    editor = std::make_unique<editor::PlumbrookEditor>(plugin, graphics, editor::defaultResources(), time.clock());
  }
  ~OpenEditor() { editor.reset(); }

  template <typename T>
  T* tagged(int tag) {
    return dynamic_cast<T*>(graphics.ControlWithTag(tag));
  }
  /// The first control of type T on a parameter.
  template <typename T>
  T* onParam(int paramIdx) {
    T* found = nullptr;
    graphics.ForEachControlWithParam(paramIdx, [&](plugkit::gfx::Control* c) {
      if (!found) found = dynamic_cast<T*>(c);
    });
    return found;
  }
  void click(float x, float y) {
    plugkit::gfx::MouseMod left;
    left.L = true;
    graphics.OnMouseDown(x, y, left);
    graphics.OnMouseUp(x, y, left);
  }
  void clickCentre(const plugkit::gfx::Control& c) { click(c.GetRECT().MW(), c.GetRECT().MH()); }

  EditorPlatform platform;
  plugkit::gfx::GraphicsRecording graphics;
  std::unique_ptr<editor::PlumbrookEditor> editor;
};

}  // namespace plumbrook::test
