#pragma once
// A wake-up that any thread raises without blocking and that an event loop watches: its handle
// turns readable while a wake-up is pending (a pipe on POSIX, a loopback socket on Windows, both
// of which a socket notifier can watch).

#include <cstdint>

namespace platform {

class WakeupSignal {
 public:
  WakeupSignal();  // IsOpen() tells whether the system could make one
  ~WakeupSignal();
  WakeupSignal(const WakeupSignal&) = delete;
  WakeupSignal& operator=(const WakeupSignal&) = delete;

  bool IsOpen() const;
  // From any thread; never blocks. Wake-ups raised before the next Drain count as one.
  void Raise();
  // Takes every pending wake-up, so the handle is no longer readable; whether there was one.
  bool Drain();
  // What the event loop watches: a file descriptor on POSIX, a socket on Windows.
  std::intptr_t Handle() const;

 private:
  std::intptr_t readEnd_ = -1;
  std::intptr_t writeEnd_ = -1;
};

}  // namespace platform
