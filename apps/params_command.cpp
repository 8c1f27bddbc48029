// `plumbrook params`: the parameter table as the plug-in shows it.
#include <cstdio>

#include "apps/commands.h"
#include "apps/console_surface.h"
#include "platform/offline/offline_host.h"

namespace plumbrook::cli {
namespace {

const char* unitName(const plugkit::Param& param) {
  if (param.Type() == plugkit::Param::kTypeBool) return "switch";
  switch (param.Unit()) {
    case plugkit::Param::kUnitDB: return "dB";
    case plugkit::Param::kUnitPercentage: return "%";
    default: return "-";
  }
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

int runParams(const Args& args) {
  if (!args.empty()) {
    std::fprintf(stderr, "plumbrook params: unexpected argument '%s'\n%s", terminalSafe(args[0]).c_str(), usage());
    return 2;
  }
  std::string error;
  auto host = offline::OfflineHost::create({}, error);
  if (!host) {
    std::fprintf(stderr, "plumbrook params: %s\n", terminalSafe(error).c_str());
    return 1;
  }
  const Plumbrook& plugin = host->plugin();
  std::printf("%-3s %-18s %-14s %-8s %-22s %-7s %s\n", "#", "name", "symbol", "unit", "range", "default",
              "shows");
  for (int i = 0; i < plugin.NParams(); ++i) {
    const plugkit::Param& param = *plugin.GetParam(i);
    std::string shown;
    param.GetDisplay(param.GetDefault(), false, shown);
    const std::string range = number(param.GetMin()) + " .. " + number(param.GetMax());
    std::printf("%-3d %-18s %-14s %-8s %-22s %-7s %s\n", i, param.GetName(),
                std::string(kParamSymbols[static_cast<size_t>(i)]).c_str(), unitName(param), range.c_str(),
                number(param.GetDefault()).c_str(), shown.c_str());
  }
  return 0;
}

}  // namespace plumbrook::cli
