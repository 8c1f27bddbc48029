// Progress of a release on standard error.
#include "apps/batch_progress.h"

#include <algorithm>
#include <cstdio>

#include "apps/console_surface.h"

namespace plumbrook::cli {

class ProgressBoard::Line : public ProgressBar {
 public:
  Line(ProgressBoard& board, std::string name, int64_t totalFrames)
      : ProgressBar(false, totalFrames), board_(board), id_(board.nextId_++), name_(std::move(name)),
        total_(totalFrames) {}
  ~Line() override { board_.hide(id_); }
  void begin(const std::string& label) override {
    label_ = label;
    board_.show(id_, name_ + "  " + label_, 0.0);
  }
  void update(int64_t framesDone) override {
    if (total_ > 0) board_.show(id_, name_ + "  " + label_, static_cast<double>(framesDone) / static_cast<double>(total_));
  }
  void finish() override { board_.hide(id_); }

 private:
  ProgressBoard& board_;
  const int id_;
  const std::string name_;
  const int64_t total_;
  std::string label_;
};

ProgressBoard::ProgressBoard(bool enabled, size_t totalFiles) : enabled_(enabled), totalFiles_(totalFiles) {}

ProgressBoard::~ProgressBoard() {
  std::lock_guard lock(mutex_);
  clear();
}

std::unique_ptr<ProgressBar> ProgressBoard::bar(const std::string& name, int64_t totalFrames) {
  std::lock_guard lock(mutex_);
  return std::make_unique<Line>(*this, terminalSafe(name), totalFrames);
}

void ProgressBoard::fileDone(bool failed) {
  std::lock_guard lock(mutex_);
  ++done_;
  if (failed) ++failed_;
  draw(true);
}

void ProgressBoard::message(const std::string& text) {
  std::lock_guard lock(mutex_);
  clear();
  std::fprintf(stderr, "plumbrook render: %s\n", terminalSafe(text).c_str());
  draw(true);
}

void ProgressBoard::close() {
  std::lock_guard lock(mutex_);
  clear();
  enabled_ = false;
}

void ProgressBoard::show(int id, const std::string& text, double fraction) {
  if (!enabled_) return;
  std::lock_guard lock(mutex_);
  auto row = std::find_if(rows_.begin(), rows_.end(), [&](const Row& r) { return r.id == id; });
  const bool added = row == rows_.end();
  if (added) {
    rows_.push_back({id, text, fraction});
  } else {
    row->text = text;
    row->fraction = fraction;
  }
  draw(added);
}

void ProgressBoard::hide(int id) {
  if (!enabled_) return;
  std::lock_guard lock(mutex_);
  const auto end = std::remove_if(rows_.begin(), rows_.end(), [&](const Row& r) { return r.id == id; });
  if (end == rows_.end()) return;
  rows_.erase(end, rows_.end());
  draw(true);
}

void ProgressBoard::clear() {
  if (drawnLines_ == 0) return;
  std::fprintf(stderr, "\r\033[%dA\033[J", drawnLines_);
  std::fflush(stderr);
  drawnLines_ = 0;
}

void ProgressBoard::draw(bool now) {
  if (!enabled_) return;
  const auto time = std::chrono::steady_clock::now();
  if (!now && time - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = time;
  clear();
  constexpr int kWidth = 24;
  for (const Row& row : rows_) {
    const double fraction = std::clamp(row.fraction, 0.0, 1.0);
    const int filled = static_cast<int>(fraction * kWidth);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kWidth, '-');
    std::fprintf(stderr, "[%s] %3d%%  %s\n", bar.c_str(), static_cast<int>(fraction * 100.0), row.text.c_str());
  }
  std::fprintf(stderr, "%zu of %zu files done", done_, totalFiles_);
  if (failed_) std::fprintf(stderr, ", %zu failed", failed_);
  std::fprintf(stderr, "\n");
  std::fflush(stderr);
  drawnLines_ = static_cast<int>(rows_.size()) + 1;
}

}  // namespace plumbrook::cli
