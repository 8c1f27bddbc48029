// The built bundle through the real lilv tools: lv2ls and lv2info read the metadata the
// parameter table implies, and lv2apply renders files as the offline host does.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "plugin/plumbrook.h"
#include "platform/lv2/lv2_ports.h"
#include "platform/offline/offline_host.h"
#include "tests/platform/lv2_test_host.h"
#include "tests/support/command_runner.h"

namespace fs = std::filesystem;
using plumbrook::test::CommandResult;
using plumbrook::test::haveTool;
using plumbrook::offline::OfflineHost;

namespace {

fs::path scratchDir() {
  const fs::path dir = fs::path(::testing::TempDir()) /
                       ("plumbrook_lv2_" + std::to_string(::getpid()) + "_" +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::create_directories(dir);
  return dir;
}

// Runs a tool with LV2_PATH holding only the built bundle.
CommandResult runTool(const std::string& program, std::vector<std::string> args, const fs::path& dir) {
  return plumbrook::test::run({program, std::move(args), {{"LV2_PATH", plumbrook::test::lv2BundleParent()}}, "", dir.string()});
}

// One port as lv2info prints it: each field with its lines.
using PortFields = std::map<std::string, std::vector<std::string>>;

std::string trim(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

std::vector<PortFields> parsePorts(const std::string& text) {
  std::vector<PortFields> ports;
  std::istringstream lines(text);
  std::string line;
  std::string key;
  while (std::getline(lines, line)) {
    const std::string t = trim(line);
    if (t.rfind("Port ", 0) == 0 && t.back() == ':') {
      ports.emplace_back();
      key.clear();
      continue;
    }
    if (ports.empty() || t.empty()) continue;
    const auto colon = t.find(':');
    const bool newKey = colon != std::string::npos && colon > 0 &&
                        t.find(' ') > colon && t.rfind("http", 0) != 0;
    if (newKey) {
      key = t.substr(0, colon);
      ports.back()[key].push_back(trim(t.substr(colon + 1)));
    } else if (!key.empty()) {
      ports.back()[key].push_back(t);
    }
  }
  return ports;
}

double number(const PortFields& port, const std::string& key) {
  const auto it = port.find(key);
  return it == port.end() || it->second.empty() ? NAN : std::strtod(it->second[0].c_str(), nullptr);
}

std::string field(const PortFields& port, const std::string& key) {
  const auto it = port.find(key);
  return it == port.end() || it->second.empty() ? "" : it->second[0];
}

bool hasValue(const PortFields& port, const std::string& key, const std::string& value) {
  const auto it = port.find(key);
  return it != port.end() && std::find(it->second.begin(), it->second.end(), value) != it->second.end();
}

bool writeWav(const fs::path& path, const std::vector<std::vector<float>>& channels, int rate) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = static_cast<int>(channels.size());
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return false;
  const size_t frames = channels[0].size();
  std::vector<float> interleaved(frames * channels.size());
  for (size_t i = 0; i < frames; ++i)
    for (size_t c = 0; c < channels.size(); ++c) interleaved[i * channels.size() + c] = channels[c][i];
  const bool ok = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames)) ==
                  static_cast<sf_count_t>(frames);
  sf_close(file);
  return ok;
}

std::vector<std::vector<float>> readWav(const fs::path& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) return {};
  std::vector<float> interleaved(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(file, interleaved.data(), info.frames);
  sf_close(file);
  std::vector<std::vector<float>> channels(static_cast<size_t>(info.channels));
  for (sf_count_t i = 0; i < info.frames; ++i)
    for (int c = 0; c < info.channels; ++c)
      channels[static_cast<size_t>(c)].push_back(interleaved[static_cast<size_t>(i * info.channels + c)]);
  return channels;
}

bool isSwitch(int paramIdx) {
  static const auto plugin = plumbrook::MakePlugin();
  return plugin->GetParam(paramIdx)->Type() == plugkit::Param::kTypeBool;
}

int paramIndex(const std::string& symbol) {
  for (int i = 0; i < plumbrook::kNumParams; ++i)
    if (plumbrook::kParamSymbols[static_cast<size_t>(i)] == symbol) return i;
  return -1;
}

using Settings = std::vector<std::pair<std::string, double>>;

// lv2apply runs the plug-in one frame per call, and so does this reference.
std::vector<std::vector<float>> renderOffline(const std::vector<std::vector<float>>& input,
                                              const Settings& settings, int rate) {
  const int channels = static_cast<int>(input.size());
  OfflineHost::Options options;
  options.sampleRate = rate;
  options.inputs = options.outputs = channels;
  options.blockSize = 1;
  std::string error;
  auto host = OfflineHost::create(options, error);
  EXPECT_TRUE(host) << error;
  if (!host) return {};
  for (const auto& [symbol, value] : settings) host->setParameter(paramIndex(symbol), static_cast<float>(value));
  host->plugin().prepareAtCurrentSettings();  // as an activated instance starts
  std::vector<std::vector<double>> in(input.size()), out(input.size());
  std::vector<const double*> inPtr;
  std::vector<double*> outPtr;
  for (size_t c = 0; c < input.size(); ++c) {
    in[c].assign(input[c].begin(), input[c].end());
    out[c].assign(input[c].size(), 0.0);
    inPtr.push_back(in[c].data());
    outPtr.push_back(out[c].data());
  }
  host->process(inPtr, outPtr, static_cast<int64_t>(input[0].size()));
  std::vector<std::vector<float>> result(input.size());
  for (size_t c = 0; c < input.size(); ++c)
    for (double x : out[c]) result[c].push_back(static_cast<float>(x));
  return result;
}

}  // namespace

TEST(lv2_tools, lv2ls_lists_both_plugins) {
  if (!haveTool("lv2ls")) GTEST_SKIP() << "lv2ls not installed";
  const fs::path dir = scratchDir();
  const CommandResult run = runTool("lv2ls", {}, dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, std::string(plumbrook::lv2::kMonoUri) + "\n" + std::string(plumbrook::lv2::kStereoUri) + "\n");
  EXPECT_EQ(run.err, "");
}

TEST(lv2_tools, lv2info_shows_every_port_as_the_parameter_table_defines_it) {
  if (!haveTool("lv2info")) GTEST_SKIP() << "lv2info not installed";
  const fs::path dir = scratchDir();
  const auto plugin = plumbrook::MakePlugin();
  for (const plumbrook::lv2::Variant& variant : plumbrook::lv2::kVariants) {
    SCOPED_TRACE(std::string(variant.uri));
    const CommandResult run = runTool("lv2info", {std::string(variant.uri)}, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "") << "lilv reported problems with the turtle";
    EXPECT_NE(run.out.find("Name:              " + std::string(variant.name)), std::string::npos);
    EXPECT_NE(run.out.find("Has latency:       yes, reported by port " +
                           std::to_string(plumbrook::lv2::latencyPort(variant.channels))),
              std::string::npos);

    const int ch = variant.channels;
    const std::vector<PortFields> ports = parsePorts(run.out);
    ASSERT_EQ(ports.size(), plumbrook::lv2::portCount(ch));
    for (int c = 0; c < ch; ++c) {
      const PortFields& in = ports[plumbrook::lv2::audioInPort(ch, c)];
      const PortFields& out = ports[plumbrook::lv2::audioOutPort(ch, c)];
      EXPECT_TRUE(hasValue(in, "Type", LV2_CORE__AudioPort) && hasValue(in, "Type", LV2_CORE__InputPort));
      EXPECT_TRUE(hasValue(out, "Type", LV2_CORE__AudioPort) && hasValue(out, "Type", LV2_CORE__OutputPort));
      EXPECT_EQ(field(in, "Symbol"), variant.inputSymbols[static_cast<size_t>(c)]);
      EXPECT_EQ(field(out, "Symbol"), variant.outputSymbols[static_cast<size_t>(c)]);
    }
    for (int i = 0; i < plumbrook::kNumParams; ++i) {
      const plugkit::Param& param = *plugin->GetParam(i);
      const PortFields& port = ports[plumbrook::lv2::paramPort(ch, i)];
      SCOPED_TRACE(param.GetName());
      EXPECT_TRUE(hasValue(port, "Type", LV2_CORE__ControlPort) && hasValue(port, "Type", LV2_CORE__InputPort));
      EXPECT_EQ(field(port, "Symbol"), plumbrook::kParamSymbols[static_cast<size_t>(i)]);
      EXPECT_EQ(field(port, "Name"), param.GetName());
      EXPECT_NEAR(number(port, "Minimum"), param.GetMin(), 1e-6);
      EXPECT_NEAR(number(port, "Maximum"), param.GetMax(), 1e-6);
      EXPECT_NEAR(number(port, "Default"), param.GetDefault(), 1e-6);
      const bool isBool = param.Type() == plugkit::Param::kTypeBool;
      EXPECT_EQ(hasValue(port, "Properties", LV2_CORE__toggled), isBool);
      EXPECT_EQ(hasValue(port, "Properties", LV2_CORE__integer), isBool);
    }
    const PortFields& latency = ports[plumbrook::lv2::latencyPort(ch)];
    EXPECT_EQ(field(latency, "Symbol"), "latency");
    EXPECT_TRUE(hasValue(latency, "Type", LV2_CORE__OutputPort));
    EXPECT_EQ(field(latency, "Designation"), LV2_CORE__latency);
    EXPECT_TRUE(hasValue(latency, "Properties", LV2_CORE__reportsLatency));
    const PortFields& enabled = ports[plumbrook::lv2::enabledPort(ch)];
    EXPECT_EQ(field(enabled, "Symbol"), "enabled");
    EXPECT_EQ(field(enabled, "Designation"), LV2_CORE__enabled);
    EXPECT_EQ(number(enabled, "Default"), 1.0);
    EXPECT_TRUE(hasValue(enabled, "Properties", LV2_CORE__toggled));
  }
}

TEST(lv2_tools, turtle_passes_sord_validate) {
  if (!haveTool("sord_validate")) GTEST_SKIP() << "sord_validate is not installed (Debian package sordi)";
  const fs::path dir = scratchDir();
  const std::string bundle = plumbrook::test::lv2Bundle();
  std::vector<std::string> args;
  // The LV2 vocabulary bundles only (they carry no binary); installed plug-ins have their own faults.
  for (const char* root : {"/usr/lib/lv2", "/usr/lib/x86_64-linux-gnu/lv2"}) {
    if (!fs::exists(root)) continue;
    for (const auto& bundleDir : fs::directory_iterator(root)) {
      bool hasBinary = false;
      for (const auto& entry : fs::directory_iterator(bundleDir.path()))
        hasBinary = hasBinary || entry.path().extension() == ".so";
      if (hasBinary) continue;
      for (const auto& entry : fs::recursive_directory_iterator(bundleDir.path()))
        if (entry.path().extension() == ".ttl") args.push_back(entry.path().string());
    }
  }
  args.push_back(bundle + "manifest.ttl");
  args.push_back(bundle + "plumbrook.ttl");
  const CommandResult run = runTool("sord_validate", args, dir);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
}

TEST(lv2_tools, lv2apply_renders_as_the_offline_host_does) {
  if (!haveTool("lv2apply")) GTEST_SKIP() << "lv2apply not installed";
  const fs::path dir = scratchDir();
  const int rate = 48000;
  const int frames = rate / 2;
  struct Case {
    std::string uri;
    int channels;
    Settings settings;
  };
  const std::vector<Case> cases = {
      {std::string(plumbrook::lv2::kStereoUri), 2,
       {{"gain", 4.5}, {"amount", 180}, {"threshold", -10}, {"true_peak", 1}, {"eq_low", 2.5}, {"eq_high", -1.5}}},
      {std::string(plumbrook::lv2::kStereoUri), 2, {{"lookahead", 1}, {"width_active", 0}, {"ceiling", -3}}},
      {std::string(plumbrook::lv2::kMonoUri), 1,
       {{"gain", -2}, {"eq_mid", 3}, {"lookahead", 1}, {"threshold", -6}, {"limiter_active", 1}}},
      {std::string(plumbrook::lv2::kMonoUri), 1, {{"bypass", 1}, {"gain", 6}}},
  };
  for (size_t k = 0; k < cases.size(); ++k) {
    const Case& test = cases[k];
    SCOPED_TRACE(test.uri + " case " + std::to_string(k));
    std::vector<std::vector<float>> input;
    for (int c = 0; c < test.channels; ++c) input.push_back(plumbrook::test::musicLike(31, c, frames, rate));
    const fs::path in = dir / ("in" + std::to_string(k) + ".wav");
    const fs::path out = dir / ("out" + std::to_string(k) + ".wav");
    ASSERT_TRUE(writeWav(in, input, rate));
    std::vector<std::string> args = {"-i", in.string(), "-o", out.string()};
    for (const auto& [symbol, value] : test.settings) args.insert(args.end(), {"-c", symbol, std::to_string(value)});
    args.push_back(test.uri);
    const CommandResult run = runTool("lv2apply", args, dir);
    ASSERT_EQ(run.status, 0) << run.out << run.err;

    const auto rendered = readWav(out);
    const auto reference = renderOffline(input, test.settings, rate);
    ASSERT_EQ(rendered.size(), input.size());
    // lv2apply does not compensate latency and neither does the offline host, so the
    // files line up frame for frame; only the float conversion may differ.
    for (size_t c = 0; c < input.size(); ++c) {
      ASSERT_EQ(rendered[c].size(), reference[c].size());
      double largest = 0.0;
      size_t where = 0;
      for (size_t i = 0; i < rendered[c].size(); ++i) {
        const double d = std::fabs(static_cast<double>(rendered[c][i]) - reference[c][i]);
        if (d > largest) largest = d, where = i;
      }
      EXPECT_LE(largest, 1e-6) << "channel " << c << " frame " << where;
    }

    // The command-line renderer, same settings and block size, compensates the latency that
    // lv2apply leaves in: after that shift the two files agree sample for sample.
    const fs::path cli = dir / ("cli" + std::to_string(k) + ".wav");
    std::vector<std::string> render = {"render", in.string(), "-o", cli.string(), "--block", "1", "--quiet",
                                       "--no-report"};
    bool delayed = false;
    for (const auto& [symbol, value] : test.settings) {
      const bool toggle = isSwitch(paramIndex(symbol));
      render.insert(render.end(), {"--set", symbol + "=" + (toggle ? (value >= 0.5 ? "on" : "off") : std::to_string(value))});
      delayed = delayed || ((symbol == "lookahead" || symbol == "true_peak") && value >= 0.5);
    }
    const CommandResult cliRun = runTool(plumbrook::test::plumbrookPath(), render, dir);
    ASSERT_EQ(cliRun.status, 0) << cliRun.out << cliRun.err;
    const auto fromCli = readWav(cli);
    const size_t latency = delayed ? static_cast<size_t>(quillfen::dsp::Limiter::latencyForRate(rate)) : 0;
    ASSERT_EQ(fromCli.size(), rendered.size());
    for (size_t c = 0; c < rendered.size(); ++c) {
      ASSERT_EQ(fromCli[c].size(), rendered[c].size());
      for (size_t i = 0; i + latency < rendered[c].size(); ++i)
        ASSERT_EQ(fromCli[c][i], rendered[c][i + latency]) << "channel " << c << " frame " << i;
    }
  }
}
