// Tags and embedded pictures carried from the input file to the master (TagLib).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plumbrook::cli {

/// Copies every tag TagLib reads from the audio file `from` (libsndfile format `fromFormat`) and
/// its embedded pictures to the just-written file `to` (format `toFormat`): WAV (INFO and ID3),
/// AIFF, FLAC, Ogg Vorbis, Opus and MP3. Loudness-normalisation tags describe the unprocessed
/// audio and are left out; a picture too large for the target's tag format is left out with a
/// line in `warnings`. False with a message when `to` cannot be updated; formats without tags are
/// left alone. `repairedText` (libsndfile string id, valid UTF-8) stands in for tags whose own
/// text is not valid UTF-8. Main thread; allocates; does I/O.
bool copyTags(const std::string& from, int fromFormat, const std::string& to, int toFormat,
              const std::vector<std::pair<int, std::string>>& repairedText, std::vector<std::string>& warnings,
              std::string& error);

/// text as valid UTF-8: each byte that does not belong to a well-formed sequence (overlong forms,
/// surrogates and values past U+10FFFF included) becomes U+FFFD, and `repaired` is set. Pure.
std::string validUtf8(std::string_view text, bool& repaired);

}  // namespace plumbrook::cli
