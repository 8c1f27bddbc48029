// Comparative LV2 benchmark: any plug-in by URI, the same music-like audio in fixed blocks,
// CPU time spent running it on the calling thread and the resulting realtime factor.
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>
#include <sndfile.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

namespace {

struct Options {
  std::string uri;
  std::vector<std::pair<std::string, float>> controls;
  std::string wav;
  double sampleRate = 48000.0;
  double seconds = 20.0;
  int block = 256;
};

[[noreturn]] void usage(const char* why) {
  if (why) std::fprintf(stderr, "plumbrook_lv2_bench: %s\n", why);
  std::fprintf(stderr,
               "usage: plumbrook_lv2_bench [--seconds S] [--rate HZ] [--block N] [--wav FILE]\n"
               "                           PLUGIN_URI [SYMBOL=VALUE ...]\n"
               "Feeds the same audio to the plug-in's first two audio inputs in blocks and prints\n"
               "the CPU time spent inside run() and the realtime factor. LV2_PATH selects plug-ins.\n");
  std::exit(2);
}

double parseNumber(const char* text, const char* what) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (!end || *end || !std::isfinite(value)) usage(what);
  return value;
}

Options parseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&](const char* what) {
      if (i + 1 >= argc) usage(what);
      return argv[++i];
    };
    if (arg == "--seconds") options.seconds = parseNumber(next("--seconds needs a value"), "bad --seconds");
    else if (arg == "--rate") options.sampleRate = parseNumber(next("--rate needs a value"), "bad --rate");
    else if (arg == "--block") options.block = static_cast<int>(parseNumber(next("--block needs a value"), "bad --block"));
    else if (arg == "--wav") options.wav = next("--wav needs a file");
    else if (arg == "--help" || arg == "-h") usage(nullptr);
    else if (options.uri.empty()) options.uri = arg;
    else {
      const auto eq = arg.find('=');
      if (eq == std::string::npos || eq == 0) usage("controls are SYMBOL=VALUE");
      options.controls.emplace_back(arg.substr(0, eq),
                                    static_cast<float>(parseNumber(arg.c_str() + eq + 1, "bad control value")));
    }
  }
  if (options.uri.empty()) usage("no plug-in URI");
  if (options.seconds <= 0.0 || options.sampleRate < 8000.0 || options.block < 1 || options.block > 65536)
    usage("seconds, rate or block out of range");
  return options;
}

// Music-like stereo audio: partials with vibrato and a pulsing envelope over filtered
// noise, about -1 dBFS at its peaks; the same for every run.
std::vector<std::vector<float>> makeAudio(double rate, int64_t frames) {
  std::vector<std::vector<float>> channels(2, std::vector<float>(static_cast<size_t>(frames)));
  const double partials[] = {55.0, 110.0, 164.8, 220.0, 329.6, 440.0, 659.3, 1318.5, 2637.0};
  uint32_t state = 0x12345678u;
  for (int c = 0; c < 2; ++c) {
    double lowpass = 0.0;
    for (int64_t i = 0; i < frames; ++i) {
      const double t = static_cast<double>(i) / rate;
      const double beat = std::fmod(t * 2.0, 1.0);
      const double envelope = 0.3 + 0.7 * std::exp(-5.0 * beat);
      double tone = 0.0;
      for (size_t k = 0; k < std::size(partials); ++k) {
        const double vibrato = 1.0 + 0.003 * std::sin(2.0 * std::numbers::pi * 4.5 * t + static_cast<double>(k));
        tone += std::sin(2.0 * std::numbers::pi * partials[k] * vibrato * t + 0.4 * c + static_cast<double>(k)) /
                static_cast<double>(k + 2);
      }
      state = state * 1664525u + 1013904223u;
      const double white = static_cast<double>(state >> 8) / 8388608.0 - 1.0;
      lowpass += 0.05 * (white - lowpass);
      channels[static_cast<size_t>(c)][static_cast<size_t>(i)] =
          static_cast<float>(0.45 * envelope * tone + 0.6 * lowpass);
    }
  }
  return channels;
}

std::vector<std::vector<float>> readWav(const std::string& path, double& rate) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    std::fprintf(stderr, "plumbrook_lv2_bench: cannot read %s: %s\n", path.c_str(), sf_strerror(nullptr));
    std::exit(1);
  }
  std::vector<float> interleaved(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(file, interleaved.data(), info.frames);
  sf_close(file);
  rate = info.samplerate;
  std::vector<std::vector<float>> channels(2, std::vector<float>(static_cast<size_t>(info.frames)));
  for (sf_count_t i = 0; i < info.frames; ++i)
    for (int c = 0; c < 2; ++c)
      channels[static_cast<size_t>(c)][static_cast<size_t>(i)] =
          interleaved[static_cast<size_t>(i * info.channels + std::min(c, info.channels - 1))];
  return channels;
}

struct UridMap {
  std::vector<std::string> uris;
  static LV2_URID map(LV2_URID_Map_Handle handle, const char* uri) {
    auto* self = static_cast<UridMap*>(handle);
    for (size_t i = 0; i < self->uris.size(); ++i)
      if (self->uris[i] == uri) return static_cast<LV2_URID>(i + 1);
    self->uris.emplace_back(uri);
    return static_cast<LV2_URID>(self->uris.size());
  }
  static const char* unmap(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
    auto* self = static_cast<UridMap*>(handle);
    return urid >= 1 && urid <= self->uris.size() ? self->uris[urid - 1].c_str() : nullptr;
  }
};

double threadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

enum class PortKind { kAudioIn, kAudioOut, kControl, kAtomIn, kAtomOut, kOther };

}  // namespace

int main(int argc, char** argv) {
  Options options = parseArguments(argc, argv);

  LilvWorld* world = lilv_world_new();
  lilv_world_load_all(world);
  LilvNode* uriNode = lilv_new_uri(world, options.uri.c_str());
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uriNode);
  lilv_node_free(uriNode);
  if (!plugin) {
    std::fprintf(stderr, "plumbrook_lv2_bench: plug-in <%s> not found (LV2_PATH)\n", options.uri.c_str());
    return 1;
  }

  std::vector<std::vector<float>> audio;
  if (!options.wav.empty()) audio = readWav(options.wav, options.sampleRate);
  else audio = makeAudio(options.sampleRate, static_cast<int64_t>(options.seconds * options.sampleRate));
  const int64_t totalFrames = static_cast<int64_t>(audio[0].size());

  UridMap urids;
  LV2_URID_Map map{&urids, UridMap::map};
  LV2_URID_Unmap unmap{&urids, UridMap::unmap};
  const int32_t block = options.block;
  const float rate = static_cast<float>(options.sampleRate);
  const LV2_URID intType = UridMap::map(&urids, LV2_ATOM__Int);
  const LV2_Options_Option lv2Options[] = {
      {LV2_OPTIONS_INSTANCE, 0, UridMap::map(&urids, LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), intType, &block},
      {LV2_OPTIONS_INSTANCE, 0, UridMap::map(&urids, LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), intType, &block},
      {LV2_OPTIONS_INSTANCE, 0, UridMap::map(&urids, LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t), intType, &block},
      {LV2_OPTIONS_INSTANCE, 0, UridMap::map(&urids, LV2_PARAMETERS__sampleRate), sizeof(float),
       UridMap::map(&urids, LV2_ATOM__Float), &rate},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  const LV2_Feature mapFeature{LV2_URID__map, &map};
  const LV2_Feature unmapFeature{LV2_URID__unmap, &unmap};
  const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(lv2Options)};
  const LV2_Feature boundedFeature{LV2_BUF_SIZE__boundedBlockLength, nullptr};
  const LV2_Feature* features[] = {&mapFeature, &unmapFeature, &optionsFeature, &boundedFeature, nullptr};

  // Port buffers: audio in blocks, one float per control, a capacity for atom ports.
  const uint32_t nPorts = lilv_plugin_get_num_ports(plugin);
  std::vector<float> defaults(nPorts, 0.0f);
  lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
  LilvNode* audioClass = lilv_new_uri(world, LV2_CORE__AudioPort);
  LilvNode* controlClass = lilv_new_uri(world, LV2_CORE__ControlPort);
  LilvNode* atomClass = lilv_new_uri(world, LV2_ATOM__AtomPort);
  LilvNode* inputClass = lilv_new_uri(world, LV2_CORE__InputPort);
  LilvNode* optional = lilv_new_uri(world, LV2_CORE__connectionOptional);
  constexpr size_t kAtomCapacity = 65536;
  std::vector<PortKind> kinds(nPorts, PortKind::kOther);
  std::vector<std::vector<float>> buffers(nPorts);
  std::vector<std::vector<uint64_t>> atoms(nPorts);
  std::vector<uint32_t> audioIns, audioOuts;
  for (uint32_t p = 0; p < nPorts; ++p) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
    const bool input = lilv_port_is_a(plugin, port, inputClass);
    if (lilv_port_is_a(plugin, port, audioClass)) {
      kinds[p] = input ? PortKind::kAudioIn : PortKind::kAudioOut;
      buffers[p].assign(static_cast<size_t>(block), 0.0f);
      (input ? audioIns : audioOuts).push_back(p);
    } else if (lilv_port_is_a(plugin, port, controlClass)) {
      kinds[p] = PortKind::kControl;
      buffers[p].assign(1, std::isnan(defaults[p]) ? 0.0f : defaults[p]);
    } else if (lilv_port_is_a(plugin, port, atomClass)) {
      kinds[p] = input ? PortKind::kAtomIn : PortKind::kAtomOut;
      atoms[p].assign(kAtomCapacity / sizeof(uint64_t), 0);
    } else if (!lilv_port_has_property(plugin, port, optional)) {
      std::fprintf(stderr, "plumbrook_lv2_bench: port %u has a type this bench does not drive\n", p);
      return 1;
    }
  }
  for (const auto& [symbol, value] : options.controls) {
    LilvNode* symbolNode = lilv_new_string(world, symbol.c_str());
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, symbolNode);
    lilv_node_free(symbolNode);
    const uint32_t index = port ? lilv_port_get_index(plugin, port) : nPorts;
    if (index >= nPorts || kinds[index] != PortKind::kControl) {
      std::fprintf(stderr, "plumbrook_lv2_bench: no control port '%s'\n", symbol.c_str());
      return 1;
    }
    buffers[index][0] = value;
  }
  if (audioIns.empty() || audioOuts.empty()) {
    std::fprintf(stderr, "plumbrook_lv2_bench: the plug-in needs audio inputs and outputs\n");
    return 1;
  }

  LilvInstance* instance = lilv_plugin_instantiate(plugin, options.sampleRate, features);
  if (!instance) {
    std::fprintf(stderr, "plumbrook_lv2_bench: <%s> failed to instantiate\n", options.uri.c_str());
    return 1;
  }
  const LV2_URID sequenceType = UridMap::map(&urids, LV2_ATOM__Sequence);
  const LV2_URID chunkType = UridMap::map(&urids, LV2_ATOM__Chunk);
  for (uint32_t p = 0; p < nPorts; ++p) {
    void* data = nullptr;
    if (!buffers[p].empty()) data = buffers[p].data();
    else if (!atoms[p].empty()) data = atoms[p].data();
    lilv_instance_connect_port(instance, p, data);
  }
  auto resetAtoms = [&] {
    for (uint32_t p = 0; p < nPorts; ++p) {
      if (atoms[p].empty()) continue;
      auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(atoms[p].data());
      if (kinds[p] == PortKind::kAtomIn) {
        seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
        seq->atom.type = sequenceType;
        seq->body.unit = 0;
        seq->body.pad = 0;
      } else {
        seq->atom.size = static_cast<uint32_t>(kAtomCapacity - sizeof(LV2_Atom));
        seq->atom.type = chunkType;
      }
    }
  };

  lilv_instance_activate(instance);
  // The clock is read around the whole range, not around each run(): reading it costs about as
  // much as a 16-frame block. Feeding the inputs is counted too; it is the same for every plug-in.
  auto runRange = [&](int64_t first, int64_t frames, double& cpu) {
    const double before = threadCpuSeconds();
    for (int64_t start = first; start < first + frames; start += block) {
      const int n = static_cast<int>(std::min<int64_t>(block, first + frames - start));
      for (size_t k = 0; k < audioIns.size(); ++k) {
        const auto& source = audio[std::min<size_t>(k, 1)];
        std::copy_n(source.begin() + start, n, buffers[audioIns[k]].begin());
      }
      resetAtoms();
      lilv_instance_run(instance, static_cast<uint32_t>(n));
    }
    cpu += threadCpuSeconds() - before;
  };
  // Warm-up: one second (or the whole input when shorter), not counted.
  double warmCpu = 0.0;
  runRange(0, std::min<int64_t>(totalFrames, static_cast<int64_t>(options.sampleRate)), warmCpu);
  double cpu = 0.0;
  runRange(0, totalFrames, cpu);
  lilv_instance_deactivate(instance);

  const double audioSeconds = static_cast<double>(totalFrames) / options.sampleRate;
  std::printf("uri %s\nblock %d\naudio_seconds %.3f\nrun_cpu_seconds %.6f\nrealtime_factor %.1f\n",
              options.uri.c_str(), block, audioSeconds, cpu, cpu > 0.0 ? audioSeconds / cpu : 0.0);

  lilv_instance_free(instance);
  for (LilvNode* node : {audioClass, controlClass, atomClass, inputClass, optional}) lilv_node_free(node);
  lilv_world_free(world);
  return 0;
}
