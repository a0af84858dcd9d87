// The last error of the calling thread.
#include "platform/types.h"

namespace platform {

namespace {
thread_local DWORD lastError = 0;
}

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

}  // namespace platform
