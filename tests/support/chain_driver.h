// Drives a plug-in through the offline host block by block on planar stereo buffers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/offline/offline_host.h"

namespace plumbrook::test {

struct Planar {
  std::vector<std::vector<double>> channels;
  Planar() = default;
  Planar(int nChannels, int frames) : channels(static_cast<size_t>(nChannels), std::vector<double>(static_cast<size_t>(frames))) {}
  int frames() const { return channels.empty() ? 0 : static_cast<int>(channels[0].size()); }
  std::vector<double>& operator[](int c) { return channels[static_cast<size_t>(c)]; }
  const std::vector<double>& operator[](int c) const { return channels[static_cast<size_t>(c)]; }
};

/// Creates an offline host or fails the test.
std::unique_ptr<offline::OfflineHost> makeHost(double sampleRate = 48000.0, int channels = 2,
                                               int blockSize = 256, bool renderingOffline = true);

/// Renders a whole signal through the host in its block size; returns the output.
Planar render(offline::OfflineHost& host, const Planar& input);

/// An impulse of the given height at one frame, on every channel.
Planar impulse(int nChannels, int frames, int at, double height);

/// Index of the largest magnitude sample of a channel.
int peakIndex(const std::vector<double>& x);

}  // namespace plumbrook::test
