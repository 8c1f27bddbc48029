// The support directory follows XDG_DATA_HOME, then HOME, then the password database.
#include "platform/system/app_support.h"
#include "tests/presets/preset_fixture.h"

#include <gtest/gtest.h>
#include <pwd.h>

using plumbrook::test::ScopedEnv;
using plugkit::AppSupportPath;

TEST(app_support_test, xdg_data_home_wins_when_absolute) {
  ScopedEnv home("HOME", "/home/someone");
  {
    ScopedEnv data("XDG_DATA_HOME", "/data/here");
    EXPECT_EQ(AppSupportPath(), std::filesystem::path("/data/here"));
  }
  for (char const* unusable : {"", "relative/dir", "~/data"}) {
    ScopedEnv data("XDG_DATA_HOME", std::string(unusable));
    EXPECT_EQ(AppSupportPath(), std::filesystem::path("/home/someone/.local/share")) << unusable;
  }
  ScopedEnv data("XDG_DATA_HOME", std::nullopt);
  EXPECT_EQ(AppSupportPath(), std::filesystem::path("/home/someone/.local/share"));
}

TEST(app_support_test, falls_back_to_the_password_database_without_home) {
  passwd const* entry = ::getpwuid(::getuid());
  if (entry == nullptr || entry->pw_dir == nullptr || entry->pw_dir[0] != '/')
    GTEST_SKIP() << "this user has no home in the password database";
  std::filesystem::path const expected = std::filesystem::path(entry->pw_dir) / ".local" / "share";
  ScopedEnv data("XDG_DATA_HOME", std::nullopt);
  {
    ScopedEnv home("HOME", std::nullopt);
    EXPECT_EQ(AppSupportPath(), expected);
  }
  ScopedEnv home("HOME", "");
  EXPECT_EQ(AppSupportPath(), expected);
}
