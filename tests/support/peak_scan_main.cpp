// plumbrook_peak_scan: prints the 8x true peak of audio files and, with --over DB, how many 10 ms
// stretches reach above that level. For measuring renders by hand.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/audio_io.h"
#include "tests/support/oversampled_peak_scan.h"

int main(int argc, char** argv) {
  double over = 0.0;
  bool counting = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--over" && i + 1 < argc) {
      over = std::atof(argv[++i]);
      counting = true;
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: plumbrook_peak_scan [--over DB] FILE...\n");
    return 2;
  }
  const plumbrook::test::OversampledPeakScan scan;
  int status = 0;
  for (const std::string& file : files) {
    const plumbrook::test::Audio audio = plumbrook::test::readAudio(file);
    if (audio.channels == 0) {
      std::fprintf(stderr, "%s: cannot read\n", file.c_str());
      status = 1;
      continue;
    }
    std::vector<std::vector<double>> channels;
    for (int c = 0; c < audio.channels; ++c) channels.push_back(audio.channel(c));
    std::printf("%s: %+.3f dBTP", file.c_str(), scan.peakDb(channels));
    if (counting) std::printf(", %d windows of 10 ms above %+.2f dB", scan.windowsAbove(channels, audio.sampleRate, over), over);
    std::printf("\n");
  }
  return status;
}
