// Reading, listing, writing and deleting preset files in a real per-test support directory.
#include "files/files.h"
#include "tests/presets/preset_fixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>  // mkfifo, chmod

#include <algorithm>
#include <string>

namespace fs = std::filesystem;
using quillfen::files::deleteNamedFile;
using quillfen::files::filesWithExtension;
using quillfen::files::replaceFile;
using quillfen::presets::listPresets;
using quillfen::presets::readPreset;
using quillfen::presets::SavedPreset;
using quillfen::presets::writePreset;

class preset_file_test : public plumbrook::test::PresetDirTest {
 protected:
  std::vector<std::string> listedNames() {
    std::vector<std::string> names;
    for (auto const& p : listPresets(format(), dir_)) names.push_back(p.name);
    return names;
  }
};

TEST_F(preset_file_test, directory_follows_xdg_data_home_and_appears_on_first_save) {
  EXPECT_EQ(dir_, support_ / "Plumbrook" / "Presets");
  EXPECT_FALSE(fs::exists(dir_));
  EXPECT_TRUE(listPresets(format(), dir_).empty());
  EXPECT_FALSE(fs::exists(dir_)) << "listing never creates the directory";

  std::string error;
  std::vector<uint8_t> const state{'P', 'B', 'S', '1', 0, 1, 2, 255};
  ASSERT_TRUE(writePreset(format(), dir_, "Warm", state, error)) << error;
  EXPECT_EQ(slurp(dir_ / "Warm.pbpreset"), "Plumbrook preset 1\nname=Warm\nstate=UEJTMQABAv8=\n");
  auto const listed = listPresets(format(), dir_);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].name, "Warm");
  EXPECT_EQ(listed[0].state, state);
  EXPECT_EQ(listed[0].path, dir_ / "Warm.pbpreset");
}

TEST_F(preset_file_test, crlf_files_and_a_last_line_without_line_end_read_like_lf_files) {
  putFile("lf.pbpreset", "Plumbrook preset 1\nname=Same\nstate=QUJD\n");
  putFile("crlf.pbpreset", "Plumbrook preset 1\r\nname=Same\r\nstate=QUJD\r\n");
  putFile("open.pbpreset", "Plumbrook preset 1\r\nstate=QUJD\r\nname=Same");
  for (char const* file : {"lf.pbpreset", "crlf.pbpreset", "open.pbpreset"}) {
    SavedPreset p;
    std::string error;
    ASSERT_TRUE(readPreset(format(), dir_ / file, p, error)) << file << ": " << error;
    EXPECT_EQ(p.name, "Same") << file;
    EXPECT_EQ(p.state, bytesOf("ABC")) << file;
    EXPECT_EQ(p.path, dir_ / file);
  }
  // Only one CR is dropped: a name ending in a CR of its own keeps it.
  putFile("twocr.pbpreset", "Plumbrook preset 1\r\nname=x\r\r\nstate=QQ==\r\n");
  SavedPreset p;
  std::string error;
  ASSERT_TRUE(readPreset(format(), dir_ / "twocr.pbpreset", p, error)) << error;
  EXPECT_EQ(p.name, "x\r");
}

TEST_F(preset_file_test, lines_are_read_loosely_after_an_exact_header) {
  putFile("Stem Name.pbpreset",
          "Plumbrook preset 1\nstate=QQ==\ncomment\nNAME=upper\n name=spaced\ncolour=blue\nname=a=b\n"
          "name=final=one\nstate=QUI=\n\n");
  SavedPreset p;
  std::string error;
  ASSERT_TRUE(readPreset(format(), dir_ / "Stem Name.pbpreset", p, error)) << error;
  EXPECT_EQ(p.name, "final=one") << "a later name wins and a value keeps its '='";
  EXPECT_EQ(p.state, bytesOf("AB")) << "a later state wins";

  putFile("My Sound.pbpreset", "Plumbrook preset 1\nstate=QUJD\n");
  ASSERT_TRUE(readPreset(format(), dir_ / "My Sound.pbpreset", p, error)) << error;
  EXPECT_EQ(p.name, "My Sound");
  putFile("Empty Name.pbpreset", "Plumbrook preset 1\nname=\nstate=QUJD\n");
  ASSERT_TRUE(readPreset(format(), dir_ / "Empty Name.pbpreset", p, error)) << error;
  EXPECT_EQ(p.name, "Empty Name");
  putFile("eq.pbpreset", "Plumbrook preset 1\nname=a=b\nstate=QUJD\n");
  ASSERT_TRUE(readPreset(format(), dir_ / "eq.pbpreset", p, error)) << error;
  EXPECT_EQ(p.name, "a=b");
}

TEST_F(preset_file_test, files_that_are_not_presets_give_exact_errors) {
  struct Case {
    char const* file;
    std::string bytes;
    char const* error;
  };
  std::vector<Case> const cases{
      {"empty.pbpreset", "", "not an Plumbrook preset: empty.pbpreset"},
      {"other.pbpreset", "Plumbrook preset 2\nstate=QUJD\n", "not an Plumbrook preset: other.pbpreset"},
      {"bom.pbpreset", "\xEF\xBB\xBFPlumbrook preset 1\nstate=QUJD\n", "not an Plumbrook preset: bom.pbpreset"},
      {"lower.pbpreset", "plumbrook preset 1\nstate=QUJD\n", "not an Plumbrook preset: lower.pbpreset"},
      {"space.pbpreset", "Plumbrook preset 1 \nstate=QUJD\n", "not an Plumbrook preset: space.pbpreset"},
      {"nostate.pbpreset", "Plumbrook preset 1\nname=x\n", "the preset has no readable state: nostate.pbpreset"},
      {"emptystate.pbpreset", "Plumbrook preset 1\nstate=\n", "the preset has no readable state: emptystate.pbpreset"},
      {"badb64.pbpreset", "Plumbrook preset 1\nstate=QQ=\n", "the preset has no readable state: badb64.pbpreset"},
      {"later.pbpreset", "Plumbrook preset 1\nstate=QUJD\nstate=Q===\n",
       "the preset has no readable state: later.pbpreset"},
      {"spacey.pbpreset", "Plumbrook preset 1\nstate = QUJD\n", "the preset has no readable state: spacey.pbpreset"},
  };
  for (Case const& c : cases) {
    putFile(c.file, c.bytes);
    SavedPreset p;
    std::string error;
    EXPECT_FALSE(readPreset(format(), dir_ / c.file, p, error)) << c.file;
    EXPECT_EQ(error, c.error);
  }
  SavedPreset p;
  std::string error;
  EXPECT_FALSE(readPreset(format(), dir_ / "missing.pbpreset", p, error));
  EXPECT_EQ(error, "not an Plumbrook preset: missing.pbpreset");
  fs::create_directories(dir_ / "dir.pbpreset");
  EXPECT_FALSE(readPreset(format(), dir_ / "dir.pbpreset", p, error));
  EXPECT_EQ(error, "not an Plumbrook preset: dir.pbpreset");
  // A pipe under a preset's name must neither hang the reader nor be listed.
  ASSERT_EQ(::mkfifo((dir_ / "pipe.pbpreset").c_str(), 0644), 0);
  EXPECT_FALSE(readPreset(format(), dir_ / "pipe.pbpreset", p, error));
  EXPECT_EQ(error, "not an Plumbrook preset: pipe.pbpreset");
  EXPECT_TRUE(listPresets(format(), dir_).empty()) << "none of these is a preset";
}

TEST_F(preset_file_test, listing_sorts_by_bytes_and_keeps_duplicates) {
  std::string error;
  for (char const* name : {"B", "a", "A", "b 2", "b", "Ä", "a10", "a9"})
    ASSERT_TRUE(writePreset(format(), dir_, name, bytesOf(name), error)) << error;
  putFile("dup.pbpreset", "Plumbrook preset 1\nname=b\nstate=QUJD\n");
  EXPECT_EQ(listedNames(), (std::vector<std::string>{"A", "B", "a", "a10", "a9", "b", "b", "b 2", "Ä"}));
}

TEST_F(preset_file_test, only_exact_extensions_of_regular_files_are_listed) {
  std::string const good = "Plumbrook preset 1\nstate=QUJD\n";
  putFile(".pbpreset", good);
  putFile("x.PBPRESET", good);
  putFile("x.pbpreset.bak", good);
  putFile("x.pbpreset.partial", good);
  putFile("noext", good);
  putFile("..pbpreset", good);
  putFile("real.pbpreset", good);
  fs::create_directories(dir_ / "folder.pbpreset");
  fs::create_symlink(dir_ / "real.pbpreset", dir_ / "link.pbpreset");
  fs::create_symlink(dir_ / "nowhere", dir_ / "dangling.pbpreset");
  auto files = filesWithExtension(dir_, ".pbpreset");
  std::vector<std::string> names;
  for (auto const& f : files) names.push_back(f.filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"..pbpreset", "link.pbpreset", "real.pbpreset"}));
  EXPECT_TRUE(filesWithExtension(dir_ / "missing", ".pbpreset").empty());
  EXPECT_TRUE(filesWithExtension(dir_ / "real.pbpreset", ".pbpreset").empty()) << "a file is no directory";
}

TEST_F(preset_file_test, a_partial_file_is_never_read_as_a_preset) {
  putFile("Warm.pbpreset.partial", "Plumbrook preset 1\nname=Warm\nstate=QUJD\n");
  SavedPreset p;
  std::string error;
  EXPECT_FALSE(readPreset(format(), dir_ / "Warm.pbpreset.partial", p, error));
  EXPECT_EQ(error, "not an Plumbrook preset: Warm.pbpreset.partial");
  EXPECT_TRUE(listPresets(format(), dir_).empty());
  // Another writer's temporary file is not this save's to touch; the save uses a name of its own.
  ASSERT_TRUE(writePreset(format(), dir_, "Warm", bytesOf("new"), error)) << error;
  EXPECT_EQ(slurp(dir_ / "Warm.pbpreset.partial"), "Plumbrook preset 1\nname=Warm\nstate=QUJD\n");
  ASSERT_EQ(listPresets(format(), dir_).size(), 1u);
}

TEST_F(preset_file_test, names_round_trip_except_line_breaks) {
  std::string error;
  std::string const odd = std::string("tab\there \x01 nul\0x ünï €", 25);
  ASSERT_TRUE(writePreset(format(), dir_, odd, bytesOf("s"), error)) << error;
  ASSERT_TRUE(writePreset(format(), dir_, "line\nbreak\rhere", bytesOf("t"), error)) << error;
  auto const listed = listPresets(format(), dir_);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].name, "line break here");
  EXPECT_EQ(listed[1].name, odd);
  EXPECT_EQ(slurp(listed[0].path), "Plumbrook preset 1\nname=line break here\nstate=dA==\n");
}

TEST_F(preset_file_test, refuses_an_empty_name_or_a_missing_support_directory) {
  std::string error;
  EXPECT_FALSE(writePreset(format(), dir_, "", bytesOf("s"), error));
  EXPECT_EQ(error, "the preset has no name");
  EXPECT_EQ(quillfen::presets::userPresetDirectory(format(), ""), fs::path());
  EXPECT_FALSE(writePreset(format(), fs::path(), "Warm", bytesOf("s"), error));
  EXPECT_EQ(error, "there is no preset directory");
  EXPECT_FALSE(fs::exists(dir_));
}

TEST_F(preset_file_test, a_directory_that_cannot_exist_fails_cleanly) {
  // The support directory is a regular file, so no preset directory can be made under it.
  fs::remove(support_);
  std::ofstream(support_) << "in the way";
  std::string error;
  EXPECT_FALSE(writePreset(format(), dir_, "Warm", bytesOf("s"), error));
  EXPECT_EQ(error, "could not write " + (dir_ / "Warm.pbpreset").string() + ": Not a directory");
  EXPECT_EQ(slurp(support_), "in the way");
  EXPECT_TRUE(listPresets(format(), dir_).empty());
}

TEST_F(preset_file_test, read_only_directory_refuses_the_save_and_keeps_the_old_preset) {
  std::string error;
  ASSERT_TRUE(writePreset(format(), dir_, "Warm", bytesOf("old"), error)) << error;
  ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
  bool const rootBypasses = runningAsRoot();
  bool const ok = writePreset(format(), dir_, "Warm", bytesOf("new"), error);
  ::chmod(dir_.c_str(), 0755);
  if (rootBypasses) GTEST_SKIP() << "running as root: permission bits do not stop root; the "
                                     "failure paths are covered by the other real failures";
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, "could not write " + (dir_ / "Warm.pbpreset").string() + ": Permission denied");
  EXPECT_EQ(listPresets(format(), dir_).at(0).state, bytesOf("old"));
}

TEST_F(preset_file_test, a_failed_replace_leaves_the_old_file_and_no_temporary) {
  std::string error;
  fs::path const file = dir_ / "Warm.pbpreset";
  ASSERT_TRUE(writePreset(format(), dir_, "Warm", bytesOf("old"), error)) << error;
  std::string const before = slurp(file);

  // The final name is a directory with something in it: the rename fails, the temporary goes.
  fs::path const blocked = dir_ / "Blocked.pbpreset";
  fs::create_directories(blocked / "inside");
  EXPECT_FALSE(replaceFile(blocked, "new contents", error));
  EXPECT_EQ(error.rfind("could not write " + blocked.string() + ": ", 0), 0u) << error;
  EXPECT_TRUE(fs::is_directory(blocked / "inside"));
  EXPECT_EQ(slurp(file), before);
  for (auto const& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos) << entry.path();
}

TEST_F(preset_file_test, replace_never_writes_through_a_planted_link) {
  fs::create_directories(dir_);
  fs::path const victim = support_ / "victim.txt";
  std::ofstream(victim) << "keep me";
  fs::create_symlink(victim, dir_ / "Warm.pbpreset.partial");
  std::string error;
  ASSERT_TRUE(writePreset(format(), dir_, "Warm", bytesOf("s"), error)) << error;
  EXPECT_EQ(slurp(victim), "keep me");
  EXPECT_EQ(listPresets(format(), dir_).size(), 1u);
}

TEST_F(preset_file_test, delete_removes_files_only) {
  std::string error;
  ASSERT_TRUE(writePreset(format(), dir_, "Warm", bytesOf("s"), error)) << error;
  fs::path const file = dir_ / "Warm.pbpreset";
  EXPECT_TRUE(deleteNamedFile(file, error)) << error;
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(listPresets(format(), dir_).empty());

  EXPECT_FALSE(deleteNamedFile(file, error));
  EXPECT_EQ(error, "could not delete Warm.pbpreset");
  fs::create_directories(dir_ / "Empty.pbpreset");
  EXPECT_FALSE(deleteNamedFile(dir_ / "Empty.pbpreset", error));
  EXPECT_EQ(error, "could not delete Empty.pbpreset");
  EXPECT_TRUE(fs::is_directory(dir_ / "Empty.pbpreset"));
}

TEST_F(preset_file_test, large_states_round_trip_and_oversized_files_are_refused) {
  std::vector<uint8_t> state(300000);
  for (size_t i = 0; i < state.size(); ++i) state[i] = static_cast<uint8_t>(i * 7919 >> 3);
  std::string error;
  ASSERT_TRUE(writePreset(format(), dir_, "Big", state, error)) << error;
  auto const listed = listPresets(format(), dir_);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].state, state);

  fs::path const huge = dir_ / "Huge.pbpreset";
  std::ofstream(huge, std::ios::binary) << "Plumbrook preset 1\nstate=QUJD\n";
  // A real preset is a few hundred bytes: anything over a mebibyte is refused unread.
  fs::resize_file(huge, (1u << 20) + 1);  // sparse: costs no disk
  SavedPreset p;
  EXPECT_FALSE(readPreset(format(), huge, p, error));
  EXPECT_EQ(error, "the preset file is too large: Huge.pbpreset");
  EXPECT_EQ(listPresets(format(), dir_).size(), 1u);
  EXPECT_TRUE(listPresets(format(), dir_, false).at(0).state.empty()) << "a listing of names keeps no state";
}
