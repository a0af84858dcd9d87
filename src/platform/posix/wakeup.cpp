// The wake-up signal as a non-blocking pipe.
#include "platform/wakeup.h"

#include <fcntl.h>
#include <unistd.h>

namespace platform {

WakeupSignal::WakeupSignal() {
  int ends[2];
  if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return;
  readEnd_ = ends[0];
  writeEnd_ = ends[1];
}

WakeupSignal::~WakeupSignal() {
  if (readEnd_ >= 0) close(static_cast<int>(readEnd_));
  if (writeEnd_ >= 0) close(static_cast<int>(writeEnd_));
}

bool WakeupSignal::IsOpen() const { return readEnd_ >= 0; }

void WakeupSignal::Raise() {
  if (writeEnd_ < 0) return;
  const char byte = 1;
  // A full pipe already holds a wake-up; nothing is lost.
  [[maybe_unused]] const ssize_t written = write(static_cast<int>(writeEnd_), &byte, 1);
}

bool WakeupSignal::Drain() {
  if (readEnd_ < 0) return false;
  bool pending = false;
  char drain[64];
  while (read(static_cast<int>(readEnd_), drain, sizeof drain) > 0) pending = true;
  return pending;
}

std::intptr_t WakeupSignal::Handle() const { return readEnd_; }

}  // namespace platform
