// Audio file input and output for the command-line tool (libsndfile): reading any supported
// file or standard input, and writing through a temporary file that is renamed into place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace plumbrook::cli {

/// What libsndfile tells about a file beyond its samples, copied to the output.
struct Metadata {
  std::vector<std::pair<int, std::string>> strings;  // libsndfile string id, text
  std::vector<uint8_t> broadcastInfo;                // raw broadcast-info record, empty if none
  std::vector<uint8_t> cues;                         // raw cue record, empty if none
};

/// Interleaved audio that can be read from the start more than once.
class AudioSource {
 public:
  virtual ~AudioSource() = default;
  virtual int channels() const = 0;
  virtual double sampleRate() const = 0;
  /// Length in frames.
  virtual int64_t frames() const = 0;
  /// Reads up to `maxFrames` interleaved frames; returns how many were read (0 at the end).
  virtual int64_t read(double* interleaved, int64_t maxFrames) = 0;
  /// Goes back to the first frame. False with a message when that is impossible.
  virtual bool rewind(std::string& error) = 0;
};

/// An audio file (or standard input, spooled into memory) opened for reading.
class AudioReader : public AudioSource {
 public:
  /// Opens `path`, or standard input for "-". Null with a one-line message on failure.
  static std::unique_ptr<AudioReader> open(const std::string& path, std::string& error);
  ~AudioReader() override;

  int channels() const override;
  double sampleRate() const override;
  int64_t frames() const override;
  int64_t read(double* interleaved, int64_t maxFrames) override;
  bool rewind(std::string& error) override;

  /// The libsndfile format code (container | encoding).
  int format() const;
  const Metadata& metadata() const { return metadata_; }
  /// A readable name of the format, e.g. "WAV 24-bit".
  std::string formatName() const;

 private:
  struct Impl;
  explicit AudioReader(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
  Metadata metadata_;
};

/// An output file being written. Samples go to a temporary file in the output's directory
/// (or to memory for standard output, "-"); `commit` renames it into place. Destroying an
/// uncommitted writer, or a terminating signal, removes the temporary file, so the output
/// path only ever holds a complete file or what it held before.
class AudioWriter {
 public:
  /// Checks that the output can be written (directory exists, format accepted) and creates
  /// the temporary file. Null with a one-line message on failure.
  static std::unique_ptr<AudioWriter> create(const std::string& path, int format, int channels,
                                             double sampleRate, const Metadata& metadata,
                                             std::string& error);
  ~AudioWriter();
  AudioWriter(const AudioWriter&) = delete;
  AudioWriter& operator=(const AudioWriter&) = delete;

  /// Writes interleaved frames, rounding to the file's integer resolution where it has one
  /// and clipping at full scale. False with a message on a write error.
  bool write(const double* interleaved, int64_t frames, std::string& error);
  /// Finishes the file and moves it to the output path (or standard output).
  bool commit(std::string& error);

 private:
  struct Impl;
  explicit AudioWriter(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

/// True when `a` and `b` name the same existing file (also through links).
bool sameFile(const std::string& a, const std::string& b);

}  // namespace plumbrook::cli
