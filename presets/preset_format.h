// Plumbrook's preset file format record.
#pragma once

#include "presets/preset_file.h"

namespace plumbrook::offline {

/// Plumbrook presets: "<name>.pbpreset" files under Plumbrook/Presets, first line "Plumbrook preset 1".
inline constexpr quillfen::presets::Format kPresetFormat{".pbpreset", "Plumbrook preset 1", "Plumbrook",
                                                         "Plumbrook"};

}  // namespace plumbrook::offline
