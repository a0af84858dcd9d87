// The Windows-program runner setting: PREFIX/windows-runner.conf, "program=" and "wineprefix="
// lines, replaced whole on every change.
#include "platform/posix/shell_settings.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/prefix.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

constexpr const char* kRunnerFile = "windows-runner.conf";

fs::path RunnerFile() { return fs::path(PrefixDir()) / kRunnerFile; }

}  // namespace

bool SetWindowsRunnerSetting(const std::string& hostProgram, const std::string& winePrefix) {
  try {
    const fs::path path = RunnerFile();
    fs::path temp = path;
    temp += ".tmp";
    {
      std::ofstream out(temp, std::ios::trunc);
      out << "program=" << hostProgram << "\nwineprefix=" << winePrefix << "\n";
      if (!out.flush()) return false;
    }
    std::error_code ec;
    fs::rename(temp, path, ec);  // a reader never sees half a file
    return !ec;
  } catch (const std::exception&) {
    return false;
  }
}

namespace posix {

WindowsRunnerSetting ReadWindowsRunnerSetting() {
  WindowsRunnerSetting setting;
  try {
    std::ifstream in(RunnerFile());
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      std::string key = line.substr(0, eq), value = line.substr(eq + 1);
      if (key == "program") setting.program = value;
      if (key == "wineprefix") setting.winePrefix = value;
    }
  } catch (const std::exception&) {
    // An unusable prefix leaves the defaults.
  }
  return setting;
}

}  // namespace posix
}  // namespace platform
