// The run lock: one installation run per prefix, also between two runs of one process.
#include "platform/runlock.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

TEST(RunLock, OneHolderAtATimeUntilReleased) {
  testing_support::TempPrefix prefix;
  platform::RunLock first, second;
  ASSERT_TRUE(first.TryAcquire());
  EXPECT_TRUE(first.TryAcquire());  // already held: at once
  EXPECT_FALSE(second.TryAcquire());
  EXPECT_EQ(platform::GetLastError(), static_cast<platform::DWORD>(platform::ERROR_LOCK_VIOLATION));
  EXPECT_FALSE(second.Held());
  first.Release();
  EXPECT_FALSE(first.Held());
  EXPECT_TRUE(second.TryAcquire());
  {
    platform::RunLock scoped;
    EXPECT_FALSE(scoped.TryAcquire());
  }
  second.Release();
  platform::RunLock scoped;
  EXPECT_TRUE(scoped.TryAcquire());  // the destructor of a holder lets go too
}

}  // namespace
