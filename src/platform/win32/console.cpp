// The console of standard error: a console window that takes VT sequences, asked for its
// visible width.
#include "platform/console.h"

#include <windows.h>

namespace platform {

bool StandardErrorIsConsole() {
  const ::HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  ::DWORD mode = 0;
  if (!::GetConsoleMode(error, &mode)) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
         ::SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

int StandardErrorColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace platform
