// Writing a drawn picture to a PNG file.
#pragma once

#include <string>

#include "platform/window/headless_surface.h"

namespace plumbrook::cli {

/// Encodes the image as PNG and replaces `path` with it; false with a one-line reason.
bool writePicture(const plugkit::platform::Image& image, const std::string& path, std::string& error);

}  // namespace plumbrook::cli
