// The wall clock in whole seconds and its stand-in for tests, the same on every backend.
#include <ctime>
#include <mutex>
#include <utility>

#include "platform/threads.h"

namespace platform {
namespace {

std::mutex& ClockLock() {
  static std::mutex* lock = new std::mutex;  // used from any thread until exit
  return *lock;
}

ClockFunction& Clock() {
  static ClockFunction* clock = new ClockFunction;
  return *clock;
}

}  // namespace

std::int64_t WallClockSeconds() {
  IsMainThread();  // a call of this header notes the first thread as the main thread
  ClockFunction clock;
  {
    std::lock_guard guard(ClockLock());
    clock = Clock();
  }
  return clock ? clock() : static_cast<std::int64_t>(std::time(nullptr));
}

ClockFunction SetWallClock(ClockFunction clock) {
  IsMainThread();
  std::lock_guard guard(ClockLock());
  return std::exchange(Clock(), std::move(clock));
}

}  // namespace platform
