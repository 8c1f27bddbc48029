// Test fixture: a fresh application-support directory per test, chosen through XDG_DATA_HOME.
#pragma once

#include "presets/preset_file.h"
#include "presets/preset_format.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>  // geteuid

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace plumbrook::test {

/// A fresh random seed, or the one in PLUMBROOK_SEED to replay a failed run.
inline uint32_t seedForTest() {
  if (char const* given = std::getenv("PLUMBROOK_SEED")) return static_cast<uint32_t>(std::strtoul(given, nullptr, 10));
  return std::random_device{}();
}

/// Sets XDG_DATA_HOME (and HOME, when a test asks) for the length of a scope, then puts back
/// whatever the environment held before.
class ScopedEnv {
 public:
  ScopedEnv(char const* variable, std::optional<std::string> value) : variable_(variable) {
    if (char const* old = std::getenv(variable)) old_ = old;
    set(value);
  }
  ~ScopedEnv() { set(old_); }
  ScopedEnv(ScopedEnv const&) = delete;
  ScopedEnv& operator=(ScopedEnv const&) = delete;

 private:
  void set(std::optional<std::string> const& value) {
    if (value)
      ::setenv(variable_, value->c_str(), 1);
    else
      ::unsetenv(variable_);
  }
  char const* variable_;
  std::optional<std::string> old_;
};

/// A new, empty application-support directory under the system's temporary directory, made the
/// user's XDG data home for the test; removed with everything in it afterwards.
class PresetDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    support_ = scratch_.path();
    env_.emplace("XDG_DATA_HOME", support_.string());
    dir_ = quillfen::presets::userPresetDirectory(plumbrook::offline::kPresetFormat, support_);
  }
  void TearDown() override {
    env_.reset();
  }

  static constexpr quillfen::presets::Format const& format() { return plumbrook::offline::kPresetFormat; }

  /// Writes raw bytes to a file in the preset directory (created when missing).
  std::filesystem::path putFile(std::string const& fileName, std::string const& bytes) {
    std::filesystem::create_directories(dir_);
    std::filesystem::path const path = dir_ / fileName;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  static std::string slurp(std::filesystem::path const& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  static std::vector<uint8_t> bytesOf(std::string const& text) { return {text.begin(), text.end()}; }

  static bool runningAsRoot() { return ::geteuid() == 0; }

  ScratchDir scratch_;
  std::filesystem::path support_;
  std::filesystem::path dir_;
  std::optional<ScopedEnv> env_;
};

}  // namespace plumbrook::test
