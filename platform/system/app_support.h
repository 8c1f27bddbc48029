// The user's application-support directory on Linux (XDG data home).
#pragma once

#include <filesystem>

namespace plugkit {

/// The per-user application-support directory: $XDG_DATA_HOME when it is set to an absolute
/// path, else $HOME/.local/share (the password database's home when HOME is unusable); an
/// empty path when none can be found. Any thread; allocates; reads the environment.
std::filesystem::path AppSupportPath();

}  // namespace plugkit
