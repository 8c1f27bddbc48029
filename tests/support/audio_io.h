// Audio files and loudness for tests: write and read files through libsndfile, measure with
// libebur128.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plumbrook::test {

struct Audio {
  int channels = 0;      // 0 when a read failed
  int sampleRate = 0;
  int format = 0;        // libsndfile format code
  std::vector<double> samples;  // interleaved
  int64_t frames() const { return channels > 0 ? static_cast<int64_t>(samples.size()) / channels : 0; }
  /// One channel as its own vector.
  std::vector<double> channel(int c) const;
};

/// Interleaves equally long channels.
Audio makeAudio(const std::vector<std::vector<double>>& channels, int sampleRate);

/// Writes a file in the given libsndfile format (integer formats get libsndfile's own rounding).
/// False on failure.
bool writeAudio(const std::string& path, const Audio& audio, int format);

/// Reads a whole file; channels == 0 when it cannot be read.
Audio readAudio(const std::string& path);

/// Reads audio from the bytes of a file (e.g. captured standard output).
Audio readAudioBytes(const std::string& bytes);

/// The whole file's bytes, or empty.
std::string fileBytes(const std::string& path);

/// Integrated loudness (LUFS) and largest true peak (dBTP) by libebur128.
double integratedLufs(const Audio& audio);
double truePeakDb(const Audio& audio);

}  // namespace plumbrook::test
