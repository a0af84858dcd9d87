// The system's default language and version record: the system's own answers, unless the prefix
// sets others (so that tests and the demo can run any language or version on one machine).
#include "platform/language.h"

#include <cstring>

#include "platform/win32/backend.h"

#include <windows.h>

namespace platform {

LANGID GetSystemDefaultLangID() {
  const LANGID language = win32::CurrentSettings().language;
  return language != 0 ? language : ::GetSystemDefaultLangID();
}

bool GetVersionExA(OSVERSIONINFOA* info) {
  if (!info) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  const win32::Settings settings = win32::CurrentSettings();
  if (settings.versionFails) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  ::OSVERSIONINFOA system{};
  system.dwOSVersionInfoSize = sizeof system;
  if (!::GetVersionExA(&system)) return false;
  if (settings.versionSet) {
    system.dwMajorVersion = settings.versionMajor;
    system.dwMinorVersion = settings.versionMinor;
    system.dwBuildNumber = 0;
    system.szCSDVersion[0] = '\0';
  }
  info->dwMajorVersion = system.dwMajorVersion;
  info->dwMinorVersion = system.dwMinorVersion;
  info->dwBuildNumber = system.dwBuildNumber;
  info->dwPlatformId = system.dwPlatformId;
  static_assert(sizeof info->szCSDVersion == sizeof system.szCSDVersion);
  std::memcpy(info->szCSDVersion, system.szCSDVersion, sizeof info->szCSDVersion);
  return true;
}

}  // namespace platform
