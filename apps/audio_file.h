// Audio file input and output for the command-line tool (libsndfile): reading any supported
// file or standard input, and writing, dithered where the resolution drops, through a temporary
// file that is renamed into place.
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

/// An audio file, or standard input, opened for reading.
class AudioReader : public AudioSource {
 public:
  /// Opens `path`, or standard input for "-"; standard input and named pipes are streamed, or first spooled to a nameless scratch
  /// file when `replayable` (several passes), so memory stays flat with length. Null with a
  /// one-line message on failure. Main thread; allocates; does I/O.
  static std::unique_ptr<AudioReader> open(const std::string& path, bool replayable, std::string& error);
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
  /// Warnings about the input worth showing (its data ends before its header says, a tag was
  /// repaired) found since the last call, oldest first. A stream's truncation shows once it has
  /// been read to its end.
  std::vector<std::string> takeWarnings();
  /// True for standard input or a named pipe: read once, in order, and not a file to open again.
  bool fromStream() const;

 private:
  struct Impl;
  explicit AudioReader(std::unique_ptr<Impl> impl);
  void noteEnd();
  std::unique_ptr<Impl> impl_;
  Metadata metadata_;
};

/// How samples are reduced to an integer resolution.
enum class Dither {
  kNone,    // rounding to the nearest step
  kTpdf,    // triangular noise of +-1 step added before rounding: the error is signal-independent
  kShaped,  // TPDF, with the rounding error fed back through 1 - z^-1 (first-order highpass)
};

/// An output file being written. Samples go to a temporary file in the output's directory
/// (or to a nameless scratch file for standard output, "-", a device or a pipe); `commit`
/// renames it into place (or copies it out). Destroying an uncommitted writer, or a terminating
/// signal, removes the temporary file, so the output path only ever holds a complete file or
/// what it held before.
class AudioWriter {
 public:
  /// Checks that the output can be written (directory exists, format accepted) and creates the
  /// temporary file. `dither` applies to integer encodings of 24 bits or fewer. An existing file
  /// the user may not write is refused unless `overwriteProtected`; a link planted by another user
  /// in a shared sticky folder is never followed. Null with a one-line message on failure. Main
  /// thread; allocates; does I/O.
  static std::unique_ptr<AudioWriter> create(const std::string& path, int format, int channels,
                                             double sampleRate, const Metadata& metadata, Dither dither,
                                             bool overwriteProtected, std::string& error);
  ~AudioWriter();
  AudioWriter(const AudioWriter&) = delete;
  AudioWriter& operator=(const AudioWriter&) = delete;

  /// Writes interleaved frames, dithering and rounding to the file's integer resolution where it
  /// has one and clipping at full scale. The dither noise is seeded the same for every writer, so
  /// a render repeats byte for byte. False with a message on a write error.
  bool write(const double* interleaved, int64_t frames, std::string& error);
  /// Completes the file where it is being written, before commit, so that it can be read back.
  /// False with a message. Main thread; does I/O.
  bool finish(std::string& error);
  /// Where the finished, uncommitted file can be opened for reading. Allocates.
  std::string finishedPath() const;
  /// Finishes the file if needed and moves it to the output path (or standard output).
  bool commit(std::string& error);
  /// The file a symbolic link at the output path led to, which is written instead; else empty.
  const std::string& linkTarget() const;
  /// The path the finished file was moved to ("" for standard output, a device or a pipe).
  std::string committedPath() const;

 private:
  struct Impl;
  explicit AudioWriter(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

/// True when `a` and `b` name the same existing file (also through links).
bool sameFile(const std::string& a, const std::string& b);

}  // namespace plumbrook::cli
