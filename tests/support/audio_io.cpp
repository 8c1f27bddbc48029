// Audio files and loudness for tests.
#include "tests/support/audio_io.h"

#include <ebur128.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace plumbrook::test {
namespace {

struct ByteReader {
  const std::string* bytes;
  sf_count_t position = 0;
};

sf_count_t length(void* self) { return static_cast<sf_count_t>(static_cast<ByteReader*>(self)->bytes->size()); }
sf_count_t seek(sf_count_t offset, int whence, void* self) {
  auto& r = *static_cast<ByteReader*>(self);
  const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? r.position : static_cast<sf_count_t>(r.bytes->size());
  r.position = base + offset;
  return r.position;
}
sf_count_t readBytes(void* out, sf_count_t count, void* self) {
  auto& r = *static_cast<ByteReader*>(self);
  const sf_count_t n = std::clamp<sf_count_t>(static_cast<sf_count_t>(r.bytes->size()) - r.position, 0, count);
  std::memcpy(out, r.bytes->data() + r.position, static_cast<size_t>(n));
  r.position += n;
  return n;
}
sf_count_t writeBytes(const void*, sf_count_t, void*) { return 0; }
sf_count_t tell(void* self) { return static_cast<ByteReader*>(self)->position; }

Audio readAll(SNDFILE* file, const SF_INFO& info) {
  Audio audio;
  if (!file) return audio;
  audio.channels = info.channels;
  audio.sampleRate = info.samplerate;
  audio.format = info.format;
  std::vector<double> block(4096 * static_cast<size_t>(info.channels));
  sf_count_t n = 0;
  while ((n = sf_readf_double(file, block.data(), 4096)) > 0)
    audio.samples.insert(audio.samples.end(), block.begin(), block.begin() + n * info.channels);
  sf_close(file);
  return audio;
}

ebur128_state* measure(const Audio& audio, int mode) {
  ebur128_state* state = ebur128_init(static_cast<unsigned>(audio.channels), static_cast<unsigned long>(audio.sampleRate), mode);
  if (state && audio.channels == 1) ebur128_set_channel(state, 0, EBUR128_CENTER);
  if (state) ebur128_add_frames_double(state, audio.samples.data(), static_cast<size_t>(audio.frames()));
  return state;
}

}  // namespace

std::vector<double> Audio::channel(int c) const {
  std::vector<double> out;
  for (int64_t i = 0; i < frames(); ++i) out.push_back(samples[static_cast<size_t>(i * channels + c)]);
  return out;
}

Audio makeAudio(const std::vector<std::vector<double>>& channels, int sampleRate) {
  Audio audio;
  audio.channels = static_cast<int>(channels.size());
  audio.sampleRate = sampleRate;
  const size_t frames = channels.empty() ? 0 : channels[0].size();
  for (size_t i = 0; i < frames; ++i)
    for (const auto& ch : channels) audio.samples.push_back(ch[i]);
  return audio;
}

bool writeAudio(const std::string& path, const Audio& audio, int format) {
  SF_INFO info{};
  info.channels = audio.channels;
  info.samplerate = audio.sampleRate;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return false;
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const sf_count_t written = sf_writef_double(file, audio.samples.data(), audio.frames());
  return sf_close(file) == 0 && written == audio.frames();
}

Audio readAudio(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  return readAll(file, info);
}

Audio readAudioBytes(const std::string& bytes) {
  ByteReader reader{&bytes};
  SF_VIRTUAL_IO io{length, seek, readBytes, writeBytes, tell};
  SF_INFO info{};
  SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &reader);
  return readAll(file, info);
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double integratedLufs(const Audio& audio) {
  ebur128_state* state = measure(audio, EBUR128_MODE_I);
  double value = -HUGE_VAL;
  if (state) {
    ebur128_loudness_global(state, &value);
    ebur128_destroy(&state);
  }
  return value;
}

double truePeakDb(const Audio& audio) {
  ebur128_state* state = measure(audio, EBUR128_MODE_TRUE_PEAK);
  double peak = 0.0;
  if (state) {
    for (int c = 0; c < audio.channels; ++c) {
      double v = 0.0;
      ebur128_true_peak(state, static_cast<unsigned>(c), &v);
      peak = std::max(peak, v);
    }
    ebur128_destroy(&state);
  }
  return peak > 0.0 ? 20.0 * std::log10(peak) : -HUGE_VAL;
}

}  // namespace plumbrook::test
