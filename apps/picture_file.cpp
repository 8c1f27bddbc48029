// Writing a drawn picture to a PNG file.
#include "apps/picture_file.h"

#include "apps/command_line.h"
#include "files/files.h"

namespace plumbrook::cli {

// The picture replaces the file as every other writer does: a temporary file unique to this
// writer, never opened through a link, renamed into place; a link at the path keeps pointing at
// the picture, unless someone else planted it in a shared folder.
bool writePicture(const plugkit::platform::Image& image, const std::string& path, std::string& error) {
  const std::string png = plugkit::platform::EncodePng(image);
  if (png.empty()) {
    error = "cannot write " + inQuotes(path) + ": the picture could not be encoded";
    return false;
  }
  const quillfen::files::ReplaceTarget target = quillfen::files::resolveReplaceTarget(path, false);
  if (!target) {
    error = "cannot replace " + inQuotes(path) + ": " + target.reason;
    return false;
  }
  return quillfen::files::replaceFile(target.file, png, error);
}

}  // namespace plumbrook::cli
