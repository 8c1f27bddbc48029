// Audio file input and output through libsndfile.
#include "apps/audio_file.h"

#include "apps/audio_format.h"

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

// ---------------------------------------------------------------------------------------------
// A growable in-memory file for libsndfile's virtual I/O (standard input and output).

struct MemoryFile {
  std::vector<uint8_t> bytes;
  sf_count_t position = 0;

  static sf_count_t length(void* self) { return static_cast<sf_count_t>(cast(self).bytes.size()); }
  static sf_count_t seek(sf_count_t offset, int whence, void* self) {
    MemoryFile& f = cast(self);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = f.position;
    if (whence == SEEK_END) base = static_cast<sf_count_t>(f.bytes.size());
    const sf_count_t target = base + offset;
    if (target < 0) return -1;
    f.position = target;
    return target;
  }
  static sf_count_t readBytes(void* out, sf_count_t count, void* self) {
    MemoryFile& f = cast(self);
    const sf_count_t size = static_cast<sf_count_t>(f.bytes.size());
    const sf_count_t n = std::clamp<sf_count_t>(size - f.position, 0, count);
    if (n > 0) std::memcpy(out, f.bytes.data() + f.position, static_cast<size_t>(n));
    f.position += n;
    return n;
  }
  static sf_count_t writeBytes(const void* in, sf_count_t count, void* self) {
    MemoryFile& f = cast(self);
    const auto end = static_cast<size_t>(f.position + count);
    if (end > f.bytes.size()) f.bytes.resize(end);
    std::memcpy(f.bytes.data() + f.position, in, static_cast<size_t>(count));
    f.position += count;
    return count;
  }
  static sf_count_t tell(void* self) { return cast(self).position; }
  static SF_VIRTUAL_IO io() { return {length, seek, readBytes, writeBytes, tell}; }

 private:
  static MemoryFile& cast(void* self) { return *static_cast<MemoryFile*>(self); }
};

std::string inQuotes(const std::string& path) { return "'" + path + "'"; }

// ---------------------------------------------------------------------------------------------
// Removal of an unfinished output file when the process is told to stop.

char g_partialPath[4096];
volatile std::sig_atomic_t g_partialActive = 0;

extern "C" void removePartialAndDie(int signalNumber) {
  if (g_partialActive) unlink(g_partialPath);
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

void guardPartial(const std::string& path) {
  std::snprintf(g_partialPath, sizeof g_partialPath, "%s", path.c_str());
  g_partialActive = 1;
  static bool installed = false;
  if (!installed) {
    installed = true;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) std::signal(s, removePartialAndDie);
  }
}

void releasePartial() { g_partialActive = 0; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Reading.

struct AudioReader::Impl {
  SNDFILE* file = nullptr;
  SF_INFO info{};
  MemoryFile memory;  // standard input
  SF_VIRTUAL_IO io = MemoryFile::io();
  int bits = 0;
  std::vector<int32_t> integers;
  std::string name;

  ~Impl() {
    if (file) sf_close(file);
  }
};

AudioReader::AudioReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {
  SNDFILE* file = impl_->file;
  for (int id = SF_STR_FIRST; id <= SF_STR_LAST; ++id) {
    if (const char* text = sf_get_string(file, id)) metadata_.strings.emplace_back(id, text);
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

std::unique_ptr<AudioReader> AudioReader::open(const std::string& path, std::string& error) {
  auto impl = std::make_unique<Impl>();
  if (path == "-") {
    impl->name = "standard input";
    uint8_t buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
      impl->memory.bytes.insert(impl->memory.bytes.end(), buffer, buffer + n);
    if (std::ferror(stdin)) {
      error = "cannot read standard input: " + std::string(std::strerror(errno));
      return nullptr;
    }
    if (impl->memory.bytes.empty()) {
      error = "standard input is empty; expected audio (for example WAV)";
      return nullptr;
    }
    impl->file = sf_open_virtual(&impl->io, SFM_READ, &impl->info, &impl->memory);
  } else {
    impl->name = inQuotes(path);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
      error = "cannot read " + impl->name + ": no such file";
      return nullptr;
    }
    if (fs::is_directory(status)) {
      error = "cannot read " + impl->name + ": it is a directory";
      return nullptr;
    }
    if (access(path.c_str(), R_OK) != 0) {
      error = "cannot read " + impl->name + ": " + std::strerror(errno);
      return nullptr;
    }
    impl->file = sf_open(path.c_str(), SFM_READ, &impl->info);
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
  return std::unique_ptr<AudioReader>(new AudioReader(std::move(impl)));
}

int AudioReader::channels() const { return impl_->info.channels; }
double AudioReader::sampleRate() const { return impl_->info.samplerate; }
int64_t AudioReader::frames() const { return impl_->info.frames; }
int AudioReader::format() const { return impl_->info.format; }
std::string AudioReader::formatName() const { return describeFormat(impl_->info.format); }

int64_t AudioReader::read(double* interleaved, int64_t maxFrames) {
  const int channels = impl_->info.channels;
  if (impl_->bits == 0) return sf_readf_double(impl_->file, interleaved, maxFrames);
  // Integer files are read as left-aligned 32-bit values and scaled by a power of two, so
  // every sample value survives the round trip to the same resolution exactly.
  std::vector<int32_t>& integers = impl_->integers;
  integers.resize(static_cast<size_t>(maxFrames * channels));
  const int64_t got = sf_readf_int(impl_->file, integers.data(), maxFrames);
  const int64_t n = got * channels;
  constexpr double kScale = 1.0 / 2147483648.0;
  for (int64_t i = 0; i < n; ++i) interleaved[i] = integers[static_cast<size_t>(i)] * kScale;
  return got;
}

bool AudioReader::rewind(std::string& error) {
  if (sf_seek(impl_->file, 0, SEEK_SET) == 0) return true;
  error = "cannot read " + impl_->name + " a second time: it cannot seek";
  return false;
}

// ---------------------------------------------------------------------------------------------
// Writing.

struct AudioWriter::Impl {
  SNDFILE* file = nullptr;
  SF_INFO info{};
  std::string path;
  std::string partialPath;
  int descriptor = -1;
  bool toStream = false;  // standard output, a device or a pipe: written at commit
  bool committed = false;
  MemoryFile memory;
  SF_VIRTUAL_IO io = MemoryFile::io();
  int bits = 0;
  std::vector<int32_t> integers;

  ~Impl() {
    if (file) sf_close(file);
    if (descriptor >= 0) close(descriptor);
    if (!committed && !partialPath.empty()) {
      unlink(partialPath.c_str());
      releasePartial();
    }
  }
};

AudioWriter::AudioWriter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
AudioWriter::~AudioWriter() = default;

std::unique_ptr<AudioWriter> AudioWriter::create(const std::string& path, int format, int channels,
                                                 double sampleRate, const Metadata& metadata,
                                                 std::string& error) {
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
    impl->toStream = true;
    impl->file = sf_open_virtual(&impl->io, SFM_WRITE, &impl->info, &impl->memory);
  } else {
    // Through a symbolic link the file it points to is replaced, and the link stays.
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
      const fs::path target = fs::weakly_canonical(path, ec);
      if (!ec) impl->path = target.string();
    }
    fs::path directory = fs::path(impl->path).parent_path();
    if (directory.empty()) directory = ".";
    if (!fs::is_directory(directory, ec)) {
      error = "cannot write " + name + ": the directory " + inQuotes(directory.string()) + " does not exist";
      return nullptr;
    }
    const std::string stem = fs::path(impl->path).filename().string();
    std::string pattern = (directory / ("." + stem + ".partial-XXXXXX")).string();
    impl->descriptor = mkstemp(pattern.data());
    if (impl->descriptor < 0) {
      error = "cannot write " + name + ": " + std::strerror(errno);
      return nullptr;
    }
    impl->partialPath = pattern;
    guardPartial(pattern);
    impl->file = sf_open_fd(impl->descriptor, SFM_WRITE, &impl->info, SF_FALSE);
  }
  if (!impl->file) {
    error = "cannot write " + name + " as " + describeFormat(format) + ": " + sf_strerror(nullptr);
    return nullptr;
  }
  // The peak chunk carries the time of writing: without it the same render gives the same bytes.
  sf_command(impl->file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  impl->bits = pcmBits(format);
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
    int32_t* out = w.integers.data();
    for (int64_t i = 0; i < samples; ++i) {
      double q = interleaved[i] * scale;
      q = q > -scale ? q : -scale;  // also sends NaN to the bottom rather than undefined behaviour
      q = q < top ? q : top;
      // Half away from zero, then truncation: exact for values already on the grid.
      const auto v = static_cast<int32_t>(q + (q >= 0.0 ? 0.5 : -0.5));
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

bool AudioWriter::commit(std::string& error) {
  Impl& w = *impl_;
  const std::string name = inQuotes(w.path);
  sf_write_sync(w.file);
  const int closeError = sf_close(w.file);
  w.file = nullptr;
  if (closeError != 0) {
    error = "cannot write " + name + ": " + sf_error_number(closeError);
    return false;
  }
  if (w.toStream) {
    const bool toStdout = w.path == "-";
    std::FILE* out = toStdout ? stdout : std::fopen(w.path.c_str(), "wb");
    bool ok = out != nullptr;
    if (ok) ok = std::fwrite(w.memory.bytes.data(), 1, w.memory.bytes.size(), out) == w.memory.bytes.size();
    if (out) ok = (toStdout ? std::fflush(out) : std::fclose(out)) == 0 && ok;
    if (!ok) {
      error = std::string("cannot write ") + (toStdout ? "to standard output" : name) + ": " + std::strerror(errno);
      return false;
    }
    w.committed = true;
    return true;
  }
  if (fsync(w.descriptor) != 0 || close(w.descriptor) != 0) {
    w.descriptor = -1;
    error = "cannot write " + name + ": " + std::strerror(errno);
    return false;
  }
  w.descriptor = -1;
  // The finished file gets the permissions of the file it replaces, or the usual ones.
  struct stat existing {};
  mode_t mode = 0;
  if (stat(w.path.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  chmod(w.partialPath.c_str(), mode);
  if (std::rename(w.partialPath.c_str(), w.path.c_str()) != 0) {
    error = "cannot write " + name + ": " + std::strerror(errno);
    return false;
  }
  w.committed = true;
  releasePartial();
  return true;
}

bool sameFile(const std::string& a, const std::string& b) {
  if (a == "-" || b == "-") return false;
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

}  // namespace plumbrook::cli
