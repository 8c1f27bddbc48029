// A progress bar on standard error for long renders.
#include "apps/progress.h"

#include <algorithm>
#include <cstdio>

namespace plumbrook::cli {

ProgressBar::ProgressBar(bool enabled, int64_t totalFrames) : enabled_(enabled && totalFrames > 0), total_(totalFrames) {}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::begin(const std::string& label) {
  label_ = label;
  lastDraw_ = {};
  update(0);
}

void ProgressBar::update(int64_t framesDone) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (framesDone < total_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  draw(framesDone);
}

void ProgressBar::draw(int64_t framesDone) {
  constexpr int kWidth = 30;
  const double fraction = std::clamp(static_cast<double>(framesDone) / static_cast<double>(total_), 0.0, 1.0);
  const int filled = static_cast<int>(fraction * kWidth);
  char bar[kWidth + 1];
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
  bar[kWidth] = '\0';
  std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar, static_cast<int>(fraction * 100.0));
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressBar::finish() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace plumbrook::cli
