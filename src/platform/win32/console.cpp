// The Unicode command line in the ANSI code page, and the console of standard error: a console
// window that takes VT sequences, asked for its visible width.
#include "platform/console.h"

#include <windows.h>
#include <shellapi.h>

namespace platform {

CommandLine ReadCommandLine(int argc, char** argv) {
  CommandLine line;
  const ::UINT codePage = ::GetACP();
  line.codeset = "CP" + std::to_string(codePage);
  int count = 0;
  ::LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) {  // the C runtime's argv, as the next best
    for (int i = 1; i < argc; ++i) line.args.emplace_back(argv[i]);
    return line;
  }
  for (int i = 1; i < count; ++i) {
    ::BOOL lost = FALSE;
    const int n = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide[i], -1, nullptr, 0,
                                        nullptr, &lost);
    std::string ansi(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
      ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide[i], -1, ansi.data(), n, nullptr,
                            &lost);
    if (lost)
      line.args.emplace_back(std::nullopt);
    else
      line.args.emplace_back(std::move(ansi));
  }
  ::LocalFree(wide);
  return line;
}

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
