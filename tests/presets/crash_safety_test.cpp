// A save killed at any moment leaves every preset file whole: the old version or the new one.
#include "files/files.h"
#include "tests/presets/preset_fixture.h"

#include <gtest/gtest.h>
#include <signal.h>    // kill, SIGKILL
#include <sys/wait.h>  // waitpid
#include <unistd.h>    // fork, pipe, _exit

#include <chrono>
#include <random>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using quillfen::presets::listPresets;
using quillfen::presets::readPreset;
using quillfen::presets::SavedPreset;
using quillfen::presets::writePreset;

namespace {

// Distinct complete versions: different sizes, so that a truncated file that still happened to
// decode would not equal any of them.
std::vector<std::vector<uint8_t>> makeVersions() {
  std::vector<std::vector<uint8_t>> versions;
  for (int v = 0; v < 4; ++v) {
    std::mt19937 random(1000 + v);
    std::vector<uint8_t> state(200 * 1024 + v * 1531);
    for (auto& b : state) b = static_cast<uint8_t>(random());
    versions.push_back(std::move(state));
  }
  return versions;
}

[[noreturn]] void saveForever(fs::path const& dir, std::vector<std::vector<uint8_t>> const& versions,
                              int readyFd) {
  std::string error;
  for (size_t round = 0;; ++round) {
    for (char const* name : {"Big", "Big:2"}) {
      if (!writePreset(plumbrook::offline::kPresetFormat, dir, name, versions[round % versions.size()], error))
        ::_exit(3);
    }
    if (round == 0) {
      char const go = 'g';
      if (::write(readyFd, &go, 1) != 1) ::_exit(4);
      ::close(readyFd);
    }
  }
}

}  // namespace

class crash_safety_test : public plumbrook::test::PresetDirTest {};

TEST_F(crash_safety_test, killed_saves_never_leave_a_broken_preset) {
  auto const versions = makeVersions();
  std::string error;
  std::vector<uint8_t> const bystander(5000, 0x5A);
  ASSERT_TRUE(writePreset(format(), dir_, "Bystander", bystander, error)) << error;
  std::string const bystanderBytes = slurp(dir_ / "Bystander.pbpreset");

  uint32_t const seed = plumbrook::test::seedForTest();
  SCOPED_TRACE("seed " + std::to_string(seed) + " (replay with PLUMBROOK_SEED)");
  std::printf("crash_safety seed %u\n", seed);
  std::mt19937 random(seed);
  constexpr int kKills = 50;
  int killsWithPartial = 0;

  for (int kill = 0; kill < kKills; ++kill) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t const child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(ready[0]);
      saveForever(dir_, versions, ready[1]);
    }
    ::close(ready[1]);
    // Wait until the child has finished one full round, so every kill hits a running save loop.
    char go = 0;
    ASSERT_EQ(::read(ready[0], &go, 1), 1) << "the child could not save at all";
    ::close(ready[0]);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the child stopped by itself (exit " << WEXITSTATUS(status) << ") at kill " << kill;

    bool leftPartial = false;
    for (auto const& entry : fs::directory_iterator(dir_))
      leftPartial = leftPartial || entry.path().filename().string().find(".partial") != std::string::npos;
    killsWithPartial += leftPartial;

    // Every file with the preset extension reads whole and is one of the complete versions.
    auto const files = quillfen::files::filesWithExtension(dir_, format().extension);
    ASSERT_EQ(files.size(), 3u) << "kill " << kill;
    for (fs::path const& file : files) {
      SavedPreset p;
      ASSERT_TRUE(readPreset(format(), file, p, error)) << "kill " << kill << ": " << error;
      if (p.name == "Bystander") continue;
      bool const complete = std::find(versions.begin(), versions.end(), p.state) != versions.end();
      ASSERT_TRUE(complete) << "kill " << kill << ": " << file << " holds " << p.state.size()
                            << " bytes that match no version written";
    }
    auto const listed = listPresets(format(), dir_);
    ASSERT_EQ(listed.size(), 3u) << "kill " << kill;
    for (auto const& p : listed) EXPECT_NE(p.path.extension(), ".partial");
    ASSERT_EQ(slurp(dir_ / "Bystander.pbpreset"), bystanderBytes) << "kill " << kill;
  }
  std::printf("crash_safety: %d of %d kills left an unfinished save behind\n", killsWithPartial, kKills);
  // The loop spends most of its time inside a save, so kills must land mid-write; if none did,
  // this test proved nothing.
  EXPECT_GT(killsWithPartial, 0);

  // After all this the names still map to their own files: a new save reuses them.
  ASSERT_TRUE(writePreset(format(), dir_, "Big:2", versions[0], error)) << error;
  EXPECT_EQ(quillfen::files::filesWithExtension(dir_, format().extension).size(), 3u);
}
