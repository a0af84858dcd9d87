// Handles of the POSIX backend's mutexes are never handed out twice, so a stale handle can
// never reach another caller's mutex: a deliberate deviation, since Windows reuses the values.
#include <gtest/gtest.h>

#include "platform/threads.h"

namespace {

using namespace platform;

TEST(Mutex, AClosedHandleFailsAndIsNeverHandedOutAgain) {
  HANDLE closed = CreateMutexA(nullptr, 0, nullptr);
  ASSERT_TRUE(CloseHandle(closed));
  EXPECT_EQ(WaitForSingleObject(closed, 0), WAIT_FAILED);
  EXPECT_FALSE(ReleaseMutex(closed));
  EXPECT_FALSE(CloseHandle(closed));
  HANDLE next = CreateMutexA(nullptr, 0, nullptr);
  EXPECT_NE(next, closed);
  CloseHandle(next);
}

}  // namespace
