// Reading the tool's own arguments: options with values, flags and operands, the same way in
// every subcommand.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "apps/commands.h"

namespace plumbrook::cli {

/// `text` in single quotes, as the tool shows names and values in messages.
inline std::string inQuotes(const std::string& text) { return "'" + text + "'"; }

/// Walks arguments in order. An option's value comes from "--name=value" or from the argument
/// after it; "-" and anything not starting with '-' is an operand.
class OptionReader {
 public:
  explicit OptionReader(const Args& args) : args_(args) {}

  /// Moves to the next argument; false after the last.
  bool next() {
    if (++index_ >= args_.size()) return false;
    name_ = args_[index_];
    attached_.reset();
    if (name_.rfind("--", 0) == 0) {
      if (const size_t eq = name_.find('='); eq != std::string::npos) {
        attached_ = name_.substr(eq + 1);
        name_.resize(eq);
      }
    }
    return true;
  }
  /// The option's name without any "=value", or the operand.
  const std::string& name() const { return name_; }
  bool isOperand() const { return name_ == "-" || name_.empty() || name_[0] != '-'; }
  /// True for an option written without "=value", as a flag must be.
  bool bare() const { return !attached_; }
  /// Takes the option's value; false with `error` set when there is none.
  bool value(std::string& out, std::string& error) {
    if (attached_) {
      out = *attached_;
      return true;
    }
    if (index_ + 1 >= args_.size()) {
      error = name_ + " needs a value";
      return false;
    }
    out = args_[++index_];
    return true;
  }

 private:
  const Args& args_;
  size_t index_ = static_cast<size_t>(-1);
  std::string name_;
  std::optional<std::string> attached_;
};

}  // namespace plumbrook::cli
