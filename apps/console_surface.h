// A stand-in for an open editor on the command line: message boxes become lines of text.
#pragma once

#include <string>
#include <vector>

#include "core/editor_delegate.h"

namespace plumbrook::cli {

/// text with every control byte (C0, DEL and the UTF-8 encoded C1 range) written as \xNN, so
/// that a name from a shared file cannot retitle, recolour or clear the terminal. Allocates.
std::string terminalSafe(const std::string& text);

/// An editor surface without a window. Message boxes are recorded and, when `echo` is set,
/// printed to standard error as "title: message"; questions are answered Yes only when
/// `answerYes` is set. Attach it so that the plug-in shows its messages and meters.
class ConsoleSurface : public plugkit::EditorSurface {
 public:
  struct Message {
    std::string text;
    std::string title;
    bool question;
    bool answeredYes;
  };

  bool echo = false;
  bool answerYes = false;

  /// Everything shown so far, oldest first.
  const std::vector<Message>& messages() const { return messages_; }
  /// The messages shown with an OK button only (failures), oldest first.
  std::vector<Message> failures() const;
  void clear() { messages_.clear(); }

  void SetParamValueFromDelegate(int, double) override {}
  plugkit::MessageBoxResult ShowMessageBox(const std::string& message, const std::string& caption,
                                           plugkit::MessageBoxType type,
                                           plugkit::MessageBoxCompletion completion) override;
  void MarkAllControlsDirty() override {}
  float GetBackingScale() const override { return 1.0f; }
  float GetDrawScale() const override { return 1.0f; }
  int Width() const override;
  int Height() const override;

 private:
  std::vector<Message> messages_;
};

}  // namespace plumbrook::cli
