#pragma once
// The shell's own prefix settings, kept in a file of their own beside the prefix's settings.

#include <string>

namespace platform::posix {

struct WindowsRunnerSetting {
  std::string program;     // empty: wine, else wine64, on PATH
  std::string winePrefix;  // empty: WINEPREFIX as the environment has it
};

// Read at every call: launches are rare, and a change made by another process counts at once.
// The defaults when the prefix or the file cannot be read.
WindowsRunnerSetting ReadWindowsRunnerSetting();

}  // namespace platform::posix
