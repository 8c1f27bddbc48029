// Progress of a release on standard error: one line per file being rendered, and a total.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "apps/progress.h"

namespace plumbrook::cli {

/// Shared by every job of a run; any thread. Draws only when enabled (standard error is a
/// terminal), at most ten times a second.
class ProgressBoard {
 public:
  ProgressBoard(bool enabled, size_t totalFiles);
  ~ProgressBoard();
  ProgressBoard(const ProgressBoard&) = delete;
  ProgressBoard& operator=(const ProgressBoard&) = delete;

  /// The progress of one file, as its job reports it: a line while a pass runs.
  std::unique_ptr<ProgressBar> bar(const std::string& name, int64_t totalFrames);
  /// Counts a finished file in the total line.
  void fileDone(bool failed);
  /// Prints a message line above the board.
  void message(const std::string& text);
  /// Clears the board for good.
  void close();

 private:
  class Line;
  struct Row {
    int id;
    std::string text;
    double fraction;
  };
  void show(int id, const std::string& text, double fraction);
  void hide(int id);
  void draw(bool now);  // with mutex_ held
  void clear();         // with mutex_ held

  bool enabled_;
  const size_t totalFiles_;
  std::mutex mutex_;
  std::vector<Row> rows_;
  int nextId_ = 0;
  size_t done_ = 0, failed_ = 0;
  int drawnLines_ = 0;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace plumbrook::cli
