// Options of `plumbrook render` and their parsing.
#include "apps/render_options.h"

#include <cstdlib>
#include <limits>

#include "apps/analysis.h"
#include "apps/command_line.h"
#include "apps/delivery_profiles.h"
#include "editor/typed_value.h"

namespace plumbrook::cli {

const char* renderUsage() {
  return "usage: plumbrook render [INPUT] -o OUTPUT [options]\n"
         "       plumbrook render INPUT... -o FOLDER [options]\n"
         "  INPUT                 an audio file, or - for standard input (WAV); none: the built-in demo\n"
         "  -o, --output FILE     the mastered file, or - for standard output (WAV)\n"
         "  --set NAME=VALUE      a parameter by name or symbol (see 'plumbrook params'), repeatable\n"
         "  --preset NAME|FILE    a stored preset by name, or a .pbpreset file\n"
         "  --state FILE          a saved plug-in state\n"
         "  --target-lufs L       find the gain that makes the output L LUFS integrated\n"
         "  --format NAME         wav, flac, aiff, caf, w64, rf64, au, ogg, opus, mp3\n"
         "  --bits N              8, 16, 24, 32, float or double\n"
         "  --dither KIND         none, tpdf (default) or shaped, where the output has 24 or fewer\n"
         "                        integer bits: tpdf adds triangular noise of +-1 step before rounding;\n"
         "                        shaped also feeds each rounding error back (1 - z^-1), moving the\n"
         "                        noise up in frequency: less below fs/6, up to 6 dB more near fs/2\n"
         "  --guard-true-peak     measure the written file's true peak (BS.1770) and render again with\n"
         "                        the ceiling lowered by any excess (at most three passes)\n"
         "  --force               replace an existing output that is write-protected\n"
         "  --block N             frames per processing block (default 512)\n"
         "  --report, --no-report loudness and peak report (default: when stdout is a terminal)\n"
         "  --report-json FILE    the report as JSON (- for standard output)\n"
         "  --plot FILE.png       a picture of the master's loudness, true peak and gain reduction\n"
         "                        over time (a folder or a name with {stem} for several inputs)\n"
         "  --plot-scale S        the picture's pixel scale, 0.5 to 4 (2 for HiDPI; default 1)\n"
         "  -q, --quiet           no progress, notes or default report\n"
         "Many files (a release):\n"
         "  -o, --output FOLDER   with several inputs (or a path ending in /): the folder the masters\n"
         "                        go to, created when missing\n"
         "  --name PATTERN        the masters' names: {stem}, {ext}, {n} (track number, two digits),\n"
         "                        {format} (the output's format, and bits when chosen); default {stem}.{ext}\n"
         "  --skip-existing       leave masters that already exist\n"
         "  -j, --jobs N          files rendered side by side (default: one per core)\n"
         "  --album               with --target-lufs: one gain for all files, so that the release\n"
         "                        together measures the target and the tracks keep their balance\n"
         "  --profile NAME        a delivery profile (see 'plumbrook profiles'); options override it\n"
         "  --rate HZ             convert the input to this rate (8000 to 384000) before the chain\n"
         "  --inputs-from LIST    input paths, one a line (- for standard input), taken in sorted order\n"
         "  --shard K/N           only the files at sorted positions K, K+N, K+2N... (K from 1 to N)\n"
         "Later options override earlier ones.\n";
}

bool parseRenderOptions(const Args& args, RenderOptions& options, std::string& error) {
  OptionReader reader(args);
  while (reader.next()) {
    const std::string& arg = reader.name();
    const bool attached = !reader.bare();
    auto value = [&](std::string& out) { return reader.value(out, error); };
    std::string text;
    if (arg == "-o" || arg == "--output") {
      if (!value(text)) return false;
      options.output = text;
    } else if (arg == "--set" || arg == "--preset" || arg == "--state") {
      if (!value(text)) return false;
      options.settingArgs.emplace_back(arg, text);
    } else if (arg == "--block") {
      if (!value(text)) return false;
      char* end = nullptr;
      const long n = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || n < 1 || n > 65536) {
        error = "--block " + inQuotes(text) + ": expected a whole number of frames from 1 to 65536";
        return false;
      }
      options.blockSize = static_cast<int>(n);
    } else if (arg == "--format") {
      if (!value(options.format.container)) return false;
    } else if (arg == "--bits") {
      if (!value(options.format.bits)) return false;
    } else if (arg == "--target-lufs") {
      if (!value(text)) return false;
      constexpr double kWide = std::numeric_limits<double>::max();
      const auto lufs = quillfen::controls::parseTypedValue(text, -kWide, kWide, false);
      if (!lufs) {
        error = "--target-lufs " + inQuotes(text) + ": not a number";
        return false;
      }
      if (*lufs < -70.0 || *lufs > 0.0) {
        error = "--target-lufs " + inQuotes(text) + ": expected a loudness from -70 to 0 LUFS";
        return false;
      }
      options.targetLufs = *lufs;
    } else if (arg == "--dither") {
      if (!value(text)) return false;
      if (text != "none" && text != "tpdf" && text != "shaped") {
        error = "--dither " + inQuotes(text) + ": expected none, tpdf or shaped";
        return false;
      }
      options.dither = text;
    } else if (arg == "--guard-true-peak" && !attached) {
      options.guardTruePeak = true;
    } else if (arg == "--force" && !attached) {
      options.force = true;
    } else if (arg == "--report" && !attached) {
      options.report = true;
    } else if (arg == "--no-report" && !attached) {
      options.report = false;
    } else if (arg == "--report-json") {
      if (!value(text)) return false;
      options.reportJson = text;
    } else if (arg == "--plot") {
      if (!value(text)) return false;
      options.plot = text;
    } else if (arg == "--plot-scale") {
      if (!value(text) || !parsePlotScale(text, options.plotScale, error)) return false;
    } else if ((arg == "-q" || arg == "--quiet") && !attached) {
      options.quiet = true;
    } else if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (reader.isOperand()) {
      if (!options.input) options.input = arg;
      options.inputs.push_back(arg);
    } else if (const int taken = parseReleaseOption(reader, options, error)) {
      if (taken < 0) return false;
    } else {
      error = "unknown option " + inQuotes(arg);
      return false;
    }
  }
  if (!applyProfile(options, error)) return false;
  if (options.release.album && !options.targetLufs) {
    error = "--album needs a loudness: --target-lufs L, or a --profile that sets one";
    return false;
  }
  return true;
}

}  // namespace plumbrook::cli
