// The worker's job protocol driven without a window: which steps run, in which order, when
// requests arrive during a step, under a controllable clock; stopping; and the lock waits.
#include "Ifthread/ifthread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A window whose steps only record themselves; a hook may act inside a given step.
class RecordingWindow : public TIFWindow {
 public:
  using Hook = std::function<void()>;

  RecordingWindow() { locks.Create(); }
  ~RecordingWindow() { locks.Close(); }

  TIFLocks& Locks() override { return locks; }

  void CountStyleStep(std::int32_t& step) override { Record("style", step); }
  void CountSelectionStep(std::int32_t& step) override {
    selectionOnMainThread = selectionOnMainThread && platform::IsMainThread();
    Record("sel", step);
  }
  void SetAllChecks(bool value) override {
    std::int32_t step = value ? 1 : 0;
    Record("setall", step);
  }

  // Runs hook inside the occurrence-th (from 1) step named like "sel0".
  void At(const std::string& name, int occurrence, Hook hook) {
    hooks[name + "#" + std::to_string(occurrence)] = std::move(hook);
  }

  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> hold(mutex);
    return log;
  }

  int Steps() const { return steps.load(); }

  TIFLocks locks;
  std::atomic<bool> selectionOnMainThread{true};

 private:
  void Record(const char* job, std::int32_t& step) {
    if (std::string(job) != "setall" && (step < 0 || step > 2)) step = 0;
    const std::string name = job + std::to_string(step);
    Hook hook;
    {
      std::lock_guard<std::mutex> hold(mutex);
      log.push_back(name);
      const int occurrence = ++seen[name];
      auto found = hooks.find(name + "#" + std::to_string(occurrence));
      if (found != hooks.end()) hook = found->second;
    }
    if (hook) hook();
    ++step;
    ++steps;
  }

  std::mutex mutex;
  std::vector<std::string> log;
  std::map<std::string, int> seen;
  std::map<std::string, Hook> hooks;
  std::atomic<int> steps{0};
};

// Serves the worker's synchronous steps on this (main) thread until at least `expected` steps
// have run and then nothing has happened for quiet, or until limit.
void ServeUntilQuiet(RecordingWindow& window, std::size_t expected,
                     std::chrono::milliseconds quiet = std::chrono::milliseconds(150),
                     std::chrono::seconds limit = std::chrono::seconds(20)) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end && window.Log().size() < expected)
    if (!platform::CheckSynchronize()) platform::Sleep(1);
  int last = window.Steps();
  auto lastChange = Clock::now();
  while (Clock::now() < end) {
    if (!platform::CheckSynchronize()) platform::Sleep(1);
    if (window.Steps() != last) {
      last = window.Steps();
      lastChange = Clock::now();
    } else if (Clock::now() - lastChange >= quiet) {
      return;
    }
  }
}

bool ServeUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(10)) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (done()) return true;
    if (!platform::CheckSynchronize()) platform::Sleep(1);
  }
  return done();
}

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMainThread();
    previousClock = platform::SetWallClock([this] { return now.load(); });
  }
  void TearDown() override {
    if (worker) {
      worker->Stop();
      worker.reset();
    }
    platform::SetWallClock(previousClock);
  }

  // Makes a request from the window thread while the worker is inside a step: a step on the
  // worker thread hands it over, a step on this thread makes it directly.
  std::function<void()> OnWindowThread(std::function<void(TIFThread&)> request) {
    return [this, request] {
      if (platform::IsMainThread())
        request(*worker);
      else
        platform::Synchronize([this, request] { request(*worker); });
    };
  }

  RecordingWindow window;
  std::unique_ptr<TIFThread> worker;
  std::atomic<std::int64_t> now{1000};
  platform::ClockFunction previousClock;
};

enum class First { Recount, StyleCount, SetAll };

struct ProtocolCase {
  const char* name;
  First first;
  const char* hookStep;
  std::function<void(TIFThread&, std::atomic<std::int64_t>&)> during;
  std::vector<std::string> expected;
};

TEST_F(WorkerTest, RequestsDuringAStepGiveTheDocumentedSequences) {
  const std::vector<ProtocolCase> cases = {
      {"three clicks during one selection step give one further count", First::Recount, "sel0",
       [](TIFThread& w, auto&) {
         w.RequestRecount();
         w.RequestRecount();
         w.RequestRecount();
       },
       {"sel0", "sel0", "sel1", "sel2"}},
      {"Select All during a style count does not stop it", First::StyleCount, "style0",
       [](TIFThread& w, auto&) { w.RequestSetAll(true); },
       {"style0", "style1", "style2", "setall1", "sel0", "sel1", "sel2"}},
      {"Reset during a selection count does not stop it", First::Recount, "sel1",
       [](TIFThread& w, auto&) { w.RequestSetAll(false); },
       {"sel0", "sel1", "sel2", "setall0", "sel0", "sel1", "sel2"}},
      {"a recount does not stop a style count", First::StyleCount, "style1",
       [](TIFThread& w, auto&) { w.RequestRecount(); },
       {"style0", "style1", "style2", "sel0", "sel1", "sel2"}},
      {"a style change abandons a style count", First::StyleCount, "style1",
       [](TIFThread& w, auto&) { w.RequestStyleCount(); },
       {"style0", "style1", "style0", "style1", "style2", "sel0", "sel1", "sel2"}},
      {"a style change abandons a selection count", First::Recount, "sel0",
       [](TIFThread& w, auto&) { w.RequestStyleCount(); },
       {"sel0", "style0", "style1", "style2", "sel0", "sel1", "sel2"}},
      {"a step of 2 seconds runs the job to its end", First::Recount, "sel0",
       [](TIFThread& w, std::atomic<std::int64_t>& clock) {
         clock += 2;
         w.RequestRecount();
       },
       {"sel0", "sel1", "sel2", "sel0", "sel1", "sel2"}},
      {"a step that straddles one clock tick still looks", First::Recount, "sel1",
       [](TIFThread& w, std::atomic<std::int64_t>& clock) {
         clock += 1;
         w.RequestRecount();
       },
       {"sel0", "sel1", "sel0", "sel1", "sel2"}},
      {"a slow style step makes the style count ignore a style change", First::StyleCount,
       "style0",
       [](TIFThread& w, std::atomic<std::int64_t>& clock) {
         clock += 3;
         w.RequestStyleCount();
       },
       {"style0", "style1", "style2", "style0", "style1", "style2", "sel0", "sel1", "sel2"}},
      {"Select All then selection count", First::SetAll, "setall1", [](TIFThread&, auto&) {},
       {"setall1", "sel0", "sel1", "sel2"}},
  };
  for (const ProtocolCase& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingWindow local;
    std::atomic<std::int64_t> clock{5000};
    auto old = platform::SetWallClock([&clock] { return clock.load(); });
    {
      TIFThread w(local);
      local.At(c.hookStep, 1, [&] {
        auto act = [&] { c.during(w, clock); };
        if (platform::IsMainThread())
          act();
        else
          platform::Synchronize(act);
      });
      switch (c.first) {
        case First::Recount: w.RequestRecount(); break;
        case First::StyleCount: w.RequestStyleCount(); break;
        case First::SetAll: w.RequestSetAll(true); break;
      }
      ServeUntilQuiet(local, c.expected.size());
      EXPECT_EQ(local.Log(), c.expected);
      EXPECT_TRUE(local.selectionOnMainThread);
      w.Stop();
    }
    platform::SetWallClock(old);
  }
}

TEST_F(WorkerTest, OnceALookIsSkippedTheJobMakesNoFurtherLook) {
  worker = std::make_unique<TIFThread>(window);
  // The clock jumps during step 0; during step 1 it stands still, yet the request posted there
  // must not stop the job either.
  window.At("sel0", 1, OnWindowThread([this](TIFThread&) { now += 2; }));
  window.At("sel1", 1, OnWindowThread([](TIFThread& w) { w.RequestRecount(); }));
  worker->RequestRecount();
  ServeUntilQuiet(window, 6);
  EXPECT_EQ(window.Log(), (std::vector<std::string>{"sel0", "sel1", "sel2", "sel0", "sel1", "sel2"}));
}

TEST_F(WorkerTest, ExitWhileTheWorkerSleepsEndsItAtOnce) {
  worker = std::make_unique<TIFThread>(window);
  worker->RequestRecount();
  ServeUntilQuiet(window, 3);
  ASSERT_EQ(window.Log().size(), 3u);
  // The worker wakes, takes the request and ends by itself: nobody sets its terminated state.
  worker->RequestQuit();
  EXPECT_TRUE(ServeUntil([this] { return worker->Finished(); }));
  EXPECT_EQ(window.Log().size(), 3u);
}

TEST_F(WorkerTest, QuitOutranksEveryOtherRequest) {
  worker = std::make_unique<TIFThread>(window);
  // Hold the requests back until all are posted: the worker waits for StartLock first.
  WaitLock(window.locks.StartLock);
  worker->RequestStyleCount();
  worker->RequestSetAll(true);
  worker->RequestQuit();
  ReleaseLock(window.locks.StartLock);
  EXPECT_TRUE(ServeUntil([this] { return worker->Finished(); }));
  EXPECT_TRUE(window.Log().empty());
}

TEST_F(WorkerTest, ClosingBeforeAnyRequestEndsTheWorker) {
  worker = std::make_unique<TIFThread>(window);
  worker->Stop();
  EXPECT_TRUE(worker->Finished());
  EXPECT_TRUE(window.Log().empty());
}

TEST_F(WorkerTest, ClosingDuringAJobLetsTheJobFinishWhileServingItsSteps) {
  worker = std::make_unique<TIFThread>(window);
  std::atomic<bool> inStep{false};
  window.At("style0", 1, [&] {
    inStep = true;
    platform::Sleep(50);
    platform::Synchronize([] {});  // as the window's style steps hand over their labels
  });
  worker->RequestStyleCount();
  ASSERT_TRUE(ServeUntil([&] { return inStep.load(); }));
  worker->Stop();  // must not wait for a worker that waits for this thread
  EXPECT_TRUE(worker->Finished());
  const auto log = window.Log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[2], "style2");
}

TEST_F(WorkerTest, WithoutAThreadTheJobsRunAtOnceAndStoppingReturns) {
  const bool previous = platform::SetThreadCreationFailing(true);
  worker = std::make_unique<TIFThread>(window);
  worker->RequestStyleCount();
  worker->RequestSetAll(true);
  EXPECT_EQ(window.Log(), (std::vector<std::string>{"style0", "style1", "style2", "sel0", "sel1",
                                                    "sel2", "setall1", "sel0", "sel1", "sel2"}));
  EXPECT_TRUE(worker->Idle());
  worker->Stop();
  EXPECT_TRUE(worker->Finished());
  platform::SetThreadCreationFailing(previous);
}

TEST_F(WorkerTest, TheFirstJobWaitsForTheLoadingWindow) {
  worker = std::make_unique<TIFThread>(window);
  WaitLock(window.locks.StartLock);
  worker->RequestRecount();
  platform::Sleep(100);
  platform::CheckSynchronize();
  EXPECT_TRUE(window.Log().empty());
  ReleaseLock(window.locks.StartLock);
  ServeUntilQuiet(window, 3);
  EXPECT_EQ(window.Log(), (std::vector<std::string>{"sel0", "sel1", "sel2"}));
}

TEST_F(WorkerTest, AWindowWaitingForTheListLockServesTheRunningJobAtOnce) {
  worker = std::make_unique<TIFThread>(window);
  std::atomic<bool> started{false};
  bool waiting = false;
  int servedWhileWaiting = 0;
  window.At("sel0", 1, [&] { started = true; });
  window.At("sel1", 1, [&] { servedWhileWaiting += waiting; });
  window.At("sel2", 1, [&] { servedWhileWaiting += waiting; });
  worker->RequestRecount();
  ASSERT_TRUE(ServeUntil([&] { return started.load(); }));
  // Steps 1 and 2 still need this thread: the wait runs them instead of deadlocking.
  waiting = true;
  WaitLock(window.locks.ListLock);
  waiting = false;
  ReleaseLock(window.locks.ListLock);
  EXPECT_EQ(window.Log(), (std::vector<std::string>{"sel0", "sel1", "sel2"}));
  EXPECT_EQ(servedWhileWaiting, 2);
}

TEST_F(WorkerTest, AnAbandonedListLockIsReplacedAndTheWorkerGoesOn) {
  worker = std::make_unique<TIFThread>(window);
  const platform::HANDLE original = window.locks.ListLock.load();
  std::thread holder([this] { WaitLock(window.locks.ListLock); });  // ends holding it
  holder.join();
  worker->RequestRecount();
  ServeUntilQuiet(window, 3);
  EXPECT_EQ(window.Log(), (std::vector<std::string>{"sel0", "sel1", "sel2"}));
  EXPECT_NE(window.locks.ListLock.load(), original);
  // The replacement is an ordinary free lock.
  WaitLock(window.locks.ListLock);
  EXPECT_TRUE(platform::ReleaseMutex(window.locks.ListLock.load()));
}

TEST_F(WorkerTest, ALockWhoseWaitFailsIsReplacedOnceForAllWaiters) {
  window.locks.RequestLock = 0xBAD0BAD;  // no such handle: every wait on it fails
  int shared = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        TLockHolder hold(window.locks.RequestLock);
        ++shared;  // a race here means two threads hold two different locks
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(shared, 2000);
  EXPECT_NE(window.locks.RequestLock.load(), platform::HANDLE{0xBAD0BAD});
}

}  // namespace
