#pragma once
// Threads and locks with Windows semantics: unnamed mutexes that are recursive, owned by a
// thread and abandoned when their owner ends; a thread created asleep that sleeps until woken;
// and a synchronizer that runs a routine on the main (window) thread and waits for it.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/types.h"

namespace platform {

// A handle to a kernel object; 0 is no handle.
using HANDLE = std::uintptr_t;

constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_ABANDONED = 0x00000080;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD INFINITE = 0xFFFFFFFFu;

// CreateMutexA(no security attributes, initialOwner, no name). 0 on failure.
HANDLE CreateMutexA(const void* security, BOOL initialOwner, const char* name);
// WAIT_OBJECT_0 when the caller now holds the mutex (recursively: a holder may wait again),
// WAIT_ABANDONED when it now holds it because the previous owner thread ended holding it,
// WAIT_TIMEOUT after milliseconds, WAIT_FAILED for a handle that is not an open mutex.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// As WaitForSingleObject, called on the main thread: while it waits it also runs the routines
// that other threads hand to the main thread with Synchronize, at once and not only when the
// time-out ends, so that the two threads never wait for each other.
DWORD WaitForSingleObjectServing(HANDLE handle, DWORD milliseconds);
BOOL ReleaseMutex(HANDLE handle);  // false when the caller does not own it
BOOL CloseHandle(HANDLE handle);

void Sleep(DWORD milliseconds);

// The wall-clock time in whole seconds; replaceable for tests of time rules.
std::int64_t WallClockSeconds();
using ClockFunction = std::function<std::int64_t()>;
ClockFunction SetWallClock(ClockFunction clock);  // empty = the real clock; returns the previous

// Marks the calling thread as the main (window) thread. The first thread that calls any
// function of this header is the main thread unless this is called.
void SetMainThread();
bool IsMainThread();

// Runs routine on the main thread and waits until it has run. On the main thread it runs at
// once. An exception thrown by the routine is rethrown to the caller.
void Synchronize(const std::function<void()>& routine);
// Runs every routine queued by Synchronize; main thread only. Returns whether it ran any.
bool CheckSynchronize();
// Called (from any thread) whenever a routine is queued, so that the main thread's event loop
// can run CheckSynchronize (the windows post an event to themselves). Returns the previous one.
std::function<void()> SetSynchronizeWakeup(std::function<void()> wakeup);

// Makes every later thread creation fail as when the system has no threads to spare (tests of
// what callers do then); returns the previous setting.
bool SetThreadCreationFailing(bool failing);

// A thread that is created asleep, runs Execute once woken, and can put itself to sleep again.
// A wake-up that arrives while the thread is awake is kept for its next sleep, so no wake-up
// is ever lost.
class Thread {
 public:
  Thread();
  virtual ~Thread();  // the thread must have ended (Terminate + WaitFor) before destruction
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Wakes the thread; the first call creates it and starts Execute. False when the thread
  // cannot be created (the system has no threads to spare): Execute never runs and the thread
  // counts as finished, so that WaitFor returns. Later calls then return false as well.
  bool Resume();
  void Terminate();      // sets the terminated state
  bool Terminated() const;
  void WaitFor();        // waits until Execute has returned (starting it first if never woken)
  bool Finished() const;

 protected:
  virtual void Execute() = 0;
  void SleepUntilWoken();  // returns at once when a wake-up is pending or Terminated

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
