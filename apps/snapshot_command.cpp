// `plumbrook snapshot`: draws the editor without a display into a PNG, optionally after running
// an audio file through the chain so that the meters show its levels.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <strings.h>
#include <vector>

#include "apps/audio_file.h"
#include "apps/command_line.h"
#include "apps/commands.h"
#include "apps/console_surface.h"
#include "apps/picture_file.h"
#include "apps/settings.h"
#include "editor/editor_design.h"
#include "editor/editor_drawing.h"
#include "files/files.h"
#include "platform/offline/offline_host.h"
#include "platform/window/headless_surface.h"

namespace plumbrook::cli {
namespace {

namespace fs = std::filesystem;

const char* snapshotUsage() {
  return "usage: plumbrook snapshot -o FILE.png [--scale S] [--accent NAME] [--set NAME=VALUE ...]\n"
         "                          [--preset NAME|FILE] [--state FILE] [INPUT]\n"
         "  -o FILE.png            the picture to write\n"
         "  --scale S              draw scale from 0.75 to 2 (default: the state's size, else 1)\n"
         "  --accent NAME          Green, Red, Orange, Blue, Purple or \"DAW color\"\n"
         "  --set, --preset, --state  as for 'plumbrook render', applied in order\n"
         "  INPUT                  an audio file played through the chain first: the meters show it\n";
}

int fail(const std::string& message, int status = 1, const char* usage = "") {
  std::fprintf(stderr, "plumbrook snapshot: %s\n%s", terminalSafe(message).c_str(), usage);
  return status;
}


struct SnapshotOptions {
  std::optional<std::string> output;
  std::optional<float> scale;
  std::optional<int> accent;
  std::vector<std::pair<std::string, std::string>> settingArgs;
  std::optional<std::string> input;
  bool help = false;
};

std::optional<int> accentNamed(const std::string& name) {
  for (int i = 0; i < 6; ++i)
    if (strcasecmp(name.c_str(), editor::kAccents[i].name) == 0) return i;
  return std::nullopt;
}

bool parse(const Args& args, SnapshotOptions& options, std::string& error) {
  OptionReader reader(args);
  while (reader.next()) {
    const std::string& arg = reader.name();
    auto value = [&](std::string& out) { return reader.value(out, error); };
    std::string text;
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "-o" || arg == "--output") {
      if (!value(text)) return false;
      options.output = text;
    } else if (arg == "--scale") {
      if (!value(text)) return false;
      char* end = nullptr;
      const float scale = std::strtof(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !std::isfinite(scale) || scale < 0.75f || scale > 2.0f) {
        error = "--scale " + inQuotes(text) + ": expected a scale from 0.75 to 2";
        return false;
      }
      options.scale = scale;
    } else if (arg == "--accent") {
      if (!value(text)) return false;
      options.accent = accentNamed(text);
      if (!options.accent) {
        error = "--accent " + inQuotes(text) + ": expected Green, Red, Orange, Blue, Purple or \"DAW color\"";
        return false;
      }
    } else if (arg == "--set" || arg == "--preset" || arg == "--state") {
      if (!value(text)) return false;
      options.settingArgs.emplace_back(arg, text);
    } else if (!reader.isOperand()) {
      error = "unknown option " + inQuotes(arg);
      return false;
    } else if (options.input) {
      error = "unexpected argument " + inQuotes(arg) + " (only one input file)";
      return false;
    } else {
      options.input = arg;
    }
  }
  return true;
}

// Plays the whole file through the plug-in in blocks; the 20 ms timer runs as in a host, and the
// meters' clock is the audio's own time, so they move as they would have while it played.
bool play(offline::OfflineHost& host, AudioSource& source, int64_t& audioTimeNs, std::string& error) {
  const int channels = source.channels();
  const int block = host.options().blockSize;
  std::vector<double> interleaved(static_cast<size_t>(block * channels));
  std::vector<std::vector<double>> in(static_cast<size_t>(channels), std::vector<double>(static_cast<size_t>(block)));
  std::vector<std::vector<double>> out = in;
  std::vector<double*> inputs, outputs;
  for (int c = 0; c < channels; ++c) {
    inputs.push_back(in[static_cast<size_t>(c)].data());
    outputs.push_back(out[static_cast<size_t>(c)].data());
  }
  int64_t framesDone = 0;
  while (true) {
    const int64_t n = source.read(interleaved.data(), block);
    if (n <= 0) break;
    for (int64_t f = 0; f < n; ++f)
      for (int c = 0; c < channels; ++c)
        in[static_cast<size_t>(c)][static_cast<size_t>(f)] = interleaved[static_cast<size_t>(f * channels + c)];
    framesDone += n;
    audioTimeNs = static_cast<int64_t>(static_cast<double>(framesDone) / source.sampleRate() * 1e9);
    host.processBlock(inputs.data(), outputs.data(), static_cast<int>(n));
  }
  if (framesDone == 0) {
    error = "the input holds no audio";
    return false;
  }
  return true;
}


}  // namespace

int runSnapshot(const Args& args) {
  SnapshotOptions options;
  std::string error;
  if (!parse(args, options, error)) return fail(error, 2, snapshotUsage());
  if (options.help) {
    std::fputs(snapshotUsage(), stdout);
    return 0;
  }
  if (!options.output) return fail("no output file given; use -o FILE.png", 2);
  const fs::path output = *options.output;
  std::error_code ec;
  if (!output.parent_path().empty() && !fs::is_directory(output.parent_path(), ec))
    return fail("cannot write " + inQuotes(output.string()) + ": the directory " +
                inQuotes(output.parent_path().string()) + " does not exist");

  std::unique_ptr<AudioReader> source;
  offline::OfflineHost::Options hostOptions;
  if (options.input) {
    source = AudioReader::open(*options.input, false, error);
    if (!source) return fail(error);
    if (source->channels() > 2) return fail(inQuotes(*options.input) + " has more than two channels");
    hostOptions.sampleRate = source->sampleRate();
    hostOptions.inputs = hostOptions.outputs = source->channels();
  }
  auto host = offline::OfflineHost::create(hostOptions, error);
  if (!host) return fail(error);
  Plumbrook& plugin = host->plugin();

  Settings settings;
  for (const auto& [option, argument] : options.settingArgs) {
    if (option == "--set") {
      if (!settings.addSet(plugin, argument, error)) return fail(error, 2);
    } else if (option == "--preset") {
      settings.addPreset(argument);
    } else {
      settings.addState(argument);
    }
  }
  if (!settings.apply(plugin, error)) return fail(error);
  if (options.accent) plugin.setAccentIndex(*options.accent);
  const float scale = options.scale.value_or(plugin.initialDrawScale());

  plugkit::platform::HeadlessSurface surface;
  if (!surface.Valid()) return fail("no headless drawing: " + surface.Error());
  const editor::Resources resources = editor::defaultResources();
  auto graphics = surface.CreateGraphics(plugin, kDesignWidth, kDesignHeight, std::clamp(scale, 0.75f, 2.0f),
                                         resources.regularFont.parent_path().string());
  if (!graphics) return fail("no headless drawing: " + surface.Error());
  int64_t audioTimeNs = 0;
  {
    editor::PlumbrookEditor editor(plugin, *graphics, resources, [&audioTimeNs] { return audioTimeNs; });
    if (source && !play(*host, *source, audioTimeNs, error)) return fail(error);
    if (source)
      for (const std::string& text : source->takeWarnings())
        std::fprintf(stderr, "plumbrook snapshot: warning: %s\n", terminalSafe(text).c_str());
    host->runTimer();  // the status line and the last readings
    surface.Render(*graphics, true);
  }
  const plugkit::platform::Image image = surface.ReadPixels();
  graphics.reset();
  if (image.width == 0) return fail("the drawing could not be read back");
  if (!writePicture(image, output.string(), error)) return fail(error);
  return 0;
}

}  // namespace plumbrook::cli
