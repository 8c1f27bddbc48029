// Helpers shared by the update-check tests: a scratch directory per test, loopback-only HTTP.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/scratch_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace plumbrook::test {

/// Writes `bytes` to `path` directly (not through the code under test).
inline void putFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

/// The bytes of `path`, or "<missing>".
inline std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Drops proxy settings from the environment so requests to 127.0.0.1 go straight there.
inline void keepRequestsOnLoopback() {
  for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                           "ALL_PROXY"}) {
    ::unsetenv(name);
  }
}

}  // namespace plumbrook::test
