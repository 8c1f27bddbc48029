// Channel I/O text parsing.
#include "core/channel_io.h"

#include <algorithm>
#include <charconv>

namespace plugkit {
namespace {

bool parseSide(std::string_view side, std::vector<int>& buses) {
  while (!side.empty()) {
    const size_t dot = side.find('.');
    const std::string_view item = side.substr(0, dot);
    if (item == "*") {
      buses.push_back(kAnyChannels);
    } else {
      int count = 0;
      const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), count);
      if (error != std::errc() || end != item.data() + item.size() || count < 0) return false;
      if (count > 0) buses.push_back(count);
    }
    if (dot == std::string_view::npos) break;
    side.remove_prefix(dot + 1);
  }
  return true;
}

}  // namespace

int IOConfig::totalChannels(ERoute route) const {
  const std::vector<int>& buses = route == kInput ? inputBuses : outputBuses;
  int total = 0;
  for (int count : buses) total += count == kAnyChannels ? 0 : count;
  return total;
}

bool ChannelIO::legal(int nIn, int nOut) const {
  auto matches = [](const std::vector<int>& buses, int n) {
    int fixed = 0;
    bool any = false;
    for (int count : buses) {
      if (count == kAnyChannels) any = true;
      else fixed += count;
    }
    return any ? n >= fixed : n == fixed;
  };
  return std::any_of(configs.begin(), configs.end(), [&](const IOConfig& c) {
    return matches(c.inputBuses, nIn) && matches(c.outputBuses, nOut);
  });
}

ChannelIO ParseChannelIO(std::string_view text) {
  ChannelIO io;
  while (!text.empty()) {
    const size_t space = text.find(' ');
    const std::string_view item = text.substr(0, space);
    const size_t dash = item.find('-');
    IOConfig config;
    if (!item.empty() && dash != std::string_view::npos &&
        parseSide(item.substr(0, dash), config.inputBuses) &&
        parseSide(item.substr(dash + 1), config.outputBuses)) {
      io.maxInputChannels = std::max(io.maxInputChannels, config.totalChannels(kInput));
      io.maxOutputChannels = std::max(io.maxOutputChannels, config.totalChannels(kOutput));
      io.maxInputBuses = std::max(io.maxInputBuses, static_cast<int>(config.inputBuses.size()));
      io.maxOutputBuses = std::max(io.maxOutputBuses, static_cast<int>(config.outputBuses.size()));
      io.configs.push_back(std::move(config));
    }
    if (space == std::string_view::npos) break;
    text.remove_prefix(space + 1);
  }
  return io;
}

}  // namespace plugkit
