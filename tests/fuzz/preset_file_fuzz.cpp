// Fuzz target: any bytes as a preset file on disk, and as a name to make a file name of.
#include "files/files.h"
#include "presets/preset_file.h"
#include "presets/preset_format.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace fs = std::filesystem;
using namespace quillfen::presets;

namespace {

fs::path scratchDirectory() {
  std::string pattern = (fs::temp_directory_path() / "plumbrook-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  static fs::path made = pattern;
  std::atexit([] {
    std::error_code ignored;
    fs::remove_all(made, ignored);
  });
  return made;
}

void require(bool condition, char const* what) {
  if (!condition) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
  }
}

void checkFileName(std::string_view name) {
  fs::path const path = quillfen::files::pathForName("/d", name, ".pbpreset", "Preset");
  require(path.parent_path() == "/d", "the file stays in its directory");
  std::string const file = path.filename().string();
  require(file.size() > std::string_view(".pbpreset").size(), "the file name has a stem");
  require(file.size() <= 81 + std::string_view(".pbpreset").size(), "the file name is at most 80 bytes plus '-'");
  for (unsigned char c : file) require(c >= 32 && c != '/' && c != '\\' && c != ':', "no forbidden byte");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
  static fs::path const file = scratchDirectory() / "input.pbpreset";
  std::string_view const bytes(reinterpret_cast<char const*>(data), size);
  {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    require(out != nullptr, "the scratch file opens");
    require(std::fwrite(data, 1, size, out) == size, "the scratch file is written");
    std::fclose(out);
  }
  auto const& format = plumbrook::offline::kPresetFormat;
  SavedPreset read;
  std::string error;
  bool const ok = readPreset(format, file, read, error);

  SavedPreset parsed;
  std::string parseError;
  require(parsePreset(format, bytes, file, parsed, parseError) == ok, "file and memory agree");
  if (ok) {
    require(!read.state.empty() && !read.name.empty(), "a preset has a name and a state");
    require(read.path == file && read.name == parsed.name && read.state == parsed.state, "same preset");
    // What the writer makes of it reads back as the same preset.
    SavedPreset again;
    require(parsePreset(format, presetFileContents(format, read.name, read.state), file, again, parseError),
            "written bytes parse");
    require(again.name == storedPresetName(read.name) && again.state == read.state, "round trip");
  } else {
    require(error == parseError, "same error");
    require(error.starts_with("not an Plumbrook preset: ") ||
                error.starts_with("the preset has no readable state: "),
            "a known error");
  }
  checkFileName(bytes);
  return 0;
}
