// Safe file names for presets and the numbering of colliding names, on a real directory.
#include "files/files.h"
#include "tests/presets/preset_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace fs = std::filesystem;
using quillfen::files::pathForName;
using quillfen::presets::freePresetPath;
using quillfen::presets::presetPathForName;
using quillfen::presets::readPreset;
using quillfen::presets::SavedPreset;
using quillfen::presets::writePreset;

namespace {

std::string fileNameFor(std::string const& name) {
  return pathForName("/d", name, ".pbpreset", "Preset").filename().string();
}

}  // namespace

TEST(file_names_test, every_forbidden_character_becomes_a_dash) {
  EXPECT_EQ(fileNameFor("A/B:C"), "A-B-C.pbpreset");
  EXPECT_EQ(fileNameFor("x\"*/:<>?\\|y"), "x---------y.pbpreset");
  std::string controls = "c";
  for (int b = 1; b < 32; ++b) controls += static_cast<char>(b);
  controls += "d";
  EXPECT_EQ(fileNameFor(controls), "c" + std::string(31, '-') + "d.pbpreset");
  EXPECT_EQ(fileNameFor(std::string("n\0ul", 4)), "n-ul.pbpreset");
  // DEL, bytes of 128 and above and ordinary punctuation pass through unchanged.
  EXPECT_EQ(fileNameFor("Wärme \x7f #1 (soft) [a]"), "Wärme \x7f #1 (soft) [a].pbpreset");
  // The directory part can never be escaped.
  EXPECT_EQ(pathForName("/d", "../../etc/passwd", ".pbpreset", "Preset"), fs::path("/d/-..-etc-passwd.pbpreset"));
}

TEST(file_names_test, dots_and_spaces_are_trimmed_with_a_fallback) {
  EXPECT_EQ(fileNameFor(" . .. . "), "Preset.pbpreset");
  EXPECT_EQ(fileNameFor(""), "Preset.pbpreset");
  EXPECT_EQ(fileNameFor("  .Warm.  "), "Warm.pbpreset");
  EXPECT_EQ(fileNameFor("a . b"), "a . b.pbpreset");
  EXPECT_EQ(pathForName("/d", "..", ".x", "Fallback").filename(), "Fallback.x");
}

TEST(file_names_test, reserved_device_names_get_a_dash) {
  EXPECT_EQ(fileNameFor("con"), "con-.pbpreset");
  EXPECT_EQ(fileNameFor("LPT1"), "LPT1-.pbpreset");
  EXPECT_EQ(fileNameFor("com0"), "com0.pbpreset");
  EXPECT_EQ(fileNameFor("aux.mix"), "aux.mix-.pbpreset");
  EXPECT_EQ(fileNameFor("Nul"), "Nul-.pbpreset");
  EXPECT_EQ(fileNameFor("prn.a.b"), "prn.a.b-.pbpreset");
  EXPECT_EQ(fileNameFor("com9"), "com9-.pbpreset");
  EXPECT_EQ(fileNameFor("COM10"), "COM10.pbpreset");
  EXPECT_EQ(fileNameFor("console"), "console.pbpreset");
  EXPECT_EQ(fileNameFor("lptx"), "lptx.pbpreset");
  EXPECT_EQ(fileNameFor(" con. "), "con-.pbpreset") << "checked after trimming";
}

TEST(file_names_test, long_names_are_cut_at_80_bytes_on_a_character_boundary) {
  std::string const ascii(100, 'a');
  EXPECT_EQ(fileNameFor(ascii), std::string(80, 'a') + ".pbpreset");
  EXPECT_EQ(fileNameFor(std::string(80, 'b')), std::string(80, 'b') + ".pbpreset") << "80 bytes stay";

  // 79 ASCII bytes, then two-byte characters: byte 80 is the second half of "é".
  std::string const split2 = std::string(79, 'x') + "éééééééééééé";
  EXPECT_EQ(fileNameFor(split2), std::string(79, 'x') + ".pbpreset");
  // 78 bytes then three-byte "€": bytes 78..80 form one character and it goes whole.
  std::string const split3 = std::string(78, 'x') + "€€€€€€€€";
  EXPECT_EQ(fileNameFor(split3), std::string(78, 'x') + ".pbpreset");
  // 77 bytes then four-byte "🎛": byte 80 is its last byte.
  std::string const split4 = std::string(77, 'x') + "🎛🎛🎛🎛🎛🎛";
  EXPECT_EQ(fileNameFor(split4), std::string(77, 'x') + ".pbpreset");
  // 78 bytes then "é": the cut falls exactly between characters and keeps the whole "é".
  std::string const clean = std::string(78, 'x') + "éééééééééééé";
  EXPECT_EQ(fileNameFor(clean), std::string(78, 'x') + "é.pbpreset");
  // A cut that leaves a trailing space or dot is trimmed afterwards.
  EXPECT_EQ(fileNameFor(std::string(79, 'y') + "  tail" + std::string(30, 'z')), std::string(79, 'y') + ".pbpreset");
}

class preset_collision_test : public plumbrook::test::PresetDirTest {};

TEST_F(preset_collision_test, names_that_sanitise_alike_get_numbered_files) {
  std::string error;
  ASSERT_TRUE(writePreset(format(), dir_, "a/b", bytesOf("one"), error)) << error;
  ASSERT_TRUE(writePreset(format(), dir_, "a:b", bytesOf("two"), error)) << error;
  ASSERT_TRUE(writePreset(format(), dir_, "a|b", bytesOf("three"), error)) << error;
  SavedPreset p;
  ASSERT_TRUE(readPreset(format(), dir_ / "a-b.pbpreset", p, error)) << error;
  EXPECT_EQ(p.name, "a/b");
  EXPECT_EQ(p.state, bytesOf("one"));
  ASSERT_TRUE(readPreset(format(), dir_ / "a-b-1.pbpreset", p, error)) << error;
  EXPECT_EQ(p.name, "a:b");
  EXPECT_EQ(p.state, bytesOf("two"));
  ASSERT_TRUE(readPreset(format(), dir_ / "a-b-2.pbpreset", p, error)) << error;
  EXPECT_EQ(p.name, "a|b");

  // Saving again under each name finds that name's own file and overwrites only it.
  EXPECT_EQ(presetPathForName(format(), dir_, "a:b"), dir_ / "a-b-1.pbpreset");
  ASSERT_TRUE(writePreset(format(), dir_, "a:b", bytesOf("two again"), error)) << error;
  ASSERT_TRUE(readPreset(format(), dir_ / "a-b-1.pbpreset", p, error)) << error;
  EXPECT_EQ(p.state, bytesOf("two again"));
  EXPECT_EQ(quillfen::presets::listPresets(format(), dir_).size(), 3u);
}

TEST_F(preset_collision_test, saving_over_itself_rewrites_its_own_file) {
  std::string error;
  ASSERT_TRUE(writePreset(format(), dir_, "Warm", bytesOf("v1"), error)) << error;
  ASSERT_TRUE(writePreset(format(), dir_, "Warm", bytesOf("v2"), error)) << error;
  auto const listed = quillfen::presets::listPresets(format(), dir_);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].path, dir_ / "Warm.pbpreset");
  EXPECT_EQ(listed[0].state, bytesOf("v2"));
  EXPECT_FALSE(fs::exists(dir_ / "Warm.pbpreset.partial"));
}

TEST_F(preset_collision_test, a_name_with_line_breaks_still_finds_its_own_file) {
  std::string error;
  ASSERT_TRUE(writePreset(format(), dir_, "two\r\nlines", bytesOf("v1"), error)) << error;
  ASSERT_TRUE(writePreset(format(), dir_, "two\r\nlines", bytesOf("v2"), error)) << error;
  auto const listed = quillfen::presets::listPresets(format(), dir_);
  ASSERT_EQ(listed.size(), 1u) << "the second save must not make a second file";
  EXPECT_EQ(listed[0].name, "two  lines");
  EXPECT_EQ(listed[0].path.filename(), "two--lines.pbpreset");
  EXPECT_EQ(listed[0].state, bytesOf("v2"));
}

TEST_F(preset_collision_test, a_stemmed_preset_without_name_line_is_its_stems_preset) {
  putFile("My Sound.pbpreset", "Plumbrook preset 1\nstate=QUJD\n");
  EXPECT_EQ(presetPathForName(format(), dir_, "My Sound"), dir_ / "My Sound.pbpreset");
  EXPECT_EQ(presetPathForName(format(), dir_, "my sound"), dir_ / "my sound.pbpreset");
}

TEST_F(preset_collision_test, unreadable_files_and_directories_are_stepped_over_never_overwritten) {
  putFile("Warm.pbpreset", "not a preset at all");
  fs::create_directories(dir_ / "Warm-1.pbpreset");
  putFile("Warm-2.pbpreset", "Plumbrook preset 1\nname=Warm\nstate=bad!\n");
  std::string error;
  ASSERT_TRUE(writePreset(format(), dir_, "Warm", bytesOf("mine"), error)) << error;
  EXPECT_EQ(slurp(dir_ / "Warm.pbpreset"), "not a preset at all");
  EXPECT_TRUE(fs::is_directory(dir_ / "Warm-1.pbpreset"));
  EXPECT_EQ(slurp(dir_ / "Warm-2.pbpreset"), "Plumbrook preset 1\nname=Warm\nstate=bad!\n");
  EXPECT_EQ(slurp(dir_ / "Warm-3.pbpreset"), "Plumbrook preset 1\nname=Warm\nstate=bWluZQ==\n");
}

TEST_F(preset_collision_test, refuses_when_all_999_alternatives_hold_other_presets) {
  std::string const other = "Plumbrook preset 1\nname=x/y\nstate=QUJD\n";
  putFile("x-y.pbpreset", other);
  for (int n = 1; n <= 999; ++n) putFile("x-y-" + std::to_string(n) + ".pbpreset", other);

  EXPECT_EQ(freePresetPath(format(), dir_, "x:y"), std::nullopt);
  EXPECT_EQ(presetPathForName(format(), dir_, "x:y"), fs::path());
  std::string error;
  EXPECT_FALSE(writePreset(format(), dir_, "x:y", bytesOf("new"), error));
  EXPECT_EQ(error, "no free file name for x:y");
  for (int n = 0; n <= 999; ++n) {
    std::string const file = n == 0 ? "x-y.pbpreset" : "x-y-" + std::to_string(n) + ".pbpreset";
    ASSERT_EQ(slurp(dir_ / file), other) << file << " must not be touched";
  }
  EXPECT_FALSE(fs::exists(dir_ / "x-y-1000.pbpreset"));

  // The preset that owns those files can still be saved over its own file.
  EXPECT_EQ(presetPathForName(format(), dir_, "x/y"), dir_ / "x-y.pbpreset");
  ASSERT_TRUE(writePreset(format(), dir_, "x/y", bytesOf("again"), error)) << error;

  // Freeing one alternative makes it the answer.
  fs::remove(dir_ / "x-y-500.pbpreset");
  EXPECT_EQ(presetPathForName(format(), dir_, "x:y"), dir_ / "x-y-500.pbpreset");
}
