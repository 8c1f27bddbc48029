// Plug-in settings from the command line: --set NAME=VALUE, --preset NAME|FILE, --state FILE,
// applied in the order given so that later options override earlier ones.
#pragma once

#include <string>
#include <vector>

#include "apps/console_surface.h"
#include "plugin/plumbrook.h"

namespace plumbrook::cli {

/// The parameter a command-line name refers to: its symbol ("ceiling") or its name ("Limiter
/// Ceiling"), ignoring case and treating spaces, "-" and "_" alike. -1 when none.
int findParameter(const Plumbrook& plugin, const std::string& name);

/// The value of a parameter written as text: "on"/"off" for switches, else a number as the
/// editor reads typed values, clamped to the range. False with a message when it does not parse;
/// `clampedFrom` receives the number as typed when clamping changed it.
bool parseParameterValue(const Plumbrook& plugin, int paramIdx, const std::string& text, double& value,
                         std::string& error, double* clampedFrom = nullptr);

class Settings {
 public:
  /// Adds "NAME=VALUE". False with a one-line message naming the argument when the name is
  /// unknown or the value does not parse; clamping adds a note to `notes`.
  bool addSet(const Plumbrook& plugin, const std::string& argument, std::string& error);
  void addPreset(const std::string& nameOrFile) { steps_.push_back({Step::kPreset, nameOrFile, -1, 0.0}); }
  void addState(const std::string& file) { steps_.push_back({Step::kState, file, -1, 0.0}); }

  bool empty() const { return steps_.empty(); }
  const std::vector<std::string>& notes() const { return notes_; }

  /// Applies the steps in order. False with a one-line message naming the preset or state file.
  /// Main thread; allocates; reads files.
  bool apply(Plumbrook& plugin, std::string& error) const;

 private:
  struct Step {
    enum Kind { kSet, kPreset, kState } kind;
    std::string argument;
    int paramIdx;
    double value;
  };
  std::vector<Step> steps_;
  std::vector<std::string> notes_;
};

/// The values of all parameters in index order (real units).
std::vector<double> parameterValues(const Plumbrook& plugin);

}  // namespace plumbrook::cli
