// The command line as the terminal sent it, and the console of standard error: a terminal,
// asked for its size.
#include "platform/console.h"

#include "platform/text.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

CommandLine ReadCommandLine(int argc, char** argv) {
  CommandLine line;
  for (int i = 1; i < argc; ++i) line.args.emplace_back(argv[i]);
  line.codeset = HostCodeset();
  return line;
}

bool StandardErrorIsConsole() { return isatty(STDERR_FILENO) == 1; }

int StandardErrorColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

}  // namespace platform
