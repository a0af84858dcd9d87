// The shell over shell32 and user32: "open" requests handed to ShellExecuteExA, and the system's
// own message box behind the shared handlers.
#include "platform/shell.h"

#include "platform/common/shell_handlers.h"

#include <windows.h>
#include <shellapi.h>

namespace platform {

// The started process is given back by its id, as the interface promises, and its handle
// closed: the program never waits for what it starts.
bool ShellExecuteExA(SHELLEXECUTEINFOA* info) {
  if (!info) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  ::SHELLEXECUTEINFOA request{};
  request.cbSize = sizeof request;
  request.fMask = info->fMask;
  request.hwnd = reinterpret_cast<::HWND>(info->hwnd);
  request.lpVerb = info->lpVerb;
  request.lpFile = info->lpFile;
  request.lpParameters = info->lpParameters;
  request.lpDirectory = info->lpDirectory;
  request.nShow = info->nShow;
  const bool started = ::ShellExecuteExA(&request) != 0;
  info->hInstApp = reinterpret_cast<std::uintptr_t>(request.hInstApp);
  info->hProcess = 0;
  if (request.hProcess) {
    info->hProcess = ::GetProcessId(request.hProcess);
    ::CloseHandle(request.hProcess);
  }
  return started;
}

int SystemMessageBox(const std::string& text, const std::string& caption, DWORD type) {
  return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), type);
}

}  // namespace platform
