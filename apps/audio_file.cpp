// Audio file input and output through libsndfile.
#include "apps/audio_file.h"

#include "apps/audio_format.h"
#include "apps/command_line.h"
#include "apps/tags.h"
#include "files/files.h"
#include "files/temporary_files.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace plumbrook::cli {
namespace {

// Copies up to maxBytes (or everything) from one descriptor to another, adding to `copied`. False
// with errno set on failure.
bool copyAll(int from, int to, int64_t& copied, int64_t maxBytes = INT64_MAX) {
  std::vector<char> buffer(1 << 16);
  while (copied < maxBytes) {
    const auto want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(buffer.size()), maxBytes - copied));
    ssize_t got = ::read(from, buffer.data(), want);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(to, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return false;
      done += put;
    }
    copied += got;
  }
  return true;
}

// A stream (standard input, a pipe) copied to a scratch file. Its head is checked before the rest
// is copied, so that a stream that is not audio (/dev/zero) is refused at once instead of filling
// the disk.
int spoolStream(int from, const std::string& name, std::string& error) {
  const int spool = quillfen::files::openScratchFile(error);
  if (spool < 0) return -1;
  auto refuse = [&](const std::string& why) {
    ::close(spool);
    error = why;
    return -1;
  };
  int64_t copied = 0;
  constexpr int64_t kHeadBytes = 1 << 16;
  if (!copyAll(from, spool, copied, kHeadBytes))
    return refuse("cannot read " + name + ": " + std::string(std::strerror(errno)));
  if (copied == 0) return refuse(name + " is empty; expected audio (for example WAV)");
  ::lseek(spool, 0, SEEK_SET);
  SF_INFO probe{};
  SNDFILE* head = sf_open_fd(spool, SFM_READ, &probe, SF_FALSE);
  if (!head)
    return refuse("cannot read " + name + ": not a supported audio file (" + std::string(sf_strerror(nullptr)) + ")");
  sf_close(head);
  ::lseek(spool, 0, SEEK_END);
  if (!copyAll(from, spool, copied)) return refuse("cannot read " + name + ": " + std::string(std::strerror(errno)));
  ::lseek(spool, 0, SEEK_SET);
  return spool;
}

// libsndfile notes "data : <header> (should be <found>)" when a file ends before its header says.
std::string truncationWarning(SNDFILE* file, const std::string& name) {
  char log[8192] = {};
  sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
  const char* line = std::strstr(log, "\ndata : ");
  if (!line) return {};
  long long declared = 0, found = 0;
  if (std::sscanf(line, "\ndata : %lld (should be %lld)", &declared, &found) != 2 || found >= declared) return {};
  return name + " is truncated: its data ends after " + std::to_string(found) + " of the " +
         std::to_string(declared) + " bytes its header declares";
}

// The names libsndfile gives its strings, as a warning shows them.
const char* stringName(int id) {
  switch (id) {
    case SF_STR_TITLE: return "title";
    case SF_STR_COPYRIGHT: return "copyright";
    case SF_STR_SOFTWARE: return "software";
    case SF_STR_ARTIST: return "artist";
    case SF_STR_COMMENT: return "comment";
    case SF_STR_DATE: return "date";
    case SF_STR_ALBUM: return "album";
    case SF_STR_LICENSE: return "license";
    case SF_STR_TRACKNUMBER: return "track number";
    case SF_STR_GENRE: return "genre";
    default: return "text";
  }
}

// A stream's header may leave its length open (0 or all ones, as writers into a pipe do): its
// frame count then says nothing about where the data ends.
bool declaresLength(SNDFILE* file) {
  char log[8192] = {};
  sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
  const char* line = std::strstr(log, "\ndata : ");
  long long declared = 0;
  if (!line || std::sscanf(line, "\ndata : %lld", &declared) != 1) return true;
  return declared != 0 && declared != 0xffffffffLL;
}

// A small, fast generator for dither noise; quality beyond independence of successive values
// does not matter here.
uint32_t nextRandom(uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Reading.

struct AudioReader::Impl {
  SNDFILE* file = nullptr;
  SF_INFO info{};
  int stream = -1;  // a named pipe, opened here
  int spool = -1;   // a stream copied to a scratch file
  bool streamed = false;  // read as it arrives: its length is known only at its end
  int bits = 0;
  int64_t position = 0;
  std::vector<int32_t> integers;
  std::string name;
  std::vector<std::string> warnings;
  bool truncationNoted = false;

  ~Impl() {
    if (file) sf_close(file);
    if (spool >= 0) ::close(spool);
    if (stream >= 0) ::close(stream);
  }
};

AudioReader::AudioReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {
  SNDFILE* file = impl_->file;
  for (int id = SF_STR_FIRST; id <= SF_STR_LAST; ++id) {
    const char* text = sf_get_string(file, id);
    if (!text) continue;
    // Text goes to libraries that take UTF-8 only (FLAC's comments crash on anything else).
    bool repaired = false;
    metadata_.strings.emplace_back(id, validUtf8(text, repaired));
    if (repaired)
      impl_->warnings.push_back("the " + std::string(stringName(id)) + " tag of " + impl_->name +
                                " is not valid UTF-8; its invalid bytes are replaced by U+FFFD");
  }
  SF_BROADCAST_INFO_VAR(16384) broadcast{};
  if (sf_command(file, SFC_GET_BROADCAST_INFO, &broadcast, sizeof broadcast) == SF_TRUE) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&broadcast);
    metadata_.broadcastInfo.assign(bytes, bytes + sizeof broadcast);
  }
  uint32_t cueCount = 0;
  if (sf_command(file, SFC_GET_CUE_COUNT, &cueCount, sizeof cueCount) == SF_TRUE && cueCount > 0) {
    std::vector<uint8_t> record(sizeof(uint32_t) + cueCount * sizeof(SF_CUE_POINT) + 16);
    if (sf_command(file, SFC_GET_CUE, record.data(), static_cast<int>(record.size())) == SF_TRUE)
      metadata_.cues = std::move(record);
  }
}

AudioReader::~AudioReader() = default;

std::unique_ptr<AudioReader> AudioReader::open(const std::string& path, bool replayable, std::string& error) {
  auto impl = std::make_unique<Impl>();
  // Standard input and named pipes (also <(command) in a shell) are streams: read as they come,
  // or spooled to scratch when several passes need them.
  auto openStream = [&](int descriptor) {
    if (replayable) {
      impl->spool = spoolStream(descriptor, impl->name, error);
      if (impl->spool < 0) return false;
      descriptor = impl->spool;
    } else {
      impl->streamed = true;
    }
    impl->file = sf_open_fd(descriptor, SFM_READ, &impl->info, SF_FALSE);
    return true;
  };
  if (path == "-") {
    impl->name = "standard input";
    if (!openStream(STDIN_FILENO)) return nullptr;
  } else {
    impl->name = inQuotes(path);
    bool pipe = false;
    // A named pipe's first reader lets a waiting writer start: the probe stays open until the
    // stream is, or the writer would find no reader and fail.
    int probe = -1;
    const quillfen::files::ReadProblem problem = [&] {
      // Opened without blocking just to learn what the path is: a device is named as such.
      probe = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
      if (probe < 0) return errno == ENOENT ? quillfen::files::ReadProblem::missing : quillfen::files::ReadProblem::unreadable;
      struct stat info {};
      const bool known = ::fstat(probe, &info) == 0;
      pipe = known && S_ISFIFO(info.st_mode);
      if (!pipe) {
        ::close(probe);
        probe = -1;
      }
      return known && (S_ISREG(info.st_mode) || pipe) ? quillfen::files::ReadProblem::none
                                                      : quillfen::files::ReadProblem::notRegular;
    }();
    if (problem == quillfen::files::ReadProblem::missing) {
      error = "cannot read " + impl->name + ": no such file";
      return nullptr;
    }
    if (problem == quillfen::files::ReadProblem::unreadable) {
      error = "cannot read " + impl->name + ": " + std::strerror(errno);
      return nullptr;
    }
    if (problem == quillfen::files::ReadProblem::notRegular) {
      std::error_code ec;
      error = "cannot read " + impl->name + ": " +
              (fs::is_directory(path, ec) ? "it is a directory" : "it is not a regular file");
      return nullptr;
    }
    if (pipe) {
      // Opened again, blocking, so that it waits for its writer as any reader of a pipe does.
      impl->stream = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
      ::close(probe);
      if (impl->stream < 0) {
        error = "cannot read " + impl->name + ": " + std::strerror(errno);
        return nullptr;
      }
      if (!openStream(impl->stream)) return nullptr;
    } else {
      impl->file = sf_open(path.c_str(), SFM_READ, &impl->info);
    }
  }
  if (!impl->file) {
    error = "cannot read " + impl->name + ": not a supported audio file (" + sf_strerror(nullptr) + ")";
    return nullptr;
  }
  const SF_INFO& info = impl->info;
  if (info.channels < 1 || info.channels > 2) {
    error = impl->name + " has " + std::to_string(info.channels) +
            " channels; only mono and stereo files can be mastered";
    return nullptr;
  }
  if (info.samplerate < 8000 || info.samplerate > 768000) {
    error = impl->name + " has an unsupported sample rate of " + std::to_string(info.samplerate) + " Hz";
    return nullptr;
  }
  impl->bits = pcmBits(info.format);
  const std::string truncated = truncationWarning(impl->file, impl->name);
  impl->truncationNoted = !truncated.empty();
  if (impl->truncationNoted) impl->warnings.push_back(truncated);
  return std::unique_ptr<AudioReader>(new AudioReader(std::move(impl)));
}

int AudioReader::channels() const { return impl_->info.channels; }
double AudioReader::sampleRate() const { return impl_->info.samplerate; }
int64_t AudioReader::frames() const { return impl_->info.frames; }
int AudioReader::format() const { return impl_->info.format; }
std::string AudioReader::formatName() const { return describeFormat(impl_->info.format); }
bool AudioReader::fromStream() const { return impl_->streamed || impl_->spool >= 0; }

std::vector<std::string> AudioReader::takeWarnings() { return std::exchange(impl_->warnings, {}); }

void AudioReader::noteEnd() {
  // A stream's length shows only at its end: one that stops short of its header is named here.
  Impl& r = *impl_;
  if (!r.streamed || r.truncationNoted || r.position >= r.info.frames || !declaresLength(r.file)) return;
  r.truncationNoted = true;
  r.warnings.push_back(r.name + " is truncated: its data ends after " + std::to_string(r.position) + " of the " +
                       std::to_string(r.info.frames) + " frames its header declares");
}

int64_t AudioReader::read(double* interleaved, int64_t maxFrames) {
  const int channels = impl_->info.channels;
  if (impl_->bits == 0) {
    const int64_t got = sf_readf_double(impl_->file, interleaved, maxFrames);
    impl_->position += std::max<int64_t>(got, 0);
    if (got < maxFrames) noteEnd();
    return got;
  }
  // Integer files are read as left-aligned 32-bit values and scaled by a power of two, so
  // every sample value survives the round trip to the same resolution exactly.
  std::vector<int32_t>& integers = impl_->integers;
  integers.resize(static_cast<size_t>(maxFrames * channels));
  const int64_t got = sf_readf_int(impl_->file, integers.data(), maxFrames);
  const int64_t n = got * channels;
  constexpr double kScale = 1.0 / 2147483648.0;
  for (int64_t i = 0; i < n; ++i) interleaved[i] = integers[static_cast<size_t>(i)] * kScale;
  impl_->position += std::max<int64_t>(got, 0);
  if (got < maxFrames) noteEnd();
  return got;
}

bool AudioReader::rewind(std::string& error) {
  // A stream that has not been read yet is at its start already, even though it cannot seek.
  if (impl_->position == 0 || sf_seek(impl_->file, 0, SEEK_SET) == 0) {
    impl_->position = 0;
    return true;
  }
  error = "cannot read " + impl_->name + " a second time: it cannot seek";
  return false;
}

// ---------------------------------------------------------------------------------------------
// Writing.

struct AudioWriter::Impl {
  SNDFILE* file = nullptr;
  SF_INFO info{};
  std::string path;
  std::string linkTarget;  // the file the output path's link led to, or empty
  std::unique_ptr<quillfen::files::TemporaryFile> temporary;  // a regular output file
  int spool = -1;  // standard output, a device or a pipe: copied out at commit
  bool committed = false;
  int bits = 0;
  Dither dither = Dither::kNone;
  uint32_t noiseState = 0x9e3779b9u;   // fixed seed: the same render gives the same bytes
  std::vector<double> shapingError;    // per channel, for the shaped dither
  std::vector<int32_t> integers;

  ~Impl() {
    if (file) sf_close(file);
    if (spool >= 0) ::close(spool);
  }
};

AudioWriter::AudioWriter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
AudioWriter::~AudioWriter() = default;

std::unique_ptr<AudioWriter> AudioWriter::create(const std::string& path, int format, int channels,
                                                 double sampleRate, const Metadata& metadata, Dither dither,
                                                 bool overwriteProtected, std::string& error) {
  auto impl = std::make_unique<Impl>();
  impl->path = path;
  impl->info.format = format;
  impl->info.channels = channels;
  impl->info.samplerate = static_cast<int>(sampleRate);
  const std::string name = inQuotes(path);
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (fs::is_directory(status)) {
    error = "cannot write " + name + ": it is a directory";
    return nullptr;
  }
  // A device or a pipe (/dev/null, a FIFO) is written to, never replaced: it gets the finished
  // file in one go, like standard output.
  const bool special = fs::exists(status) && !fs::is_regular_file(status);
  if (path == "-" || special) {
    impl->spool = quillfen::files::openScratchFile(error);
    if (impl->spool < 0) return nullptr;
    impl->file = sf_open_fd(impl->spool, SFM_WRITE, &impl->info, SF_FALSE);
  } else {
    // Through a symbolic link the file it points to is replaced, and the link stays.
    const quillfen::files::ReplaceTarget target = quillfen::files::resolveReplaceTarget(path, overwriteProtected);
    if (!target) {
      error = "cannot replace " + name + ": " + target.reason;
      if (target.problem == quillfen::files::ReplaceProblem::writeProtected) error += " (--force replaces it)";
      return nullptr;
    }
    impl->path = target.file.string();
    if (!target.link.empty()) impl->linkTarget = impl->path;
    fs::path directory = fs::path(impl->path).parent_path();
    if (directory.empty()) directory = ".";
    if (!fs::is_directory(directory, ec)) {
      error = "cannot write " + name + ": the directory " + inQuotes(directory.string()) + " does not exist";
      return nullptr;
    }
    impl->temporary = std::make_unique<quillfen::files::TemporaryFile>(impl->path);
    if (impl->temporary->descriptor() < 0) {
      error = impl->temporary->error();
      return nullptr;
    }
    impl->file = sf_open_fd(impl->temporary->descriptor(), SFM_WRITE, &impl->info, SF_FALSE);
  }
  if (!impl->file) {
    error = "cannot write " + name + " as " + describeFormat(format) + ": " + sf_strerror(nullptr);
    return nullptr;
  }
  // The peak chunk carries the time of writing: without it the same render gives the same bytes.
  sf_command(impl->file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  impl->bits = pcmBits(format);
  impl->dither = impl->bits > 0 && impl->bits <= 24 ? dither : Dither::kNone;
  impl->shapingError.assign(static_cast<size_t>(channels), 0.0);
  if (impl->bits == 0 && !isFloatEncoding(format)) sf_command(impl->file, SFC_SET_CLIPPING, nullptr, SF_TRUE);

  bool haveSoftware = false;
  for (const auto& [id, text] : metadata.strings) {
    sf_set_string(impl->file, id, text.c_str());
    haveSoftware = haveSoftware || id == SF_STR_SOFTWARE;
  }
  if (!haveSoftware) sf_set_string(impl->file, SF_STR_SOFTWARE, "plumbrook");
  const int major = format & SF_FORMAT_TYPEMASK;
  const bool riff = major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64;
  if (riff && !metadata.broadcastInfo.empty()) {
    std::vector<uint8_t> record = metadata.broadcastInfo;
    SF_BROADCAST_INFO_VAR(16384) broadcast{};
    std::memcpy(&broadcast, record.data(), std::min(record.size(), sizeof broadcast));
    // The loudness fields describe the unprocessed audio; mark them unset (0x7fff).
    if (broadcast.version >= 2) {
      broadcast.loudness_value = broadcast.loudness_range = broadcast.max_true_peak_level = 0x7fff;
      broadcast.max_momentary_loudness = broadcast.max_shortterm_loudness = 0x7fff;
    }
    // libsndfile takes the record only at its used size.
    const size_t historyBytes = std::min<size_t>(broadcast.coding_history_size, sizeof broadcast.coding_history);
    const size_t used = offsetof(decltype(broadcast), coding_history) + historyBytes;
    sf_command(impl->file, SFC_SET_BROADCAST_INFO, &broadcast, static_cast<int>(std::max(used, sizeof(SF_BROADCAST_INFO))));
  }
  if (!metadata.cues.empty() && (riff || major == SF_FORMAT_AIFF)) {
    std::vector<uint8_t> record = metadata.cues;
    sf_command(impl->file, SFC_SET_CUE, record.data(), static_cast<int>(record.size()));
  }
  return std::unique_ptr<AudioWriter>(new AudioWriter(std::move(impl)));
}

bool AudioWriter::write(const double* interleaved, int64_t frames, std::string& error) {
  Impl& w = *impl_;
  const int64_t samples = frames * w.info.channels;
  int64_t written = 0;
  if (w.bits == 0) {
    written = sf_writef_double(w.file, interleaved, frames);
  } else {
    // Round to the file's own resolution here, so that libsndfile's truncation of the
    // left-aligned value is exact.
    w.integers.resize(static_cast<size_t>(samples));
    const double scale = std::ldexp(1.0, w.bits - 1);
    const double top = scale - 1.0;
    const int shift = 32 - w.bits;
    const int channels = w.info.channels;
    constexpr double kUnit = 1.0 / 4294967296.0;
    int32_t* out = w.integers.data();
    for (int64_t i = 0; i < samples; ++i) {
      double q = interleaved[i] * scale;
      double* fedBack = nullptr;
      double shapedInput = q;
      // A sample already on the output's grid (digital silence, an untouched bypass) needs no
      // dither: it passes unchanged, so a lossless path stays lossless.
      if (w.dither != Dither::kNone && q != std::nearbyint(q)) {
        if (w.dither == Dither::kShaped) {
          fedBack = &w.shapingError[static_cast<size_t>(i % channels)];
          q -= *fedBack;  // error feedback: the total error becomes e[n] - e[n-1]
          shapedInput = q;
        }
        // The difference of two uniform values: triangular, +-1 step, zero mean.
        const double a = nextRandom(w.noiseState) * kUnit;
        const double b = nextRandom(w.noiseState) * kUnit;
        q += a - b;
      }
      q = q > -scale ? q : -scale;  // also sends NaN to the bottom rather than undefined behaviour
      q = q < top ? q : top;
      // Half away from zero, then truncation: exact for values already on the grid.
      const auto v = static_cast<int32_t>(q + (q >= 0.0 ? 0.5 : -0.5));
      // The error fed back includes the dither, so all the added noise is shaped; it is bounded,
      // so a clipped run cannot wind it up.
      if (fedBack) *fedBack = std::clamp(static_cast<double>(v) - shapedInput, -2.0, 2.0);
      else if (w.dither == Dither::kShaped) w.shapingError[static_cast<size_t>(i % channels)] = 0.0;
      out[i] = static_cast<int32_t>(static_cast<uint32_t>(v) << shift);
    }
    written = sf_writef_int(w.file, w.integers.data(), frames);
  }
  if (written != frames) {
    error = "cannot write " + inQuotes(w.path) + ": " + sf_strerror(w.file);
    return false;
  }
  return true;
}

bool AudioWriter::finish(std::string& error) {
  Impl& w = *impl_;
  if (!w.file) return true;
  sf_write_sync(w.file);
  const int closeError = sf_close(w.file);
  w.file = nullptr;
  if (closeError != 0) {
    error = "cannot write " + inQuotes(w.path) + ": " + sf_error_number(closeError);
    return false;
  }
  return true;
}

std::string AudioWriter::finishedPath() const {
  if (impl_->temporary) return impl_->temporary->path().string();
  return "/proc/self/fd/" + std::to_string(impl_->spool);
}

bool AudioWriter::commit(std::string& error) {
  Impl& w = *impl_;
  const std::string name = inQuotes(w.path);
  if (!finish(error)) return false;
  if (w.spool >= 0) {
    const bool toStdout = w.path == "-";
    const int out = toStdout ? STDOUT_FILENO : ::open(w.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    int64_t copied = 0;
    bool ok = out >= 0 && ::lseek(w.spool, 0, SEEK_SET) == 0 && copyAll(w.spool, out, copied);
    const int reason = errno;
    if (out >= 0 && !toStdout) ok = ::close(out) == 0 && ok;
    if (!ok) {
      error = std::string("cannot write ") + (toStdout ? "to standard output" : name) + ": " + std::strerror(reason);
      return false;
    }
    w.committed = true;
    return true;
  }
  if (!w.temporary->commit()) {
    error = w.temporary->error();
    return false;
  }
  w.committed = true;
  return true;
}

const std::string& AudioWriter::linkTarget() const { return impl_->linkTarget; }

std::string AudioWriter::committedPath() const {
  return impl_->committed && impl_->temporary ? impl_->path : std::string();
}

bool sameFile(const std::string& a, const std::string& b) {
  if (a == "-" || b == "-") return false;
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

}  // namespace plumbrook::cli
