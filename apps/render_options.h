// Options of `plumbrook render` and their parsing.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "apps/audio_format.h"
#include "apps/commands.h"
#include "apps/progress.h"

namespace plumbrook::cli {

class OptionReader;

/// Options for mastering a release: many inputs into a folder, side by side, to one loudness.
struct ReleaseOptions {
  std::optional<std::string> inputsFrom;  // a list of paths, one a line; "-" for standard input
  int shardIndex = 0, shardCount = 0;     // --shard K/N (K from 1); 0/0 for the whole list
  int jobs = 0;                           // files rendered side by side; 0: one per core
  std::optional<std::string> namePattern;
  bool skipExisting = false;
  bool album = false;
  std::optional<std::string> profile;
  std::optional<double> rate;  // converts the input to this rate before the chain
};

/// What the command line asked for; settings stay in the order given.
struct RenderOptions {
  std::optional<std::string> input;  // the first of `inputs`
  std::vector<std::string> inputs;    // every input given on the command line, in order
  std::optional<std::string> output;
  std::vector<std::pair<std::string, std::string>> settingArgs;  // option, argument, in order
  int blockSize = 512;
  FormatRequest format;
  std::optional<double> targetLufs;
  std::optional<bool> report;
  std::optional<std::string> reportJson;
  std::optional<std::string> plot;  // the master's loudness picture
  float plotScale = 1.0f;
  std::string dither = "tpdf";  // none, tpdf or shaped
  bool guardTruePeak = false;
  bool force = false;  // replace an existing output even where the user may not write it
  bool quiet = false;
  bool help = false;
  ReleaseOptions release;  // many files, album loudness, delivery profiles, rate, shards

  // Set by the batch runner for each file it hands to a job.
  std::string messageLabel;  // put before each message, e.g. the file's name
  bool collectReport = false;  // measure the report's figures even when none is printed
  std::function<void(const std::string&)> showMessage;  // instead of writing to standard error
  std::function<std::unique_ptr<ProgressBar>(int64_t totalFrames)> makeProgress;
};

/// Reads the arguments after "render". False with a message for a usage error.
bool parseRenderOptions(const Args& args, RenderOptions& options, std::string& error);

/// Takes the option under `reader` when it is one of the release options: 1 taken, 0 not one
/// of them, -1 a usage error in `error`.
int parseReleaseOption(OptionReader& reader, RenderOptions& options, std::string& error);

/// The option summary shown by --help.
const char* renderUsage();

}  // namespace plumbrook::cli
