#pragma once
// The font window's worker thread and its job protocol: the three locks of the window, the
// waiting rule for them, the request flags, and the loop that takes one request at a time and
// runs the style count, the selection count or the set-all job in abandonable steps. No Qt: the
// worker reaches its window through TIFWindow, so the protocol can be driven without one.

#include <atomic>
#include <cstdint>

#include "platform/threads.h"

// The three locks a font window owns. A wait that finds a lock abandoned or broken puts a new
// lock in the field, so both threads read the fields atomically and always use the current one.
struct TIFLocks {
  std::atomic<platform::HANDLE> ListLock{0};     // the rows and every use of the engine
  std::atomic<platform::HANDLE> RequestLock{0};  // the worker's request flags
  std::atomic<platform::HANDLE> StartLock{0};    // held while a font set loads

  void Create();  // three unnamed locks, not owned
  void Close();   // closes the handles (program end)
};

// Waits until the calling thread holds the lock, in 500 ms slices; never gives up. On the main
// (window) thread it keeps running the routines that the worker hands over while it waits.
// An abandoned lock is closed and replaced by a new one; a lock whose wait fails is replaced
// without being closed. Only one waiter replaces a given handle: the others find the new
// handle in the field and wait for that.
void WaitLock(std::atomic<platform::HANDLE>& lock);
// Releases a lock taken with WaitLock.
void ReleaseLock(const std::atomic<platform::HANDLE>& lock);

// Holds a lock for a scope.
class TLockHolder {
 public:
  explicit TLockHolder(std::atomic<platform::HANDLE>& lock) : lock_(lock) { WaitLock(lock_); }
  ~TLockHolder() { ReleaseLock(lock_); }
  TLockHolder(const TLockHolder&) = delete;
  TLockHolder& operator=(const TLockHolder&) = delete;

 private:
  std::atomic<platform::HANDLE>& lock_;
};

// What the worker needs of its window. CountStyleStep and SetAllChecks are called on the worker
// thread and hand their control changes to the window thread themselves; the worker hands each
// CountSelectionStep to the window thread as a whole. Each step advances step by one; a step
// number out of range starts the job over with step 0.
class TIFWindow {
 public:
  virtual TIFLocks& Locks() = 0;
  virtual void CountStyleStep(std::int32_t& step) = 0;
  virtual void CountSelectionStep(std::int32_t& step) = 0;
  virtual void SetAllChecks(bool value) = 0;

 protected:
  ~TIFWindow() = default;
};

class TIFThread : public platform::Thread {
 public:
  enum JobKind : std::int32_t { NoJob = 0, SelectionCount = 1, StyleCount = 2, SetAll = 3 };

  // Created asleep with every request clear; the first request wakes it.
  explicit TIFThread(TIFWindow& window);
  ~TIFThread() override;

  // Requests from the window thread. Each sets its flags under RequestLock and wakes the
  // worker; a flag that is already set stays set, so repeated requests collapse into one job.
  void RequestRecount();
  void RequestStyleCount();  // the shown style changed: style count, then selection count
  void RequestSetAll(bool value);
  void RequestQuit();

  // Stops the worker: sets the terminated state, wakes it and waits for its loop to end,
  // running the routines it hands to the window thread meanwhile (a job that was already
  // running finishes first).
  void Stop();

  // True while the worker sleeps with no request left (for tests and benchmarks that wait for
  // the counters to settle).
  bool Idle();

 protected:
  void Execute() override;

 private:
  // Wakes the worker; when its thread cannot be created, runs the pending jobs at once.
  void Wake();
  void RunPendingJobs();
  JobKind TakeRequest();
  void RunJob(JobKind job);
  void RunCountJob(JobKind job);
  void RunSetAllJob();

  TIFWindow& window_;
  // The worker's own fields, touched by its thread alone.
  std::int32_t Job = NoJob;
  std::int32_t Step = 0;
  bool takenSetAllValue_ = false;
  std::atomic<bool> asleep_{false};
  // The request flags: read and written only under RequestLock.
  std::uint8_t RecountRequest = 0;
  std::uint8_t StyleRequest = 0;
  std::uint8_t QuitRequest = 0;
  std::uint8_t SetAllRequest = 0;
  std::uint8_t SetAllValue = 0;
};
