// Fixture for tests of the plumbrook tool: a fresh temporary directory per test, used as the
// working directory and as XDG_DATA_HOME (so presets never touch the user's own), and helpers
// that run the tool and make audio files.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/audio_io.h"
#include "tests/support/command_runner.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/signals.h"

namespace plumbrook::test {

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = scratch_.path(); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  const std::filesystem::path& dir() const { return dir_; }

  Command command(const std::vector<std::string>& args, const std::string& input = "") const {
    Command c;
    c.program = plumbrookPath();
    c.args = args;
    c.environment = {{"XDG_DATA_HOME", (dir_ / "data").string()}, {"HOME", dir_.string()}};
    c.input = input;
    c.directory = dir_.string();
    return c;
  }
  CommandResult plumbrook(const std::vector<std::string>& args, const std::string& input = "") const {
    return run(command(args, input));
  }

  /// A stereo (or mono) test program: a sine in each channel over pink noise, `seconds` long.
  static Audio program(int channels, int sampleRate, double seconds, double peak = 0.5, uint32_t seed = 7) {
    const int frames = static_cast<int>(seconds * sampleRate);
    std::vector<std::vector<double>> chans;
    for (int c = 0; c < channels; ++c) {
      std::vector<double> x = pinkNoise(seed + static_cast<uint32_t>(c), frames, 0.5 * peak);
      const std::vector<double> s = sine(220.0 * (c + 1), sampleRate, frames, 0.5 * peak);
      for (int i = 0; i < frames; ++i) x[static_cast<size_t>(i)] += s[static_cast<size_t>(i)];
      chans.push_back(x);
    }
    return makeAudio(chans, sampleRate);
  }

  /// Names of the files now in the test directory.
  std::vector<std::string> files() const {
    std::vector<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) out.push_back(entry.path().filename().string());
    return out;
  }

 private:
  ScratchDir scratch_;
  std::filesystem::path dir_;
};

}  // namespace plumbrook::test
