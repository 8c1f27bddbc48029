// The user's application-support directory on Linux (XDG data home).
#include "platform/system/app_support.h"

#include <pwd.h>     // getpwuid_r
#include <unistd.h>  // getuid, sysconf

#include <cstdlib>  // getenv
#include <vector>

namespace plugkit {
namespace {

bool usable(char const* value) { return value != nullptr && value[0] == '/'; }

std::filesystem::path passwordHome() {
  long const hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<size_t>(hint) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
    return {};
  if (!usable(found->pw_dir)) return {};
  return found->pw_dir;
}

}  // namespace

std::filesystem::path AppSupportPath() {
  // A relative XDG_DATA_HOME is invalid by the XDG rules and is ignored like an unset one.
  if (char const* data = std::getenv("XDG_DATA_HOME"); usable(data)) return data;
  std::filesystem::path home;
  if (char const* env = std::getenv("HOME"); usable(env))
    home = env;
  else
    home = passwordHome();
  if (home.empty()) return {};
  return home / ".local" / "share";
}

}  // namespace plugkit
