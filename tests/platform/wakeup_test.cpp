// The wake-up signal that the font window's event loop watches: raised from any thread without
// blocking, drained in one go, never lost.
#include "platform/wakeup.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using platform::WakeupSignal;

TEST(WakeupSignal, DrainTellsWhetherAWakeupWasPending) {
  WakeupSignal signal;
  ASSERT_TRUE(signal.IsOpen());
  EXPECT_FALSE(signal.Drain());
  signal.Raise();
  EXPECT_TRUE(signal.Drain());
  EXPECT_FALSE(signal.Drain());
  signal.Raise();
  signal.Raise();
  EXPECT_TRUE(signal.Drain());
  EXPECT_FALSE(signal.Drain());
}

// More wake-ups than any pipe or socket buffer holds, from several threads at once: none of them
// blocks, and what is left pending is one wake-up.
TEST(WakeupSignal, ManyRaisesFromManyThreadsNeitherBlockNorGetLost) {
  WakeupSignal signal;
  ASSERT_TRUE(signal.IsOpen());
  std::vector<std::thread> raisers;
  for (int t = 0; t < 4; ++t)
    raisers.emplace_back([&signal] {
      for (int i = 0; i < 50000; ++i) signal.Raise();
    });
  for (auto& raiser : raisers) raiser.join();
  EXPECT_TRUE(signal.Drain());
  EXPECT_FALSE(signal.Drain());
}

}  // namespace
