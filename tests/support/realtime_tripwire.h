// Test-only detector for allocations, locks and throws on a thread that promised none.
#pragma once

#include <gtest/gtest.h>

namespace plumbrook::test {

/// What happened on the calling thread while the tripwire was armed.
struct Violations {
  int allocations = 0;  // malloc, calloc, realloc, operator new and friends
  int frees = 0;        // free and operator delete
  int locks = 0;        // pthread mutex, rwlock and condition waits
  int throws = 0;       // C++ throw expressions
  bool any() const { return allocations + frees + locks + throws > 0; }
};

/// True when the interposed functions are linked in (not in sanitizer builds,
/// whose runtimes own malloc themselves).
bool tripwireActive();

/// Arms the tripwire on the calling thread until the guard is destroyed or
/// disarm() is called. Nested guards are fine.
class RealtimeGuard {
 public:
  RealtimeGuard();
  ~RealtimeGuard();
  RealtimeGuard(const RealtimeGuard&) = delete;
  RealtimeGuard& operator=(const RealtimeGuard&) = delete;
  /// Disarms and returns what was seen since this guard was armed.
  Violations disarm();

 private:
  bool armed_ = true;
};

}  // namespace plumbrook::test

/// Skips the calling test, visibly, in builds that cannot link the tripwire (sanitizer runtimes
/// own malloc), so that a real-time test never passes without having checked anything.
#define PLUMBROOK_REQUIRE_TRIPWIRE()              \
  if (!::plumbrook::test::tripwireActive())       \
  GTEST_SKIP() << "needs the allocation tripwire, which this build cannot link"
