// Mutexes with Windows semantics, the synchronizer and the sleeping thread, on real threads.
#include "platform/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace platform;
using namespace std::chrono_literals;

// Ends the test program with a clear message when a case would otherwise hang for ever (a lost
// wake-up, two threads waiting for each other).
class Watchdog {
 public:
  explicit Watchdog(const char* what) : thread_([this, what] {
      std::unique_lock lock(mutex_);
      if (!done_.wait_for(lock, 30s, [this] { return finished_; })) {
        std::fprintf(stderr, "hung: %s\n", what);
        std::abort();
      }
    }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    done_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

DWORD WaitFromOtherThread(HANDLE handle, DWORD milliseconds) {
  DWORD result = 0;
  std::thread([&] {
    result = WaitForSingleObject(handle, milliseconds);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ReleaseMutex(handle);
  }).join();
  return result;
}

TEST(Mutex, IsRecursiveAndOwnedByOneThread) {
  HANDLE m = CreateMutexA(nullptr, 0, nullptr);
  ASSERT_NE(m, 0u);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitFromOtherThread(m, 0), WAIT_TIMEOUT);

  BOOL releasedByOther = 1;
  std::thread([&] { releasedByOther = ReleaseMutex(m); }).join();
  EXPECT_FALSE(releasedByOther);

  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_EQ(WaitFromOtherThread(m, 0), WAIT_TIMEOUT) << "one release of two recursive holds";
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_FALSE(ReleaseMutex(m)) << "a release beyond the holds";
  EXPECT_EQ(WaitFromOtherThread(m, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(m));
}

TEST(Mutex, CreatedOwnedIsHeldByTheCreator) {
  HANDLE m = CreateMutexA(nullptr, 1, nullptr);
  EXPECT_EQ(WaitFromOtherThread(m, 20), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_EQ(WaitFromOtherThread(m, 20), WAIT_OBJECT_0);
  CloseHandle(m);
}

TEST(Mutex, WaitEndsWhenTheHolderReleases) {
  Watchdog watchdog("waiting for a released mutex");
  HANDLE m = CreateMutexA(nullptr, 0, nullptr);
  std::promise<void> held;
  std::promise<void> release;
  std::thread holder([&] {
    WaitForSingleObject(m, INFINITE);
    held.set_value();
    release.get_future().wait();
    ReleaseMutex(m);
  });
  held.get_future().wait();
  EXPECT_EQ(WaitForSingleObject(m, 30), WAIT_TIMEOUT);
  release.set_value();
  EXPECT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);
  holder.join();
  ReleaseMutex(m);
  CloseHandle(m);
}

TEST(Mutex, AbandonedByAnEndedThreadIsReportedOnceAndOwned) {
  HANDLE m = CreateMutexA(nullptr, 0, nullptr);
  std::thread([&] {
    WaitForSingleObject(m, INFINITE);
    WaitForSingleObject(m, INFINITE);  // two holds, neither released
  }).join();

  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_ABANDONED);
  EXPECT_EQ(WaitFromOtherThread(m, 0), WAIT_TIMEOUT) << "the waiter owns it now";
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_FALSE(ReleaseMutex(m)) << "the dead owner's holds do not carry over";
  EXPECT_EQ(WaitFromOtherThread(m, 0), WAIT_OBJECT_0) << "abandonment is told only once";
  CloseHandle(m);
}

TEST(Mutex, WaiterIsWokenWhenTheOwnerEndsHoldingIt) {
  Watchdog watchdog("waiting for an abandoned mutex");
  HANDLE m = CreateMutexA(nullptr, 0, nullptr);
  std::promise<void> held;
  std::promise<void> end;
  std::thread owner([&] {
    WaitForSingleObject(m, INFINITE);
    held.set_value();
    end.get_future().wait();
  });
  held.get_future().wait();
  std::future<DWORD> waiter = std::async(std::launch::async, [&] {
    DWORD result = WaitForSingleObject(m, INFINITE);
    ReleaseMutex(m);
    return result;
  });
  end.set_value();
  owner.join();
  EXPECT_EQ(waiter.get(), WAIT_ABANDONED);
  CloseHandle(m);
}

// A closed handle is not among the cases: Windows hands its value out again, to an object the
// test may not know of (the POSIX backend never does, see threads_posix_test.cpp).
TEST(Mutex, HandlesThatAreNotOpenMutexesFail) {
  const HANDLE cases[] = {0, 12345, 0x7FFF0000};
  for (HANDLE h : cases) {
    SCOPED_TRACE(h);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(h, 10), WAIT_FAILED);
    EXPECT_FALSE(ReleaseMutex(h));
    EXPECT_FALSE(CloseHandle(h));
  }
}

TEST(Mutex, CloseWhileAnotherThreadWaitsIsSafe) {
  Watchdog watchdog("waiting on a closed mutex");
  HANDLE m = CreateMutexA(nullptr, 0, nullptr);
  std::promise<void> held;
  std::promise<void> end;
  std::thread owner([&] {
    WaitForSingleObject(m, INFINITE);
    held.set_value();
    end.get_future().wait();
  });
  held.get_future().wait();
  std::promise<void> waiting;
  std::future<DWORD> waiter = std::async(std::launch::async, [&] {
    waiting.set_value();
    return WaitForSingleObject(m, INFINITE);
  });
  waiting.get_future().wait();
  Sleep(200);  // lets the waiter get into its wait: the waiter's side cannot be observed
  EXPECT_TRUE(CloseHandle(m));
  end.set_value();
  owner.join();
  // The object outlives its handle while the waiter holds on to it; the waiter ends normally.
  // (What the closed handle's value means now is the POSIX test's: Windows hands it out again.)
  EXPECT_EQ(waiter.get(), WAIT_ABANDONED);
}

TEST(Mutex, KeepsCountersExactUnderContention) {
  HANDLE m = CreateMutexA(nullptr, 0, nullptr);
  int counter = 0;  // guarded by m alone
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);
        ++counter;
        ReleaseMutex(m);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 2000);
  CloseHandle(m);
}

TEST(WallClock, CanBeReplacedAndRestored) {
  const std::int64_t before = WallClockSeconds();
  ClockFunction previous = SetWallClock([] { return std::int64_t{42}; });
  EXPECT_FALSE(previous);
  EXPECT_EQ(WallClockSeconds(), 42);
  std::thread reader([] { EXPECT_EQ(WallClockSeconds(), 42); });
  reader.join();
  SetWallClock({});
  EXPECT_GE(WallClockSeconds(), before);
}

// ---------------------------------------------------------------------------------------------

TEST(Synchronize, RunsOnTheMainThreadAndRethrows) {
  SetMainThread();
  int ranOnMain = 0;
  Synchronize([&] { ranOnMain += IsMainThread(); });
  EXPECT_EQ(ranOnMain, 1) << "on the main thread it runs at once";

  std::atomic<bool> queued{false};
  SetSynchronizeWakeup([&] { queued = true; });
  std::string caught;
  bool workerIsMain = true;
  std::thread worker([&] {
    workerIsMain = IsMainThread();
    Synchronize([&] { ranOnMain += IsMainThread(); });
    try {
      Synchronize([] { throw std::runtime_error("from the routine"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
  });
  // The main thread's "event loop": runs the queued routines when the wake-up says so.
  {
    Watchdog watchdog("serving synchronized routines");
    int served = 0;
    while (served < 2) {
      if (queued.exchange(false)) served += CheckSynchronize();
      std::this_thread::yield();
    }
  }
  worker.join();
  SetSynchronizeWakeup({});
  EXPECT_FALSE(workerIsMain);
  EXPECT_EQ(ranOnMain, 2);
  EXPECT_EQ(caught, "from the routine");

  bool ranElsewhere = false;
  std::thread([&] { ranElsewhere = CheckSynchronize(); }).join();
  EXPECT_FALSE(ranElsewhere) << "only the main thread runs queued routines";
}

TEST(Synchronize, MainThreadWaitingForAMutexServesTheHolder) {
  SetMainThread();
  Watchdog watchdog("main thread waiting for a mutex held by a synchronizing worker");
  HANDLE lock = CreateMutexA(nullptr, 0, nullptr);
  std::promise<void> held;
  std::atomic<int> routineRuns{0};
  std::atomic<bool> routineOnMain{false};
  std::thread worker([&] {
    WaitForSingleObject(lock, INFINITE);
    held.set_value();
    for (int step = 0; step < 3; ++step)
      Synchronize([&] {
        routineOnMain = IsMainThread();
        ++routineRuns;
      });
    ReleaseMutex(lock);
  });
  held.get_future().wait();
  // An endless wait: only serving the worker's routines while waiting lets it release the lock.
  EXPECT_EQ(WaitForSingleObjectServing(lock, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(routineRuns.load(), 3);
  EXPECT_TRUE(routineOnMain.load());
  ReleaseMutex(lock);
  worker.join();
  CloseHandle(lock);
}

TEST(Synchronize, ServingWaitTimesOutLikeAPlainWait) {
  SetMainThread();
  HANDLE lock = CreateMutexA(nullptr, 0, nullptr);
  std::promise<void> held;
  std::promise<void> end;
  std::thread worker([&] {
    WaitForSingleObject(lock, INFINITE);
    held.set_value();
    end.get_future().wait();
    ReleaseMutex(lock);
  });
  held.get_future().wait();
  EXPECT_EQ(WaitForSingleObjectServing(lock, 20), WAIT_TIMEOUT);
  end.set_value();
  worker.join();
  EXPECT_EQ(WaitForSingleObjectServing(lock, 20), WAIT_OBJECT_0);
  ReleaseMutex(lock);
  CloseHandle(lock);
}

// ---------------------------------------------------------------------------------------------

// Runs a routine as its Execute.
class RoutineThread : public Thread {
 public:
  explicit RoutineThread(std::function<void(RoutineThread&)> body) : body_(std::move(body)) {}
  ~RoutineThread() override {
    Terminate();
    WaitFor();
  }
  using Thread::SleepUntilWoken;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(RoutineThread&)> body_;
};

TEST(Thread, StaysAsleepUntilTheFirstResume) {
  std::atomic<int> runs{0};
  RoutineThread thread([&](RoutineThread&) { ++runs; });
  Sleep(30);
  EXPECT_EQ(runs.load(), 0);
  EXPECT_FALSE(thread.Finished());
  thread.Resume();
  thread.WaitFor();
  EXPECT_EQ(runs.load(), 1);
  EXPECT_TRUE(thread.Finished());
}

TEST(Thread, WaitForStartsAThreadThatWasNeverWoken) {
  Watchdog watchdog("WaitFor on a thread never woken");
  std::atomic<bool> sawTerminated{false};
  RoutineThread thread([&](RoutineThread& self) {
    self.SleepUntilWoken();  // terminated: returns at once
    sawTerminated = self.Terminated();
  });
  thread.Terminate();
  thread.WaitFor();
  EXPECT_TRUE(sawTerminated.load());
  EXPECT_TRUE(thread.Finished());
}

TEST(Thread, WakeUpPostedOnTheWayToSleepIsKept) {
  Watchdog watchdog("a wake-up posted before the thread slept");
  std::promise<void> aboutToSleep;
  std::promise<void> posted;
  std::promise<void> awoke;
  RoutineThread thread([&](RoutineThread& self) {
    aboutToSleep.set_value();
    posted.get_future().wait();
    self.SleepUntilWoken();
    awoke.set_value();
  });
  thread.Resume();
  aboutToSleep.get_future().wait();
  thread.Resume();  // the thread is awake: the wake-up waits for its next sleep
  posted.set_value();
  awoke.get_future().wait();
}

TEST(Thread, WakeUpsWhileAwakeCollapseIntoOne) {
  Watchdog watchdog("collapsed wake-ups");
  std::promise<void> started;
  std::promise<void> posted;
  std::atomic<int> sleeps{0};
  RoutineThread thread([&](RoutineThread& self) {
    started.set_value();
    posted.get_future().wait();
    while (!self.Terminated()) {
      self.SleepUntilWoken();
      ++sleeps;
    }
  });
  thread.Resume();
  started.get_future().wait();
  thread.Resume();
  thread.Resume();
  thread.Resume();
  posted.set_value();
  while (sleeps.load() < 1) std::this_thread::yield();
  Sleep(30);
  EXPECT_EQ(sleeps.load(), 1) << "three wake-ups while awake end one sleep, not three";
  thread.Terminate();
  thread.WaitFor();
  EXPECT_EQ(sleeps.load(), 2);
}

// The worker's request protocol in small: a flag set under a lock, then a wake-up; the worker
// looks at the flag and sleeps when there is none. No request may be left unserved.
TEST(Thread, NoRequestIsLostUnderRacingWakeUps) {
  Watchdog watchdog("a request left unserved");
  constexpr int kRequests = 3000;
  std::mutex lock;
  int pending = 0;
  int served = 0;
  std::condition_variable servedChanged;
  RoutineThread thread([&](RoutineThread& self) {
    while (!self.Terminated()) {
      bool took = false;
      {
        std::lock_guard guard(lock);
        if (pending > 0) {
          --pending;
          ++served;
          took = true;
        }
      }
      servedChanged.notify_all();
      if (!took) self.SleepUntilWoken();
    }
  });
  for (int i = 0; i < kRequests; ++i) {
    {
      std::lock_guard guard(lock);
      ++pending;
    }
    thread.Resume();
    if (i % 7 == 0) std::this_thread::yield();
  }
  std::unique_lock guard(lock);
  servedChanged.wait(guard, [&] { return served == kRequests; });
  guard.unlock();
  thread.Terminate();
  thread.WaitFor();
  EXPECT_EQ(served, kRequests);
}

TEST(Thread, WaitForOnTheMainThreadServesTheEndingThread) {
  SetMainThread();
  Watchdog watchdog("WaitFor against a synchronizing thread");
  std::atomic<bool> ran{false};
  RoutineThread thread([&](RoutineThread&) { Synchronize([&] { ran = IsMainThread(); }); });
  thread.Resume();
  thread.WaitFor();
  EXPECT_TRUE(ran.load());
}

TEST(Thread, AnExceptionEndsOnlyTheThread) {
  RoutineThread thread([](RoutineThread&) { throw std::runtime_error("worker failed"); });
  thread.Resume();
  thread.WaitFor();
  EXPECT_TRUE(thread.Finished());
}

}  // namespace
