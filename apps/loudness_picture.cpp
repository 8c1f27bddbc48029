// Loudness pictures drawn with the editor's graphics context on a headless surface.
#include "apps/loudness_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>

#include "editor/editor_design.h"
#include "editor/editor_drawing.h"
#include "apps/picture_file.h"
#include "gfx/control.h"
#include "gfx/graphics.h"
#include "platform/window/headless_surface.h"

namespace plumbrook::cli {
namespace {

using plugkit::gfx::Align;
using plugkit::gfx::Color;
using plugkit::gfx::Graphics;
using plugkit::gfx::Rect;
using plugkit::gfx::TextStyle;
using plugkit::gfx::VAlign;

// The editor's palette, and the accent the editor opens with.
const Color kBackground = editor::colours::kWindowBackground;
const Color kPanel = editor::colours::kSectionsPanel;
const Color kGrid = editor::colours::kDivider;
const Color kText = editor::colours::kText;
const Color kDim = editor::colours::kStatusPlain;
const Color kWarning = editor::colours::kStatusLatency;
const Color kAccent = editor::accentColour(0, 255);
const Color kInput{160, 250, 250, 250};
const Color kGlue[3] = {{255, 0, 184, 255}, {255, 190, 130, 255}, {255, 255, 122, 0}};

constexpr float kLeft = 110.0f;
constexpr float kRight = kPictureWidth - 40.0f;

TextStyle text(float size, Color colour, Align align = Align::kNear, bool bold = false) {
  return TextStyle(size, colour, bold ? editor::kBoldFont : editor::kRegularFont, align, VAlign::kMiddle);
}

std::string number(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

/// A vertical scale: value to y inside a panel.
struct Scale {
  double low, high;
  Rect area;
  float y(double value) const {
    const double clamped = std::clamp(value, low, high);
    return area.B - static_cast<float>((clamped - low) / (high - low)) * area.H();
  }
};

/// The time axis: seconds to x.
struct TimeAxis {
  double seconds;
  float x(double t) const { return kLeft + static_cast<float>(t / seconds) * (kRight - kLeft); }
};

void panel(Graphics& g, const Rect& area, const std::string& heading, const Scale& scale, const char* unit,
           int most) {
  g.FillRect(kPanel, Rect(area.L, area.T - 28.0f, area.R, area.B));
  g.DrawText(text(15.0f, kText, Align::kNear, true), heading, Rect(area.L + 10.0f, area.T - 26.0f, area.R, area.T - 4.0f));
  for (double tick : roundTicks(scale.low, scale.high, most, false)) {
    const float y = scale.y(tick);
    g.DrawLine(kGrid, area.L, y, area.R, y);
    g.DrawText(text(13.0f, kDim, Align::kFar), number("%g", tick) + (unit[0] ? " " : "") + unit,
               Rect(0.0f, y - 9.0f, area.L - 10.0f, y + 9.0f));
  }
}

/// Colour keys in a panel's heading row, from the right.
void legend(Graphics& g, const Rect& area, std::initializer_list<std::pair<const char*, Color>> keys) {
  float right = area.R - 10.0f;
  for (auto it = std::rbegin(keys); it != std::rend(keys); ++it) {
    Rect measured;
    const TextStyle style = text(13.0f, kText);
    const float width = g.MeasureText(style, it->first, measured);
    g.DrawText(style, it->first, Rect(right - width, area.T - 26.0f, right, area.T - 4.0f));
    right -= width + 8.0f;
    g.FillRect(it->second, Rect(right - 12.0f, area.T - 20.0f, right, area.T - 10.0f));
    right -= 12.0f + 18.0f;
  }
}

void timeGrid(Graphics& g, const Rect& area, const TimeAxis& axis) {
  for (double t : roundTicks(0.0, axis.seconds, 12, true)) g.DrawLine(kGrid, axis.x(t), area.T, axis.x(t), area.B);
}

void timeLabels(Graphics& g, float y, const TimeAxis& axis) {
  for (double t : roundTicks(0.0, axis.seconds, 12, true)) {
    const std::string label = axis.seconds < 60.0 ? number("%g s", t) : clockText(t, false);
    g.DrawText(text(13.0f, kDim, Align::kCenter), label, Rect(axis.x(t) - 40.0f, y, axis.x(t) + 40.0f, y + 20.0f));
  }
}

/// One value per step as a line; steps with nothing to measure break it.
void curve(Graphics& g, const std::vector<LoudnessStep>& steps, float LoudnessStep::*field, const Scale& scale,
           const TimeAxis& axis, Color colour, float thickness) {
  bool drawing = false;
  for (size_t i = 0; i < steps.size(); ++i) {
    const float value = steps[i].*field;
    if (!std::isfinite(value) || value < scale.low) {
      if (drawing) g.PathStroke(colour, thickness);
      drawing = false;
      continue;
    }
    const float x = axis.x((static_cast<double>(i) + 1.0) * LoudnessMeter::kTimelineStep);
    if (!drawing) {
      g.PathClear();
      g.PathMoveTo(x, scale.y(value));
      drawing = true;
    } else {
      g.PathLineTo(x, scale.y(value));
    }
  }
  if (drawing) g.PathStroke(colour, thickness);
}

/// A dotted line across the panel at `value`, labelled above or below it at the panel's left or
/// right end (so that lines close together keep their labels apart).
void level(Graphics& g, double value, const Scale& scale, Color colour, const std::string& label, bool labelAbove,
           Align side = Align::kFar) {
  if (!std::isfinite(value) || value < scale.low || value > scale.high) return;
  const float y = scale.y(value);
  g.DrawDottedLine(colour, scale.area.L, y, scale.area.R, y, nullptr, 1.5f, 6.0f);
  const float top = labelAbove ? y - 22.0f : y + 2.0f;
  g.DrawText(text(13.0f, colour, side), label, Rect(scale.area.L + 8.0f, top, scale.area.R - 8.0f, top + 20.0f));
}

double finiteMin(double a, float b) { return std::isfinite(b) ? std::min(a, static_cast<double>(b)) : a; }
double finiteMax(double a, float b) { return std::isfinite(b) ? std::max(a, static_cast<double>(b)) : a; }

void drawLoudness(Graphics& g, const LoudnessPicture& p) {
  g.FillRect(kBackground, Rect(0, 0, kPictureWidth, kPictureHeight));
  g.DrawText(text(26.0f, kText, Align::kNear, true), p.title, Rect(40.0f, 16.0f, kPictureWidth - 40.0f, 48.0f));
  g.DrawText(text(15.0f, kDim, Align::kFar), p.details, Rect(40.0f, 16.0f, kPictureWidth - 40.0f, 48.0f));
  g.DrawText(text(16.0f, kText), p.figures, Rect(40.0f, 52.0f, kPictureWidth - 40.0f, 76.0f));

  const Rect loudArea(kLeft, 128.0f, kRight, 500.0f);
  const Rect peakArea(kLeft, 556.0f, kRight, 690.0f);
  const Rect reductionArea(kLeft, 746.0f, kRight, 850.0f);
  const size_t steps = std::max(p.master.size(), p.input.size());
  if (!p.note.empty() || steps == 0) {
    g.FillRect(kPanel, Rect(loudArea.L, loudArea.T - 28.0f, loudArea.R, reductionArea.B));
    g.DrawText(text(20.0f, kWarning, Align::kCenter), p.note.empty() ? "nothing to measure" : p.note,
               Rect(loudArea.L, loudArea.T, loudArea.R, reductionArea.B));
    return;
  }
  const TimeAxis axis{static_cast<double>(steps) * LoudnessMeter::kTimelineStep};

  // Loudness: the range the short-term curves use, on whole multiples of 6 LU.
  double low = 0.0, high = -60.0;
  for (const auto* line : {&p.input, &p.master})
    for (const LoudnessStep& s : *line) {
      low = finiteMin(low, s.shortTermLufs);
      high = finiteMax(high, s.momentaryLufs);
    }
  if (p.targetLufs) {
    low = std::min(low, *p.targetLufs);
    high = std::max(high, *p.targetLufs);
  }
  low = std::max(-60.0, std::floor((low - 3.0) / 6.0) * 6.0);
  high = std::min(0.0, std::ceil((high + 1.0) / 6.0) * 6.0);
  if (high - low < 12.0) low = high - 12.0;
  const Scale loud{low, high, loudArea};
  panel(g, loudArea, "LOUDNESS  \u00b7  momentary (thin) and short-term", loud, "LUFS", 8);
  if (!p.input.empty()) legend(g, loudArea, {{"input", kInput}, {"master", kAccent}});
  timeGrid(g, loudArea, axis);
  curve(g, p.input, &LoudnessStep::momentaryLufs, loud, axis, Color(60, 250, 250, 250), 1.0f);
  curve(g, p.input, &LoudnessStep::shortTermLufs, loud, axis, kInput, 2.0f);
  curve(g, p.master, &LoudnessStep::momentaryLufs, loud, axis, Color(110, kAccent.R, kAccent.G, kAccent.B), 1.0f);
  curve(g, p.master, &LoudnessStep::shortTermLufs, loud, axis, kAccent, 2.5f);
  if (p.targetLufs) level(g, *p.targetLufs, loud, kText, number("target %.1f LUFS", *p.targetLufs), false, Align::kNear);
  if (!p.input.empty())
    level(g, p.integratedBefore, loud, kInput, number("input %.1f LUFS integrated", p.integratedBefore),
          p.integratedBefore > p.integratedAfter);
  level(g, p.integratedAfter, loud, kAccent,
        number(p.input.empty() ? "%.1f LUFS integrated" : "master %.1f LUFS integrated", p.integratedAfter),
        !(p.integratedBefore > p.integratedAfter));

  // True peak per step against the ceiling; every over in the warning colour.
  const double ceiling = p.ceilingDb.value_or(0.0);
  double peakHigh = ceiling + 1.0;
  for (const LoudnessStep& s : p.master) peakHigh = finiteMax(peakHigh, s.truePeakDb + 0.5f);
  const Scale peak{std::floor(ceiling - 18.0), std::ceil(std::min(peakHigh, ceiling + 6.0)), peakArea};
  int overs = 0;
  for (const LoudnessStep& s : p.master) overs += std::isfinite(s.truePeakDb) && s.truePeakDb > ceiling ? 1 : 0;
  std::string heading = "TRUE PEAK PER 100 ms";
  if (p.ceilingDb) heading += overs ? number("  \u00b7  %g over the ceiling", overs) : "  \u00b7  no over";
  panel(g, peakArea, heading, peak, "dBTP", 5);
  timeGrid(g, peakArea, axis);
  // One bar per step, or per point where steps are narrower than that: the highest peak of the
  // steps it covers (a long file has thousands of steps, and each bar is a fill).
  const size_t perBar = std::max<size_t>(1, static_cast<size_t>(std::ceil(static_cast<float>(steps) / (kRight - kLeft))));
  const float barWidth = (kRight - kLeft) * static_cast<float>(perBar) / static_cast<float>(steps);
  for (size_t first = 0; first < p.master.size(); first += perBar) {
    float value = -INFINITY;
    for (size_t i = first; i < std::min(p.master.size(), first + perBar); ++i)
      value = std::max(value, std::isfinite(p.master[i].truePeakDb) ? p.master[i].truePeakDb : -INFINITY);
    if (value <= peak.low) continue;
    const float x = axis.x(static_cast<double>(first) * LoudnessMeter::kTimelineStep);
    const bool over = p.ceilingDb && value > ceiling;
    g.FillRect(over ? kWarning : Color(150, kAccent.R, kAccent.G, kAccent.B),
               Rect(x, peak.y(value), x + barWidth, peakArea.B));
    if (over) g.FillRect(kWarning, Rect(x - 1.0f, peakArea.T - 6.0f, x + barWidth + 1.0f, peakArea.T - 2.0f));
  }
  if (p.ceilingDb) level(g, ceiling, peak, kWarning, number("ceiling %.1f dBTP", ceiling), true);

  // Gain reduction of the limiter and of each glue band.
  float deepest = 3.0f;
  for (const ReductionStep& r : p.reduction)
    deepest = std::max({deepest, -r.limiterDb, -r.glueDb[0], -r.glueDb[1], -r.glueDb[2]});
  const Scale reduction{-std::ceil(deepest / 3.0) * 3.0, 0.0, reductionArea};
  panel(g, reductionArea, p.reduction.empty() ? "GAIN REDUCTION  \u00b7  no chain ran" : "GAIN REDUCTION",
        reduction, "dB", 4);
  if (!p.reduction.empty())
    legend(g, reductionArea,
           {{"limiter", kAccent}, {"glue low", kGlue[0]}, {"glue mid", kGlue[1]}, {"glue high", kGlue[2]}});
  timeGrid(g, reductionArea, axis);
  if (!p.reduction.empty()) {
    const size_t n = p.reduction.size();
    g.PathClear();
    g.PathMoveTo(axis.x(0.0), reduction.y(0.0));
    for (size_t i = 0; i < n; ++i)
      g.PathLineTo(axis.x((static_cast<double>(i) + 1.0) * LoudnessMeter::kTimelineStep),
                   reduction.y(p.reduction[i].limiterDb));
    g.PathLineTo(axis.x(static_cast<double>(n) * LoudnessMeter::kTimelineStep), reduction.y(0.0));
    g.PathClose();
    g.PathFill(Color(120, kAccent.R, kAccent.G, kAccent.B));
    for (int band = 0; band < 3; ++band) {
      g.PathClear();
      for (size_t i = 0; i < n; ++i) {
        const float x = axis.x((static_cast<double>(i) + 1.0) * LoudnessMeter::kTimelineStep);
        const float y = reduction.y(p.reduction[i].glueDb[band]);
        if (i == 0) g.PathMoveTo(x, y);
        else g.PathLineTo(x, y);
      }
      g.PathStroke(kGlue[band], 1.5f);
    }
  }
  timeLabels(g, reductionArea.B + 8.0f, axis);
}

void drawAlbum(Graphics& g, const AlbumPicture& p) {
  g.FillRect(kBackground, Rect(0, 0, kPictureWidth, kPictureHeight));
  g.DrawText(text(26.0f, kText, Align::kNear, true), p.title, Rect(40.0f, 16.0f, kPictureWidth - 40.0f, 48.0f));
  std::string figures = number("album before %.1f LUFS", p.albumBeforeLufs) + number(", after %.1f LUFS", p.albumAfterLufs);
  if (p.targetLufs) figures += number("  \u00b7  target %.1f LUFS", *p.targetLufs);
  if (p.ceilingDb) figures += number("  \u00b7  ceiling %.1f dBTP", *p.ceilingDb);
  g.DrawText(text(16.0f, kText), figures, Rect(40.0f, 52.0f, kPictureWidth - 40.0f, 76.0f));

  const Rect area(kLeft, 140.0f, kRight, 760.0f);
  double low = 0.0, high = -60.0;
  for (const AlbumTrack& t : p.tracks) {
    low = finiteMin(finiteMin(low, static_cast<float>(t.beforeLufs)), static_cast<float>(t.afterLufs));
    high = finiteMax(finiteMax(high, static_cast<float>(t.beforeLufs)), static_cast<float>(t.afterLufs));
  }
  low = std::max(-60.0, std::floor((low - 6.0) / 6.0) * 6.0);
  high = std::min(0.0, std::ceil((high + 3.0) / 6.0) * 6.0);
  if (high - low < 12.0) low = high - 12.0;
  const Scale scale{low, high, area};
  panel(g, area, "INTEGRATED LOUDNESS PER TRACK  \u00b7  before (grey) and after; true peak above each", scale,
        "LUFS", 8);
  const size_t n = std::max<size_t>(1, p.tracks.size());
  const float slot = area.W() / static_cast<float>(n);
  const float bar = std::min(60.0f, slot * 0.3f);
  for (size_t i = 0; i < p.tracks.size(); ++i) {
    const AlbumTrack& t = p.tracks[i];
    const float centre = area.L + slot * (static_cast<float>(i) + 0.5f);
    if (std::isfinite(t.beforeLufs))
      g.FillRect(kInput, Rect(centre - bar - 2.0f, scale.y(t.beforeLufs), centre - 2.0f, area.B));
    if (std::isfinite(t.afterLufs))
      g.FillRect(kAccent, Rect(centre + 2.0f, scale.y(t.afterLufs), centre + bar + 2.0f, area.B));
    const bool over = p.ceilingDb && std::isfinite(t.truePeakDb) && t.truePeakDb > *p.ceilingDb;
    const float top = std::min(scale.y(t.beforeLufs), scale.y(t.afterLufs)) - 26.0f;
    g.DrawText(text(13.0f, over ? kWarning : kDim, Align::kCenter),
               std::isfinite(t.truePeakDb) ? number("%.1f dBTP", t.truePeakDb) : "-",
               Rect(centre - slot / 2.0f, top, centre + slot / 2.0f, top + 20.0f));
    g.DrawText(text(14.0f, kText, Align::kCenter), number("%02.0f ", static_cast<double>(i + 1)) + t.name,
               Rect(centre - slot / 2.0f + 4.0f, area.B + 10.0f, centre + slot / 2.0f - 4.0f, area.B + 34.0f));
  }
  level(g, p.albumBeforeLufs, scale, kInput, number("album before %.1f LUFS", p.albumBeforeLufs), false);
  level(g, p.albumAfterLufs, scale, kAccent, number("album %.1f LUFS", p.albumAfterLufs), true);
}

/// A control that draws the whole picture.
class PictureControl : public plugkit::gfx::Control {
 public:
  PictureControl(std::function<void(Graphics&)> draw)
      : Control(Rect(0, 0, kPictureWidth, kPictureHeight)), draw_(std::move(draw)) {}
  void Draw(Graphics& g) override { draw_(g); }

 private:
  std::function<void(Graphics&)> draw_;
};

/// The graphics context needs a delegate; a picture has no parameters.
class NoParameters : public plugkit::EditorDelegate {
 public:
  NoParameters() : EditorDelegate(0) {}
  void BeginParamGestureFromUI(int) override {}
  void SetParamFromUI(int, double) override {}
  void EndParamGestureFromUI(int) override {}
};

bool render(std::function<void(Graphics&)> draw, float scale, const std::string& path, std::string& error) {
  plugkit::platform::HeadlessSurface surface;
  if (!surface.Valid()) {
    error = "no headless drawing: " + surface.Error();
    return false;
  }
  NoParameters delegate;
  const editor::Resources resources = editor::defaultResources();
  auto graphics = surface.CreateGraphics(delegate, kPictureWidth, kPictureHeight, scale,
                                         resources.regularFont.parent_path().string());
  if (!graphics) {
    error = "no headless drawing: " + surface.Error();
    return false;
  }
  graphics->AttachControl(std::make_unique<PictureControl>(std::move(draw)));
  surface.Render(*graphics, true);
  const plugkit::platform::Image image = surface.ReadPixels();
  graphics.reset();
  if (image.width == 0) {
    error = "the picture could not be read back";
    return false;
  }
  return writePicture(image, path, error);
}

}  // namespace

std::vector<double> roundTicks(double low, double high, int most, bool seconds) {
  std::vector<double> ticks;
  if (!(high > low) || most < 1) return ticks;
  const double raw = (high - low) / most;
  double step = 0.0;
  if (seconds) {
    for (double s : {1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 900.0, 1800.0, 3600.0})
      if (s >= raw) {
        step = s;
        break;
      }
    if (step == 0.0) step = 3600.0 * std::ceil(raw / 3600.0);
  } else {
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
      if (m * magnitude >= raw) {
        step = m * magnitude;
        break;
      }
  }
  for (double t = std::ceil(low / step - 1e-9) * step; t <= high + step * 1e-9; t += step)
    ticks.push_back(std::fabs(t) < step * 1e-9 ? 0.0 : t);
  return ticks;
}

std::string clockText(double seconds, bool tenths) {
  if (!std::isfinite(seconds) || seconds < 0.0) seconds = 0.0;
  if (tenths) seconds = std::round(seconds * 10.0) / 10.0;
  else seconds = std::round(seconds);
  const int minutes = static_cast<int>(seconds / 60.0);
  const double rest = seconds - 60.0 * minutes;
  char buffer[32];
  if (tenths) std::snprintf(buffer, sizeof buffer, "%d:%04.1f", minutes, rest);
  else std::snprintf(buffer, sizeof buffer, "%d:%02d", minutes, static_cast<int>(rest));
  return buffer;
}

bool writeLoudnessPicture(const LoudnessPicture& picture, float scale, const std::string& path, std::string& error) {
  return render([&picture](Graphics& g) { drawLoudness(g, picture); }, scale, path, error);
}

bool writeAlbumPicture(const AlbumPicture& picture, float scale, const std::string& path, std::string& error) {
  return render([&picture](Graphics& g) { drawAlbum(g, picture); }, scale, path, error);
}

}  // namespace plumbrook::cli
