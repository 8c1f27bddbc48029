// A stand-in for an open editor on the command line.
#include "apps/console_surface.h"

#include <cstdio>

#include "core/plumbrook.h"

namespace plumbrook::cli {

std::vector<ConsoleSurface::Message> ConsoleSurface::failures() const {
  std::vector<Message> out;
  for (const Message& m : messages_)
    if (!m.question) out.push_back(m);
  return out;
}

plugkit::MessageBoxResult ConsoleSurface::ShowMessageBox(const std::string& message, const std::string& caption,
                                                         plugkit::MessageBoxType type,
                                                         plugkit::MessageBoxCompletion completion) {
  const bool question = type == plugkit::MessageBoxType::kYesNo || type == plugkit::MessageBoxType::kYesNoCancel;
  plugkit::MessageBoxResult result = plugkit::MessageBoxResult::kOK;
  if (question) result = answerYes ? plugkit::MessageBoxResult::kYes : plugkit::MessageBoxResult::kNo;
  messages_.push_back({message, caption, question, result == plugkit::MessageBoxResult::kYes});
  if (echo) {
    if (question)
      std::fprintf(stderr, "%s: %s %s\n", caption.c_str(), message.c_str(), answerYes ? "yes (--yes)" : "no");
    else
      std::fprintf(stderr, "%s: %s\n", caption.c_str(), message.c_str());
  }
  if (completion) completion(result);
  return result;
}

int ConsoleSurface::Width() const { return kDesignWidth; }
int ConsoleSurface::Height() const { return kDesignHeight; }

}  // namespace plumbrook::cli
