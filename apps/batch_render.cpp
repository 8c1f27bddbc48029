// `plumbrook render` over many files.
#include "apps/batch_render.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "apps/analysis.h"
#include "apps/batch_progress.h"
#include "apps/command_line.h"
#include "apps/console_surface.h"
#include "apps/loudness_picture.h"
#include "apps/render_job.h"
#include "apps/target_loudness.h"

namespace fs = std::filesystem;

namespace plumbrook::cli {
namespace {

constexpr const char* kDefaultPattern = "{stem}.{ext}";

struct Track {
  std::string input;
  std::string output;
  int number = 0;  // position in the (sorted) list, from 1
  std::optional<std::string> plot;  // the master's picture
  bool skipped = false;
  bool failed = false;
  RenderReport report;
  std::unique_ptr<RenderJob> job;  // album mode: kept open between its passes
};

int usageError(const std::string& message) {
  std::fprintf(stderr, "plumbrook render: %s (see 'plumbrook render --help')\n", terminalSafe(message).c_str());
  return 2;
}

int refuse(const std::string& message) {
  std::fprintf(stderr, "plumbrook render: %s\n", terminalSafe(message).c_str());
  return 1;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The input's extension without its dot, as written; "" when it has none.
std::string extensionOf(const std::string& input) {
  std::string ext = fs::path(input).extension().string();
  return ext.empty() ? ext : ext.substr(1);
}

// One master's file name from the pattern; false with a message for an unknown field.
bool expandName(const std::string& pattern, const Track& track, const RenderOptions& options, std::string& name,
                std::string& error) {
  const std::string& container = options.format.container;
  const std::string ext = !container.empty() ? (lower(container) == "wavex" ? "wav" : lower(container))
                          : extensionOf(track.input).empty() ? "wav" : extensionOf(track.input);
  std::string format = container.empty() ? lower(ext) : lower(container);
  if (!options.format.bits.empty()) format += "-" + lower(options.format.bits);
  char number[16];
  std::snprintf(number, sizeof number, "%02d", track.number);
  name.clear();
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '{') {
      name += pattern[i];
      continue;
    }
    const size_t close = pattern.find('}', i);
    const std::string field = close == std::string::npos ? pattern.substr(i) : pattern.substr(i, close - i + 1);
    if (field == "{stem}") name += fs::path(track.input).stem().string();
    else if (field == "{ext}") name += ext;
    else if (field == "{n}") name += number;
    else if (field == "{format}") name += format;
    else {
      error = "--name " + inQuotes(pattern) + ": unknown field " + inQuotes(field) +
              " (known: {stem}, {ext}, {n}, {format})";
      return false;
    }
    i += field.size() - 1;
  }
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    error = "--name " + inQuotes(pattern) + " gives " + inQuotes(name) + " for " + inQuotes(track.input) +
            ": expected a file name inside the output folder";
    return false;
  }
  return true;
}

// Paths one a line from a file or standard input; blank lines are skipped.
bool readList(const std::string& from, std::vector<std::string>& paths, std::string& error) {
  std::ifstream file;
  if (from != "-") {
    file.open(from);
    if (!file) {
      error = "--inputs-from " + inQuotes(from) + ": " + std::strerror(errno);
      return false;
    }
  }
  std::istream& in = from == "-" ? std::cin : file;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) paths.push_back(line);
  }
  if (in.bad()) {
    error = "--inputs-from " + inQuotes(from) + ": the list could not be read";
    return false;
  }
  return true;
}

// The output folder exists (made when missing) and can be written in; else the system's reason.
bool prepareFolder(const std::string& folder, std::string& error) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) == 0) {
    if (!S_ISDIR(info.st_mode)) {
      error = "cannot use " + inQuotes(folder) + " as the output folder: " + std::strerror(ENOTDIR);
      return false;
    }
  } else if (errno == ENOENT) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
      error = "cannot create the output folder " + inQuotes(folder) + ": " + ec.message();
      return false;
    }
  } else {
    error = "cannot use " + inQuotes(folder) + " as the output folder: " + std::strerror(errno);
    return false;
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    error = "cannot write in the output folder " + inQuotes(folder) + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

// Runs work(0 .. count-1) on up to `jobs` threads, each taking the next index when it is free.
// Terminating signals go to the calling thread, whose handler removes every partial file.
void forEach(size_t count, int jobs, const std::function<void(size_t)>& work) {
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (size_t i; (i = next.fetch_add(1)) < count;) work(i);
  };
  const size_t threads = std::min(count, static_cast<size_t>(std::max(1, jobs)));
  if (threads <= 1) return worker();
  sigset_t blocked, previous;
  sigemptyset(&blocked);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&blocked, s);
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  std::vector<std::thread> pool;
  for (size_t t = 0; t < threads; ++t) pool.emplace_back(worker);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  for (std::thread& thread : pool) thread.join();
}

class Release {
 public:
  Release(RenderOptions options, std::vector<Track> tracks, std::optional<std::string> albumPlot)
      : albumPlot_(std::move(albumPlot)), options_(std::move(options)), tracks_(std::move(tracks)),
        board_(!options_.quiet && isatty(STDERR_FILENO), tracks_.size()) {
    jobs_ = options_.release.jobs > 0 ? options_.release.jobs
                                      : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  }

  int run() {
    if (options_.release.album) renderAlbum();
    else forEach(tracks_.size(), jobs_, [this](size_t i) { renderOne(tracks_[i]); });
    return finish();
  }

 private:
  RenderOptions optionsFor(const Track& track) {
    RenderOptions o = options_;
    o.input = track.input;
    o.inputs = {track.input};
    o.output = track.output;
    o.plot = track.plot;
    o.report = false;
    o.reportJson.reset();
    o.collectReport = true;
    o.messageLabel = inQuotes(track.input) + ": ";
    o.showMessage = [this](const std::string& text) { board_.message(text); };
    const std::string name = fs::path(track.input).filename().string();
    o.makeProgress = [this, name](int64_t frames) { return board_.bar(name, frames); };
    if (o.release.album) o.targetLufs.reset();  // one gain for all, found here
    return o;
  }

  void failed(Track& track, const std::string& error) {
    track.failed = true;
    track.job.reset();
    track.report.input = track.input;
    track.report.output = track.output;
    track.report.status = "failed";
    track.report.error = error;
    const bool named = error.find(track.input) != std::string::npos;
    board_.message(named ? error : inQuotes(track.input) + ": " + error);
    board_.fileDone(true);
  }

  void mastered(Track& track, RenderJob& job) {
    track.report = job.report();
    track.report.status = "ok";
    board_.fileDone(false);
  }

  // Runs a step of a track's job; a throw counts as a failure of that file only.
  bool attempt(Track& track, const std::function<bool()>& step) {
    try {
      if (step()) return true;
      failed(track, track.job ? track.job->error() : "the render failed");
    } catch (const std::exception& e) {
      failed(track, e.what());
    }
    return false;
  }

  void renderOne(Track& track) {
    if (track.skipped) return;
    track.job = std::make_unique<RenderJob>(optionsFor(track));
    if (attempt(track, [&] { return track.job->prepare() && track.job->master(); })) mastered(track, *track.job);
    track.job.reset();
  }

  std::vector<Track*> albumTracks() {
    std::vector<Track*> open;
    for (Track& t : tracks_)
      if (t.job) open.push_back(&t);
    return open;
  }

  void failAlbum(const std::string& error) {
    for (Track* t : albumTracks()) failed(*t, error);
  }

  // Each pass renders every track at one gain and measures them together.
  void renderAlbum() {
    forEach(tracks_.size(), jobs_, [this](size_t i) {
      Track& t = tracks_[i];
      t.job = std::make_unique<RenderJob>(optionsFor(t));
      attempt(t, [&] { return t.job->prepare(); });
    });
    std::vector<Track*> open = albumTracks();
    if (open.empty()) return;
    for (Track* t : open) {
      if (t->job->sampleRate() != open.front()->job->sampleRate()) {
        char text[256];
        std::snprintf(text, sizeof text, "--album needs one sample rate: %s is at %.0f Hz and %s at %.0f Hz; "
                      "one album gain needs one rate (add --rate HZ)", inQuotes(open.front()->input).c_str(),
                      open.front()->job->sampleRate(), inQuotes(t->input).c_str(), t->job->sampleRate());
        albumRefused_ = text;
        for (Track* u : open) u->job.reset();
        return;
      }
    }
    const double target = *options_.targetLufs;
    auto measureAll = [&](std::optional<double> gainDb, double& lufs) {
      std::vector<std::unique_ptr<LoudnessMeter>> meters(open.size());
      std::atomic<bool> ok{true};
      forEach(open.size(), jobs_, [&](size_t i) {
        Track& t = *open[i];
        meters[i] = std::make_unique<LoudnessMeter>(t.job->channels(), t.job->sampleRate(), true);
        if (!attempt(t, [&] { return t.job->measure(gainDb, *meters[i]); })) ok = false;
      });
      if (!ok) return false;
      std::vector<const LoudnessMeter*> all;
      for (const auto& m : meters) all.push_back(m.get());
      lufs = LoudnessMeter::integratedTogether(all);
      return true;
    };
    double beforeLufs = 0.0;
    if (!measureAll(std::nullopt, beforeLufs)) return failAlbum("the album's other tracks could not be measured");
    const double firstGuess = std::isfinite(beforeLufs) ? target - beforeLufs : 0.0;
    const GainSearch search = searchGain(target, firstGuess, [&](double gainDb, double& lufs) {
      return measureAll(gainDb, lufs);
    });
    char text[256];
    switch (search.status) {
      case GainSearch::kReached: break;
      case GainSearch::kFailed: return failAlbum("the album's other tracks could not be measured");
      case GainSearch::kSilent: return failAlbum("the album is silent: there is no loudness to raise to a target");
      case GainSearch::kTooQuiet:
      case GainSearch::kTooLoud:
      case GainSearch::kNotSettled:
        std::snprintf(text, sizeof text, "--album --target-lufs %.1f is out of reach: closest %.2f LUFS at %+.2f dB",
                      target, search.closest.lufs, search.closest.gainDb);
        return failAlbum(text);
    }
    const AlbumResult album{target, search.closest.gainDb, search.passes, beforeLufs, search.closest.lufs};
    forEach(open.size(), jobs_, [&](size_t i) {
      Track& t = *open[i];
      if (!t.skipped && attempt(t, [&] { return t.job->useGain(album.gainDb) && t.job->master(); })) {
        t.job->report().album = album;
        mastered(t, *t.job);
      }
      t.job.reset();
    });
    album_ = album;
  }

  int finish() {
    board_.close();
    if (!albumRefused_.empty()) return usageError(albumRefused_);
    if (album_ && albumPlot_) drawAlbum();
    bool anyFailed = false;
    for (Track& t : tracks_) {
      if (t.skipped) {
        t.report.input = t.input;
        t.report.output = t.output;
        t.report.status = "skipped";
        t.report.error.clear();
      }
      anyFailed = anyFailed || t.failed;
    }
    const bool jsonOnStdout = options_.reportJson && *options_.reportJson == "-";
    if (options_.report.value_or(!options_.quiet && isatty(STDOUT_FILENO) && !jsonOnStdout))
      printSummary(jsonOnStdout ? stderr : stdout);
    if (options_.reportJson) {
      std::string json = "[\n";
      for (size_t i = 0; i < tracks_.size(); ++i) json += (i ? ",\n" : "") + reportJson(tracks_[i].report);
      json += "]\n";
      std::string error;
      if (!writeReportFile(*options_.reportJson, json, options_.force, error)) return refuse(error);
    }
    return anyFailed || albumPictureFailed_ ? 1 : 0;
  }

  void printSummary(std::FILE* out) const {
    auto cell = [](double value) {
      char text[24] = "-";
      if (std::isfinite(value)) std::snprintf(text, sizeof text, "%.1f", value);
      return std::string(text);
    };
    std::fprintf(out, "%-32s %8s %8s %9s %6s %8s  %s\n", "file", "LUFS in", "LUFS out", "true peak", "LRA",
                 "gain dB", "status");
    for (const Track& t : tracks_) {
      const RenderReport& r = t.report;
      double gain = NAN;
      for (const RenderReport::Setting& s : r.settings)
        if (s.symbol == "gain") gain = s.value;
      const bool ok = r.status == "ok";
      std::string status = r.status;
      if (t.failed) status += ": " + r.error;
      std::fprintf(out, "%-32s %8s %8s %9s %6s %8s  %s\n", terminalSafe(fs::path(t.input).filename().string()).c_str(),
                   ok ? cell(r.before.integratedLufs).c_str() : "-", ok ? cell(r.after.integratedLufs).c_str() : "-",
                   ok ? cell(r.after.truePeakDb).c_str() : "-", ok ? cell(r.after.rangeLu).c_str() : "-",
                   ok ? cell(gain).c_str() : "-", terminalSafe(status).c_str());
    }
    if (album_)
      std::fprintf(out, "album: %.1f LUFS before, %.1f LUFS after, one gain of %+.2f dB for every track\n",
                   album_->beforeLufs, album_->afterLufs, album_->gainDb);
  }

  // The overview: every track's loudness before and after, and its true peak.
  void drawAlbum() {
    AlbumPicture picture;
    picture.title = "album  \u00b7  " + std::to_string(tracks_.size()) + " tracks";
    for (const Track& t : tracks_)
      picture.tracks.push_back({fs::path(t.input).stem().string(), t.report.before.integratedLufs,
                                t.report.after.integratedLufs, t.report.after.truePeakDb});
    picture.albumBeforeLufs = album_->beforeLufs;
    picture.albumAfterLufs = album_->afterLufs;
    picture.targetLufs = album_->targetLufs;
    for (const Track& t : tracks_)
      for (const RenderReport::Setting& s : t.report.settings)
        if (s.symbol == "ceiling") picture.ceilingDb = s.value;
    std::string error;
    if (!writeAlbumPicture(picture, options_.plotScale, *albumPlot_, error)) {
      board_.message(error);
      albumPictureFailed_ = true;
    }
  }

  std::optional<std::string> albumPlot_;  // the album's overview, with --album and --plot
  bool albumPictureFailed_ = false;
  RenderOptions options_;
  std::vector<Track> tracks_;
  ProgressBoard board_;
  int jobs_ = 1;
  std::string albumRefused_;
  std::optional<AlbumResult> album_;
};

}  // namespace

bool isRelease(const RenderOptions& options) {
  const ReleaseOptions& r = options.release;
  if (options.inputs.size() > 1 || r.inputsFrom || r.shardCount > 0 || r.namePattern) return true;
  if (!options.output || *options.output == "-") return false;
  std::error_code ec;
  return options.output->back() == '/' || fs::is_directory(*options.output, ec);
}

int renderRelease(RenderOptions options) {
  const ReleaseOptions& release = options.release;
  std::vector<std::string> inputs = options.inputs;
  std::string error;
  if (release.inputsFrom && !readList(*release.inputsFrom, inputs, error)) return refuse(error);
  // Workers that each take a shard agree on it without talking: by position in the sorted list.
  if (release.inputsFrom || release.shardCount > 0) std::sort(inputs.begin(), inputs.end());
  if (inputs.empty()) return usageError("no input files: give them, or a list with --inputs-from LIST");
  if (std::find(inputs.begin(), inputs.end(), "-") != inputs.end())
    return usageError("standard input cannot be one of several inputs; give the files' paths");
  if (release.album && release.shardCount > 0)
    return usageError("--album cannot be split with --shard: one album gain needs every track, so master an album "
                      "on one worker");
  if (!options.output) return usageError("no output folder given; use -o FOLDER");
  if (*options.output == "-") return usageError("several masters cannot all go to standard output; use -o FOLDER");

  {
    // "-o out.wav" with several inputs is a slip, not a wish for a folder of that name.
    static const std::set<std::string> audioExtensions = {".wav", ".wave", ".bwf", ".rf64", ".w64", ".aiff", ".aif",
                                                          ".aifc", ".caf", ".flac", ".au", ".snd", ".ogg", ".oga",
                                                          ".opus", ".mp3"};
    const std::string& out = *options.output;
    std::error_code ec;
    if (out.back() != '/' && !fs::exists(out, ec) && audioExtensions.count(lower(fs::path(out).extension().string())))
      return usageError("several inputs need an output folder, and " + inQuotes(out) + " names a file: use -o FOLDER " +
                        "(or " + inQuotes(out + "/") + " for a folder of that name)");
  }

  std::vector<Track> tracks;
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (release.shardCount > 0 && static_cast<int>(i % static_cast<size_t>(release.shardCount)) != release.shardIndex - 1)
      continue;
    Track track;
    track.input = inputs[i];
    track.number = static_cast<int>(i + 1);
    tracks.push_back(std::move(track));
  }
  const std::string pattern = release.namePattern.value_or(kDefaultPattern);
  const fs::path folder = *options.output;
  std::map<std::string, const Track*> byOutput;
  for (Track& t : tracks) {
    std::string name;
    if (!expandName(pattern, t, options, name, error)) return usageError(error);
    t.output = (folder / name).lexically_normal().string();
    const auto [at, added] = byOutput.emplace(t.output, &t);
    if (!added)
      return usageError(inQuotes(at->second->input) + " and " + inQuotes(t.input) + " would both be written to " +
                        inQuotes(t.output) + "; nothing was written (choose a --name with {n} or {stem})");
  }
  if (!prepareFolder(folder.string(), error)) return refuse(error);
  if (options.reportJson && *options.reportJson != "-") {
    const fs::path json = *options.reportJson;
    const fs::path where = json.parent_path().empty() ? fs::path(".") : json.parent_path();
    std::error_code ec;
    if (!fs::is_directory(where, ec) || ::access(where.c_str(), W_OK | X_OK) != 0)
      return refuse("--report-json " + inQuotes(json.string()) + ": cannot write in " + inQuotes(where.string()) +
                    ": " + std::strerror(fs::is_directory(where, ec) ? errno : ENOENT));
  }
  if (release.skipExisting) {
    std::error_code ec;
    for (Track& t : tracks) t.skipped = fs::exists(t.output, ec);
  }
  // Pictures follow the masters' naming: a folder gets '<stem>.png', a name takes {stem}; the
  // album's overview is 'album' in the same scheme.
  std::optional<std::string> albumPlot;
  if (options.plot) {
    std::vector<std::string> names;
    for (const Track& t : tracks) names.push_back(t.input);
    if (release.album) names.push_back("album");
    std::vector<std::string> plots;
    if (!plotPaths(*options.plot, names, plots, error)) return usageError(error);
    for (size_t i = 0; i < tracks.size(); ++i) tracks[i].plot = plots[i];
    if (release.album) albumPlot = plots.back();
  }
  return Release(std::move(options), std::move(tracks), std::move(albumPlot)).run();
}

}  // namespace plumbrook::cli
