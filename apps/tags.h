// Tags and embedded pictures carried from the input file to the master (TagLib).
#pragma once

#include <string>

namespace plumbrook::cli {

/// Copies every tag TagLib reads from the audio file `from` (libsndfile format `fromFormat`) and
/// its embedded pictures to the just-written file `to` (format `toFormat`): WAV (INFO and ID3),
/// AIFF, FLAC, Ogg Vorbis, Opus and MP3. Loudness-normalisation tags describe the unprocessed
/// audio and are left out. False with a message when `to` cannot be updated; formats without
/// tags are left alone. Main thread; allocates; does I/O.
bool copyTags(const std::string& from, int fromFormat, const std::string& to, int toFormat, std::string& error);

}  // namespace plumbrook::cli
