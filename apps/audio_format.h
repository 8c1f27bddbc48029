// Output format choice and readable format names (libsndfile format codes).
#pragma once

#include <string>

namespace plumbrook::cli {

/// Output format wanted on the command line; empty texts keep what the input has.
struct FormatRequest {
  std::string container;  // "wav", "flac", ... or empty
  std::string bits;       // "16", "24", "32", "float", "double", ... or empty
};

/// Picks the libsndfile format code for the output: the requested container, else the one the
/// output path's extension names, else the input's; the requested encoding, else the input's
/// when the container holds it, else the container's usual one. 0 with a message on failure.
int chooseOutputFormat(int inputFormat, const std::string& outputPath, const FormatRequest& request,
                       int channels, double sampleRate, std::string& error);

/// A readable name of a libsndfile format code, e.g. "FLAC 16-bit".
std::string describeFormat(int format);

/// Bits of an integer PCM encoding (read and written exactly through 32-bit integers), else 0.
int pcmBits(int format);

/// True for 32- and 64-bit float encodings.
bool isFloatEncoding(int format);

}  // namespace plumbrook::cli
