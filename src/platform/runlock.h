#pragma once
// The run lock: one installation run per prefix at a time, across processes. The system lets go
// of it when its holder ends, however it ends (a kill included).

#include "platform/types.h"

namespace platform {

constexpr LONG ERROR_LOCK_VIOLATION = 33;

class RunLock {
 public:
  RunLock() = default;
  ~RunLock() { Release(); }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Takes the lock without waiting; false with ERROR_LOCK_VIOLATION when another run holds it,
  // with another error when the prefix cannot hold a lock. True at once when already held.
  bool TryAcquire();
  void Release();
  bool Held() const { return handle_ >= 0; }

 private:
  int handle_ = -1;
};

}  // namespace platform
