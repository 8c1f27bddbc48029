// A scriptable open editor for tests: records values shown and message boxes, answers boxes.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "core/editor_delegate.h"

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

}  // namespace plumbrook::test
