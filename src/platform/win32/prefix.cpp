// The prefix on Windows: the machine itself holds the drives, the registry and the Fonts folder;
// the prefix folder keeps only the settings that stand in for the machine's language and
// version, in a profile file that the system's own profile calls read and write. The folder is
// made when the first setting is written, not on first use.
#include "platform/prefix.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/win32/backend.h"

#include <windows.h>

namespace platform {
namespace {

constexpr const char* kSettingsFile = "zelvafont.ini";
constexpr const char* kSection = "settings";

struct PrefixState {
  std::mutex lock;
  std::optional<std::string> dir;
  std::optional<win32::Settings> settings;  // read once per generation
  std::atomic<std::uint64_t> generation{1};
  PrefixScope scope = PrefixScope::User;
};

PrefixState& State() {
  static PrefixState* state = new PrefixState;
  return *state;
}

// $ZELVAFONT_PREFIX, else the user's local application data folder.
std::string ChoosePrefixDir() {
  if (const char* named = std::getenv("ZELVAFONT_PREFIX"); named && *named) return named;
  const char* local = std::getenv("LOCALAPPDATA");
  if (!local || !*local) local = std::getenv("APPDATA");
  if (!local || !*local)
    throw std::runtime_error("no folder for the ZelvaFont settings: LOCALAPPDATA is not set");
  return std::string(local) + "\\zelvafont";
}

std::string PrefixDirLocked(PrefixState& state) {
  if (!state.dir) state.dir = ChoosePrefixDir();
  return *state.dir;
}

std::string SettingsPathLocked(PrefixState& state) {
  return PrefixDirLocked(state) + "\\" + kSettingsFile;
}

win32::Settings ReadSettings(const std::string& file) {
  win32::Settings settings;
  const char* path = file.c_str();
  settings.language = static_cast<LANGID>(::GetPrivateProfileIntA(kSection, "language", 0, path));
  char version[32] = {};
  ::GetPrivateProfileStringA(kSection, "version", "", version, sizeof version, path);
  unsigned major = 0, minor = 0;
  if (std::sscanf(version, "%u.%u", &major, &minor) == 2) {
    settings.versionSet = true;
    settings.versionMajor = major;
    settings.versionMinor = minor;
  }
  settings.versionFails = ::GetPrivateProfileIntA(kSection, "version_fails", 0, path) != 0;
  return settings;
}

// Writes one key of the settings file (an empty value removes it) and drops the cached
// settings; false when the file cannot be written.
bool WriteSetting(const char* key, const std::string& value) {
  PrefixState& state = State();
  std::lock_guard guard(state.lock);
  std::string file;
  try {
    file = SettingsPathLocked(state);
  } catch (const std::exception&) {
    return false;
  }
  state.settings.reset();
  // The folder is made by the first setting: a program that changes none leaves no trace.
  std::error_code ec;
  std::filesystem::create_directories(*state.dir, ec);
  return ::WritePrivateProfileStringA(kSection, key, value.empty() ? nullptr : value.c_str(),
                                      file.c_str()) != 0;
}

bool NotOnWindows() {
  ::SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

}  // namespace

std::string PrefixDir() {
  PrefixState& state = State();
  std::lock_guard guard(state.lock);
  return PrefixDirLocked(state);
}

// The Fonts folder and HKEY_LOCAL_MACHINE are the machine's in either scope; the scope is only
// remembered.
bool SetPrefixScope(PrefixScope scope) {
  PrefixState& state = State();
  {
    std::lock_guard guard(state.lock);
    state.scope = scope;
  }
  ReopenPrefix();
  return true;
}

PrefixScope CurrentPrefixScope() {
  PrefixState& state = State();
  std::lock_guard guard(state.lock);
  return state.scope;
}

void ReopenPrefix() {
  PrefixState& state = State();
  std::lock_guard guard(state.lock);
  state.dir.reset();
  state.settings.reset();
  ++state.generation;
}

// Drives are the system's: a folder becomes a drive only through the system's own tools (on
// Wine, the prefix's dosdevices links and its registry).
bool DeclareDrive(const DriveDeclaration& /*drive*/, DeclarationScope /*scope*/) {
  return NotOnWindows();
}

bool ForgetDrive(char /*letter*/, DeclarationScope /*scope*/) { return NotOnWindows(); }

bool SetSystemLanguageSetting(LANGID language) {
  return WriteSetting("language", language ? std::to_string(language) : "");
}

bool SetVersionSetting(DWORD major, DWORD minor, bool failing) {
  return WriteSetting("version", std::to_string(major) + "." + std::to_string(minor)) &&
         WriteSetting("version_fails", failing ? "1" : "");
}

// Windows opens folders and documents with its own shell and runs its own programs.
bool SetShellOpenerSetting(const std::string& /*hostProgram*/) { return NotOnWindows(); }

bool SetWindowsRunnerSetting(const std::string& /*hostProgram*/,
                             const std::string& /*winePrefix*/) {
  return NotOnWindows();
}

std::string FontsHostDir() {
  char windows[MAX_PATH];
  const UINT n = ::GetWindowsDirectoryA(windows, sizeof windows);
  if (n == 0 || n >= sizeof windows) return {};
  return std::string(windows, n) + "\\Fonts";
}

namespace win32 {

Settings CurrentSettings() {
  PrefixState& state = State();
  std::lock_guard guard(state.lock);
  if (!state.settings) {
    try {
      state.settings = ReadSettings(SettingsPathLocked(state));
    } catch (const std::exception&) {
      return Settings{};  // no settings folder: the machine's own answers
    }
  }
  return *state.settings;
}

std::uint64_t PrefixGeneration() { return State().generation.load(); }

}  // namespace win32

bool UsePrefixFolder(const std::string& hostFolder) {
  if (_putenv_s("ZELVAFONT_PREFIX", hostFolder.c_str()) != 0) return false;
  ReopenPrefix();
  return true;
}

}  // namespace platform
