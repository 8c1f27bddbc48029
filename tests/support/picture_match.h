// Compares a picture of the editor with the one it should look like, allowing for rasterisers
// that place an edge a little differently.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace plumbrook::test {

/// Success when both PNGs have one size and no more than 0.2 % of the pixels differ by more than
/// 24 in any channel. Otherwise the actual picture and a difference image (differing pixels white)
/// are written to the test output folder ($PLUMBROOK_BUILD_DIR/test-output) under `name`.
::testing::AssertionResult picturesMatch(const std::string& actualPng, const std::string& expectedPng,
                                         const std::string& name);

/// A part of a picture, in pixels.
struct PictureRegion {
  int x, y, width, height;
};

/// The same, judged only inside `region`: a small detail such as one caption stands out there.
::testing::AssertionResult picturesMatch(const std::string& actualPng, const std::string& expectedPng,
                                         const std::string& name, const PictureRegion& region);

}  // namespace plumbrook::test
