// A scriptable open editor for tests: records values shown and message boxes, answers boxes.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "plugin/editor_half.h"

namespace plumbrook::test {

class FakeEditor : public plugkit::EditorSurface {
 public:
  struct Shown {
    int paramIdx;
    double normalised;
  };
  struct Box {
    std::string message;
    std::string caption;
    plugkit::MessageBoxType type;
  };

  /// Answers for the next Yes/No boxes, in order; No when none is left.
  std::deque<plugkit::MessageBoxResult> answers;
  std::vector<Shown> shown;
  std::vector<Box> boxes;
  int dirtyMarks = 0;
  float backingScale = 1.0f;
  float drawScale = 1.0f;

  void SetParamValueFromDelegate(int paramIdx, double normalised) override {
    shown.push_back({paramIdx, normalised});
  }
  plugkit::MessageBoxResult ShowMessageBox(const std::string& message, const std::string& caption,
                                           plugkit::MessageBoxType type,
                                           plugkit::MessageBoxCompletion completion) override {
    boxes.push_back({message, caption, type});
    plugkit::MessageBoxResult result = plugkit::MessageBoxResult::kOK;
    if (type == plugkit::MessageBoxType::kYesNo || type == plugkit::MessageBoxType::kYesNoCancel) {
      result = plugkit::MessageBoxResult::kNo;
      if (!answers.empty()) {
        result = answers.front();
        answers.pop_front();
      }
    }
    if (completion) completion(result);
    return result;
  }
  void MarkAllControlsDirty() override { ++dirtyMarks; }
  float GetBackingScale() const override { return backingScale; }
  float GetDrawScale() const override { return drawScale; }
  int Width() const override { return 880; }
  int Height() const override { return 382; }
};

/// The drawing half of an editor, recording what the plug-in asks of it.
class FakeEditorHalf : public plumbrook::EditorHalf {
 public:
  struct Resize {
    float drawScale;
    bool resizeWindow;
  };
  FakeEditor surface;
  std::vector<Resize> resizes;
  std::vector<std::string> titles;
  std::vector<std::pair<std::string, bool>> statuses;
  int rebuilds = 0;
  int idles = 0;

  void SetParamValueFromDelegate(int paramIdx, double normalised) override {
    surface.SetParamValueFromDelegate(paramIdx, normalised);
  }
  plugkit::MessageBoxResult ShowMessageBox(const std::string& message, const std::string& caption,
                                           plugkit::MessageBoxType type,
                                           plugkit::MessageBoxCompletion completion) override {
    return surface.ShowMessageBox(message, caption, type, std::move(completion));
  }
  void MarkAllControlsDirty() override { surface.MarkAllControlsDirty(); }
  float GetBackingScale() const override { return surface.backingScale; }
  float GetDrawScale() const override { return surface.drawScale; }
  int Width() const override { return 880; }
  int Height() const override { return 382; }

  void rebuild() override { ++rebuilds; }
  void setTitle(const std::string& trackName) override { titles.push_back(trackName); }
  void setStatus(const std::string& text, bool highlighted) override { statuses.emplace_back(text, highlighted); }
  void idle() override { ++idles; }
  void resize(float drawScale, bool resizeWindow) override {
    resizes.push_back({drawScale, resizeWindow});
    surface.drawScale = drawScale;
  }
};

}  // namespace plumbrook::test
