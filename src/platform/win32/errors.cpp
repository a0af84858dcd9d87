// The last error of the calling thread: the system's own, which every real call also sets.
#include "platform/types.h"

#include <windows.h>

namespace platform {

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD error) { ::SetLastError(error); }

}  // namespace platform
