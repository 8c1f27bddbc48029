// Output format choice and format names (libsndfile format codes).
#include "apps/audio_format.h"

#include <sndfile.h>

#include <cctype>
#include <filesystem>
#include <vector>

#include "apps/command_line.h"

namespace fs = std::filesystem;

namespace plumbrook::cli {
namespace {

struct Container {
  const char* name;
  int major;
  int lossySub;  // the only encoding of a lossy container, else 0
  std::vector<const char*> extensions;
};

const std::vector<Container>& containers() {
  static const std::vector<Container> table = {
      {"wav", SF_FORMAT_WAV, 0, {".wav", ".wave", ".bwf"}},
      {"wavex", SF_FORMAT_WAVEX, 0, {}},
      {"rf64", SF_FORMAT_RF64, 0, {".rf64"}},
      {"w64", SF_FORMAT_W64, 0, {".w64"}},
      {"aiff", SF_FORMAT_AIFF, 0, {".aiff", ".aif", ".aifc"}},
      {"caf", SF_FORMAT_CAF, 0, {".caf"}},
      {"flac", SF_FORMAT_FLAC, 0, {".flac"}},
      {"au", SF_FORMAT_AU, 0, {".au", ".snd"}},
      {"ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS, {".ogg", ".oga"}},
      {"opus", SF_FORMAT_OGG, SF_FORMAT_OPUS, {".opus"}},
      {"mp3", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III, {".mp3"}},
  };
  return table;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A lossy codec's encoding belongs to its own container: another container that nominally takes it
// (WAV with MPEG data) cannot be written by the encoder, so the master gets its own format's natural one.
bool isLossyEncoding(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III: return true;
    default: return false;
  }
}

bool formatAccepted(int format, int channels, double sampleRate) {
  SF_INFO info{};
  info.format = format;
  info.channels = channels;
  info.samplerate = static_cast<int>(sampleRate);
  return sf_format_check(&info) != 0;
}


}  // namespace

int pcmBits(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32: return 32;
    default: return 0;
  }
}

bool isFloatEncoding(int format) {
  const int sub = format & SF_FORMAT_SUBMASK;
  return sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
}


std::string describeFormat(int format) {
  std::string container = "audio";
  for (const Container& c : containers()) {
    if (c.major == (format & SF_FORMAT_TYPEMASK) && (c.lossySub == 0 || c.lossySub == (format & SF_FORMAT_SUBMASK))) {
      container = c.name;
      break;
    }
  }
  for (char& ch : container) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  const int sub = format & SF_FORMAT_SUBMASK;
  if (const int bits = pcmBits(format)) return container + " " + std::to_string(bits) + "-bit";
  if (sub == SF_FORMAT_FLOAT) return container + " 32-bit float";
  if (sub == SF_FORMAT_DOUBLE) return container + " 64-bit float";
  SF_FORMAT_INFO info{};
  info.format = sub;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name)
    return container + " " + info.name;
  return container;
}

int chooseOutputFormat(int inputFormat, const std::string& outputPath, const FormatRequest& request,
                       int channels, double sampleRate, std::string& error) {
  const Container* container = nullptr;
  if (!request.container.empty()) {
    const std::string wanted = lower(request.container);
    for (const Container& c : containers())
      if (wanted == c.name) container = &c;
    if (!container) {
      std::string known;
      for (const Container& c : containers()) known += std::string(known.empty() ? "" : ", ") + c.name;
      error = "--format " + inQuotes(request.container) + ": unknown format (known: " + known + ")";
      return 0;
    }
  } else if (outputPath == "-") {
    container = &containers().front();
  } else {
    const std::string extension = lower(fs::path(outputPath).extension().string());
    for (const Container& c : containers())
      for (const char* e : c.extensions)
        if (extension == e) container = &c;
  }
  int major = container ? container->major : (inputFormat & SF_FORMAT_TYPEMASK);
  const int lossySub = container ? container->lossySub : 0;
  const int inputSub = inputFormat & SF_FORMAT_SUBMASK;

  int sub = 0;
  if (!request.bits.empty()) {
    if (lossySub != 0) {
      error = "--bits does not apply to the " + std::string(container->name) + " format";
      return 0;
    }
    const std::string bits = lower(request.bits);
    if (bits == "8") sub = (major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64 ||
                            major == SF_FORMAT_W64) ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
    else if (bits == "16") sub = SF_FORMAT_PCM_16;
    else if (bits == "24") sub = SF_FORMAT_PCM_24;
    else if (bits == "32") sub = SF_FORMAT_PCM_32;
    else if (bits == "float" || bits == "32f") sub = SF_FORMAT_FLOAT;
    else if (bits == "double" || bits == "64f") sub = SF_FORMAT_DOUBLE;
    else {
      error = "--bits " + inQuotes(request.bits) + ": expected 8, 16, 24, 32, float or double";
      return 0;
    }
  } else if (lossySub != 0) {
    sub = lossySub;
  } else if ((!isLossyEncoding(inputSub) || major == (inputFormat & SF_FORMAT_TYPEMASK)) &&
             formatAccepted(major | inputSub, channels, sampleRate)) {
    sub = inputSub;
  } else if (isFloatEncoding(inputFormat) && formatAccepted(major | SF_FORMAT_FLOAT, channels, sampleRate)) {
    sub = SF_FORMAT_FLOAT;
  } else {
    sub = SF_FORMAT_PCM_24;
  }
  if (!container && !request.bits.empty() && !formatAccepted(major | sub, channels, sampleRate)) {
    // The input's container (e.g. a lossy one) cannot hold the requested encoding: use WAV.
    major = SF_FORMAT_WAV;
  }
  const int format = major | sub;
  if (!formatAccepted(format, channels, sampleRate)) {
    error = "cannot write " + inQuotes(outputPath) + ": " + describeFormat(format) + " does not take " +
            std::to_string(channels) + " channel(s) at " + std::to_string(static_cast<int>(sampleRate)) + " Hz";
    return 0;
  }
  return format;
}

}  // namespace plumbrook::cli
