// A stand-in for an open editor on the command line.
#include "apps/console_surface.h"

#include <cstdio>

#include "plugin/plumbrook.h"

namespace plumbrook::cli {

std::string terminalSafe(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  auto escape = [&](unsigned char byte) {
    char code[8];
    std::snprintf(code, sizeof code, "\\x%02x", byte);
    out += code;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (byte < 0x20 || byte == 0x7f) {
      escape(byte);
    } else if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) {
      // U+0080..U+009F: terminals take some of these (CSI, OSC) as commands.
      escape(byte);
      escape(next);
      ++i;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

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
      std::fprintf(stderr, "%s: %s %s\n", caption.c_str(), terminalSafe(message).c_str(),
                   answerYes ? "yes (--yes)" : "no");
    else
      std::fprintf(stderr, "%s: %s\n", caption.c_str(), terminalSafe(message).c_str());
  }
  if (completion) completion(result);
  return result;
}

int ConsoleSurface::Width() const { return kDesignWidth; }
int ConsoleSurface::Height() const { return kDesignHeight; }

}  // namespace plumbrook::cli
