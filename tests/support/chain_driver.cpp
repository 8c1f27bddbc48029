// Offline-host helpers for chain tests.
#include "tests/support/chain_driver.h"

#include <gtest/gtest.h>

#include <cmath>

namespace plumbrook::test {

std::unique_ptr<offline::OfflineHost> makeHost(double sampleRate, int channels, int blockSize,
                                               bool renderingOffline) {
  std::string error;
  auto host = offline::OfflineHost::create({sampleRate, channels, channels, blockSize, renderingOffline}, error);
  EXPECT_TRUE(host) << error;
  return host;
}

Planar render(offline::OfflineHost& host, const Planar& input) {
  Planar output(static_cast<int>(input.channels.size()), input.frames());
  std::vector<const double*> in;
  std::vector<double*> out;
  for (size_t c = 0; c < input.channels.size(); ++c) {
    in.push_back(input.channels[c].data());
    out.push_back(output.channels[c].data());
  }
  host.process(in, out, input.frames());
  return output;
}

Planar impulse(int nChannels, int frames, int at, double height) {
  Planar p(nChannels, frames);
  for (auto& ch : p.channels) ch[static_cast<size_t>(at)] = height;
  return p;
}

int peakIndex(const std::vector<double>& x) {
  int best = 0;
  for (size_t i = 0; i < x.size(); ++i)
    if (std::fabs(x[i]) > std::fabs(x[static_cast<size_t>(best)])) best = static_cast<int>(i);
  return best;
}

}  // namespace plumbrook::test
