// Options of `plumbrook render` and their parsing.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "apps/audio_format.h"
#include "apps/commands.h"

namespace plumbrook::cli {

/// What the command line asked for; settings stay in the order given.
struct RenderOptions {
  std::optional<std::string> input;
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
};

/// Reads the arguments after "render". False with a message for a usage error.
bool parseRenderOptions(const Args& args, RenderOptions& options, std::string& error);

/// The option summary shown by --help.
const char* renderUsage();

}  // namespace plumbrook::cli
