// A progress bar on standard error for long renders.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace plumbrook::cli {

class ProgressBar {
 public:
  /// Shows nothing unless `enabled`; redraws at most ten times a second.
  ProgressBar(bool enabled, int64_t totalFrames);
  virtual ~ProgressBar();

  /// Starts a new pass with a label shown before the bar (e.g. "pass 2").
  virtual void begin(const std::string& label);
  /// Frames done in the current pass.
  virtual void update(int64_t framesDone);
  /// Clears the bar's line.
  virtual void finish();

 private:
  void draw(int64_t framesDone);

  bool enabled_;
  bool drawn_ = false;
  int64_t total_;
  std::string label_;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace plumbrook::cli
