#include "tests/support/picture_match.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/window/headless_surface.h"

namespace plumbrook::test {
namespace {

namespace fs = std::filesystem;
using plugkit::platform::Image;

constexpr int kChannelTolerance = 24;
constexpr double kOutlierShare = 0.002;

fs::path outputDir() {
  const char* build = std::getenv("PLUMBROOK_BUILD_DIR");
  fs::path dir = fs::path(build ? build : ".") / "test-output";
  fs::create_directories(dir);
  return dir;
}

// The differing pixels inside `region`, white where a channel differs beyond the tolerance, dim
// elsewhere.
Image differenceOf(const Image& a, const Image& b, const PictureRegion& region, int& outliers) {
  Image diff{a.width, a.height, std::vector<unsigned char>(a.rgba.size(), 255)};
  outliers = 0;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(a.width) + static_cast<size_t>(x)) * 4;
      const bool inside = x >= region.x && x < region.x + region.width && y >= region.y && y < region.y + region.height;
      int worst = 0;
      for (size_t c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a.rgba[i + c] - b.rgba[i + c]));
      const bool outlier = inside && worst > kChannelTolerance;
      outliers += outlier;
      for (size_t c = 0; c < 3; ++c) diff.rgba[i + c] = outlier ? 255 : static_cast<unsigned char>(a.rgba[i + c] / 4);
    }
  }
  return diff;
}

}  // namespace

::testing::AssertionResult picturesMatch(const std::string& actualPng, const std::string& expectedPng,
                                         const std::string& name) {
  return picturesMatch(actualPng, expectedPng, name, {0, 0, 1 << 30, 1 << 30});
}

::testing::AssertionResult picturesMatch(const std::string& actualPng, const std::string& expectedPng,
                                         const std::string& name, const PictureRegion& wanted) {
  const Image actual = plugkit::platform::ReadPng(actualPng);
  const Image expected = plugkit::platform::ReadPng(expectedPng);
  if (actual.width == 0 || expected.width == 0)
    return ::testing::AssertionFailure() << "unreadable picture: " << (actual.width == 0 ? actualPng : expectedPng);
  if (actual.width != expected.width || actual.height != expected.height)
    return ::testing::AssertionFailure() << name << ": " << actual.width << "x" << actual.height << " where "
                                         << expected.width << "x" << expected.height << " was expected";
  const int x = std::clamp(wanted.x, 0, actual.width);
  const int y = std::clamp(wanted.y, 0, actual.height);
  const PictureRegion region{x, y, std::min(wanted.width, actual.width - x), std::min(wanted.height, actual.height - y)};
  if (region.width <= 0 || region.height <= 0) return ::testing::AssertionFailure() << name << ": empty region";
  int outliers = 0;
  const Image diff = differenceOf(actual, expected, region, outliers);
  const double share = static_cast<double>(outliers) / (static_cast<double>(region.width) * region.height);
  if (share <= kOutlierShare) return ::testing::AssertionSuccess();
  const fs::path out = outputDir();
  fs::copy_file(actualPng, out / name, fs::copy_options::overwrite_existing);
  plugkit::platform::WritePng(diff, (out / (fs::path(name).stem().string() + ".diff.png")).string());
  return ::testing::AssertionFailure() << name << ": " << outliers
                                       << " pixels differ; the picture and the difference are in " << out;
}

}  // namespace plumbrook::test
