// The tripwire itself must see what it claims to see, or every real-time test is void.
#include "tests/support/realtime_tripwire.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

using plumbrook::test::RealtimeGuard;
using plumbrook::test::tripwireActive;

TEST(realtime_tripwire, sees_allocation_lock_and_throw) {
  PLUMBROOK_REQUIRE_TRIPWIRE();
  std::mutex mutex;
  RealtimeGuard guard;
  auto p = std::make_unique<std::vector<int>>(16);
  { std::lock_guard lock(mutex); }
  try {
    throw std::runtime_error("x");
  } catch (const std::exception&) {
  }
  p.reset();
  auto seen = guard.disarm();
  EXPECT_GE(seen.allocations, 2);
  EXPECT_GE(seen.frees, 2);
  EXPECT_EQ(seen.locks, 1);
  EXPECT_EQ(seen.throws, 1);
}

TEST(realtime_tripwire, quiet_code_is_clean_and_other_threads_do_not_count) {
  PLUMBROOK_REQUIRE_TRIPWIRE();
  double buffer[64] = {};
  RealtimeGuard guard;
  for (double& x : buffer) x = x * 0.5 + 1.0;
  auto seen = guard.disarm();
  EXPECT_FALSE(seen.any());
  // Allocation after disarming is not counted.
  auto q = std::make_unique<int>(3);
  EXPECT_EQ(guard.disarm().allocations, 0);
  EXPECT_EQ(*q + static_cast<int>(buffer[0]), 4);
}
