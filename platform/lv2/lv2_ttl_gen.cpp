// Build-time generator of the bundle's turtle files from the plug-in's own parameter table.
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/units/units.h>
#include <lv2/urid/urid.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "plugin/plumbrook.h"
#include "platform/lv2/lv2_ports.h"

namespace {

using plumbrook::lv2::Variant;

// A turtle decimal literal that reads back as exactly this double.
std::string decimal(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  std::string out(text, result.ptr);
  if (out.find('.') == std::string::npos) out += ".0";
  return out;
}

// Escapes a turtle string literal.
std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

void writeAudioPort(std::ostream& out, uint32_t index, bool input, std::string_view symbol,
                    std::string_view name) {
  out << "    [\n"
      << "      a lv2:AudioPort, " << (input ? "lv2:InputPort" : "lv2:OutputPort") << " ;\n"
      << "      lv2:index " << index << " ;\n"
      << "      lv2:symbol " << quoted(symbol) << " ;\n"
      << "      lv2:name " << quoted(name) << " ;\n"
      << "    ]";
}

void writeParamPort(std::ostream& out, uint32_t index, int paramIdx, const plugkit::Param& param) {
  out << "    [\n"
      << "      a lv2:InputPort, lv2:ControlPort ;\n"
      << "      lv2:index " << index << " ;\n"
      << "      lv2:symbol " << quoted(plumbrook::kParamSymbols[static_cast<size_t>(paramIdx)]) << " ;\n"
      << "      lv2:name " << quoted(param.GetName()) << " ;\n";
  if (param.Type() == plugkit::Param::kTypeBool) {
    out << "      lv2:default " << (param.GetDefault() >= 0.5 ? 1 : 0) << " ;\n"
        << "      lv2:minimum 0 ;\n"
        << "      lv2:maximum 1 ;\n"
        << "      lv2:portProperty lv2:toggled, lv2:integer ;\n";
  } else {
    out << "      lv2:default " << decimal(param.GetDefault()) << " ;\n"
        << "      lv2:minimum " << decimal(param.GetMin()) << " ;\n"
        << "      lv2:maximum " << decimal(param.GetMax()) << " ;\n";
    if (param.Unit() == plugkit::Param::kUnitDB) out << "      units:unit units:db ;\n";
    else if (param.Unit() == plugkit::Param::kUnitPercentage) out << "      units:unit units:pc ;\n";
  }
  out << "    ]";
}

void writePlugin(std::ostream& out, const Variant& variant, const Plumbrook& plugin) {
  const int channels = variant.channels;
  out << "<" << variant.uri << ">\n"
      << "  a lv2:Plugin, lv2:LimiterPlugin, doap:Project ;\n"
      << "  doap:name " << quoted(variant.name) << " ;\n"
      << "  doap:maintainer [ foaf:name " << quoted(plugin.GetConfig().mfrName) << " ] ;\n"
      << "  lv2:minorVersion " << ((plugin.GetConfig().vendorVersion >> 8) & 0xff) << " ;\n"
      << "  lv2:microVersion " << (plugin.GetConfig().vendorVersion & 0xff) << " ;\n"
      << "  lv2:optionalFeature lv2:hardRTCapable, urid:map ;\n"
      << "  lv2:extensionData state:interface ;\n"
      << "  lv2:port\n";
  for (int c = 0; c < channels; ++c) {
    writeAudioPort(out, plumbrook::lv2::audioInPort(channels, c), true,
                   variant.inputSymbols[static_cast<size_t>(c)], variant.inputNames[static_cast<size_t>(c)]);
    out << " ,\n";
  }
  for (int c = 0; c < channels; ++c) {
    writeAudioPort(out, plumbrook::lv2::audioOutPort(channels, c), false,
                   variant.outputSymbols[static_cast<size_t>(c)], variant.outputNames[static_cast<size_t>(c)]);
    out << " ,\n";
  }
  for (int i = 0; i < plumbrook::kNumParams; ++i) {
    writeParamPort(out, plumbrook::lv2::paramPort(channels, i), i, *plugin.GetParam(i));
    out << " ,\n";
  }
  out << "    [\n"
      << "      a lv2:OutputPort, lv2:ControlPort ;\n"
      << "      lv2:index " << plumbrook::lv2::latencyPort(channels) << " ;\n"
      << "      lv2:symbol " << quoted(plumbrook::lv2::kLatencySymbol) << " ;\n"
      << "      lv2:name \"Latency\" ;\n"
      << "      lv2:designation lv2:latency ;\n"
      << "      lv2:minimum 0 ;\n"
      << "      lv2:maximum " << plugkit::AudioProcessor::kMaxPassThroughDelay << " ;\n"
      << "      lv2:portProperty lv2:reportsLatency, lv2:integer ;\n"
      << "      units:unit units:frame ;\n"
      << "    ] ,\n"
      << "    [\n"
      << "      a lv2:InputPort, lv2:ControlPort ;\n"
      << "      lv2:index " << plumbrook::lv2::enabledPort(channels) << " ;\n"
      << "      lv2:symbol " << quoted(plumbrook::lv2::kEnabledSymbol) << " ;\n"
      << "      lv2:name \"Enabled\" ;\n"
      << "      lv2:designation lv2:enabled ;\n"
      << "      lv2:default 1 ;\n"
      << "      lv2:minimum 0 ;\n"
      << "      lv2:maximum 1 ;\n"
      << "      lv2:portProperty lv2:toggled, lv2:integer ;\n"
      << "    ] .\n\n";
}

const char* kPrefixes =
    "@prefix atom: <" LV2_ATOM_PREFIX "> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <" LV2_CORE_PREFIX "> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <" LV2_STATE_PREFIX "> .\n"
    "@prefix units: <" LV2_UNITS_PREFIX "> .\n"
    "@prefix urid: <" LV2_URID_PREFIX "> .\n\n";

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) {
    std::cerr << "plumbrook_lv2_ttl: cannot write " << path << "\n";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: plumbrook_lv2_ttl BUNDLE_DIR BINARY_FILE_NAME UI_BINARY_FILE_NAME\n";
    return 2;
  }
  const std::string dir = argv[1];
  const std::string binary = argv[2];
  const std::string uiBinary = argv[3];
  const auto plugin = plumbrook::MakePlugin();

  std::ostringstream manifest;
  manifest << "@prefix lv2: <" LV2_CORE_PREFIX "> .\n"
           << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
           << "@prefix ui: <" LV2_UI_PREFIX "> .\n\n";
  for (const Variant& variant : plumbrook::lv2::kVariants) {
    manifest << "<" << variant.uri << ">\n"
             << "  a lv2:Plugin ;\n"
             << "  lv2:binary <" << binary << "> ;\n"
             << "  ui:ui <" << plumbrook::lv2::kUiUri << "> ;\n"
             << "  rdfs:seeAlso <plumbrook.ttl> .\n\n";
  }
  // Without instance access or a parent window to embed in, a host keeps its generic controls.
  manifest << "<" << plumbrook::lv2::kUiUri << ">\n"
           << "  a ui:X11UI ;\n"
           << "  ui:binary <" << uiBinary << "> ;\n"
           << "  lv2:requiredFeature ui:parent, <" LV2_INSTANCE_ACCESS_URI "> ;\n"
           << "  lv2:optionalFeature ui:resize, ui:touch, <" LV2_OPTIONS__options ">, <" LV2_URID__map "> ;\n"
           << "  lv2:extensionData ui:idleInterface, ui:showInterface, ui:resize .\n";

  std::ostringstream description;
  description << kPrefixes;
  description << "<" << plumbrook::lv2::kStateKeyUri << ">\n"
              << "  a lv2:Parameter ;\n"
              << "  rdfs:label \"Plumbrook state\" ;\n"
              << "  rdfs:range atom:Chunk .\n\n";
  for (const Variant& variant : plumbrook::lv2::kVariants) writePlugin(description, variant, *plugin);

  return writeFile(dir + "/manifest.ttl", manifest.str()) &&
                 writeFile(dir + "/plumbrook.ttl", description.str())
             ? 0
             : 1;
}
