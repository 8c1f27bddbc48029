// Sample-rate conversion of a source before the chain (libsoxr, very high quality), so that the
// chain and its true-peak limiter run at the delivery rate.
#pragma once

#include <memory>
#include <string>

#include "apps/audio_file.h"

namespace plumbrook::cli {

/// `source` converted to `rate`; null with a message when the converter cannot be made. The
/// converter's own delay is removed, so output frame n lines up with input time n / rate.
/// Main thread; allocates.
std::unique_ptr<AudioSource> resampled(std::unique_ptr<AudioSource> source, double rate, std::string& error);

}  // namespace plumbrook::cli
