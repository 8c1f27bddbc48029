// Plug-in settings from the command line.
#include "apps/settings.h"

#include <cstdio>
#include <limits>

#include "apps/preset_lookup.h"
#include "editor/typed_value.h"
#include "files/files.h"
#include "platform/offline/offline_host.h"


namespace plumbrook::cli {
namespace {

std::string folded(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '-') c = '_';
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

constexpr std::uintmax_t kMaxStateBytes = 16u << 20;

std::string inQuotes(const std::string& text) { return "'" + text + "'"; }

std::string shortNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

int findParameter(const Plumbrook& plugin, const std::string& name) {
  const std::string wanted = folded(name);
  if (wanted.empty()) return -1;
  for (int i = 0; i < plugin.NParams(); ++i) {
    if (wanted == folded(std::string(kParamSymbols[static_cast<size_t>(i)])) ||
        wanted == folded(plugin.GetParam(i)->GetName()))
      return i;
  }
  return -1;
}

bool parseParameterValue(const Plumbrook& plugin, int paramIdx, const std::string& text, double& value,
                         std::string& error, double* clampedFrom) {
  const plugkit::Param& param = *plugin.GetParam(paramIdx);
  if (param.Type() == plugkit::Param::kTypeBool) {
    std::string offText, onText;
    param.GetDisplay(0.0, false, offText);
    param.GetDisplay(1.0, false, onText);
    const std::string given = folded(text);
    if (given == folded(onText)) value = 1.0;
    else if (given == folded(offText)) value = 0.0;
    else {
      error = inQuotes(text) + " is not a setting of " + param.GetName() + " (use " + onText + " or " + offText + ")";
      return false;
    }
    return true;
  }
  constexpr double kWide = std::numeric_limits<double>::max();
  const auto typed = quillfen::controls::parseTypedValue(text, -kWide, kWide, false);
  if (!typed) {
    error = inQuotes(text) + " is not a number";
    return false;
  }
  value = quillfen::controls::parseTypedValue(text, param.GetMin(), param.GetMax(), false).value_or(*typed);
  if (clampedFrom && value != *typed) *clampedFrom = *typed;
  return true;
}

bool Settings::addSet(const Plumbrook& plugin, const std::string& argument, std::string& error) {
  const size_t equals = argument.find('=');
  if (equals == std::string::npos) {
    error = "--set " + inQuotes(argument) + ": expected NAME=VALUE, e.g. --set ceiling=-1";
    return false;
  }
  const std::string name = argument.substr(0, equals);
  const std::string text = argument.substr(equals + 1);
  const int index = findParameter(plugin, name);
  if (index < 0) {
    error = "--set " + inQuotes(argument) + ": unknown parameter " + inQuotes(name) +
            " (see 'plumbrook params' for names and symbols)";
    return false;
  }
  double value = 0.0;
  double typed = std::numeric_limits<double>::quiet_NaN();
  std::string why;
  if (!parseParameterValue(plugin, index, text, value, why, &typed)) {
    error = "--set " + inQuotes(argument) + ": " + why;
    return false;
  }
  if (typed == typed) {
    const plugkit::Param& param = *plugin.GetParam(index);
    notes_.push_back(std::string(param.GetName()) + " " + shortNumber(typed) + " is outside " +
                     shortNumber(param.GetMin()) + " .. " + shortNumber(param.GetMax()) + "; using " +
                     shortNumber(value));
  }
  steps_.push_back({Step::kSet, argument, index, value});
  return true;
}

bool Settings::apply(Plumbrook& plugin, std::string& error) const {
  for (const Step& step : steps_) {
    switch (step.kind) {
      case Step::kSet:
        plugin.SetParameterFromHost(step.paramIdx, step.value);
        break;

      case Step::kPreset:
        if (!applyPreset(plugin, step.argument, error)) return false;
        break;

      case Step::kState: {
        const std::string name = "--state " + inQuotes(step.argument);
        quillfen::files::ReadResult read = quillfen::files::readCapped(step.argument, kMaxStateBytes);
        if (read.problem == quillfen::files::ReadProblem::tooLarge) {
          error = name + ": too large to be a saved state";
          return false;
        }
        if (!read) {
          error = name + ": " + read.reason;
          return false;
        }
        const std::vector<uint8_t> bytes(read.bytes.begin(), read.bytes.end());
        int32_t tag = 0;
        const plugkit::ByteChunk chunk(bytes.data(), static_cast<int>(bytes.size()));
        if (chunk.Get(&tag, 0) < 0 || tag != kStateTag) {
          error = name + ": it does not hold a Plumbrook state";
          return false;
        }
        if (!plugin.RestoreStateChunk(chunk)) {
          error = name + ": its state is damaged";
          return false;
        }
        break;
      }
    }
  }
  return true;
}

std::vector<double> parameterValues(const Plumbrook& plugin) {
  std::vector<double> values;
  for (int i = 0; i < plugin.NParams(); ++i) values.push_back(plugin.GetParam(i)->Value());
  return values;
}

}  // namespace plumbrook::cli
