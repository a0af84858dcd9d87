// The run lock as an flock on PREFIX/run.lock: released by the kernel when the holder's process
// ends, and held per open file, so two runs of one process exclude each other too.
#include "platform/runlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/host.h"
#include "platform/prefix.h"

namespace platform {

bool RunLock::TryAcquire() {
  if (handle_ >= 0) return true;
  std::string path;
  try {
    path = PrefixDir() + "/run.lock";
  } catch (const std::exception&) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    SetLastError(posix::ErrorFromErrno(errno));
    return false;
  }
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    close(fd);
    SetLastError(error == EWOULDBLOCK ? ERROR_LOCK_VIOLATION : posix::ErrorFromErrno(error));
    return false;
  }
  handle_ = fd;
  return true;
}

void RunLock::Release() {
  if (handle_ < 0) return;
  close(handle_);  // closing the only descriptor lets go of the lock
  handle_ = -1;
}

}  // namespace platform
