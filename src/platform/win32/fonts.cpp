// Fonts over gdi32 and user32: loading and unloading font files for the session, the
// font-change broadcast, and EnableEUDC looked up at run time.
#include "platform/fonts.h"

#include <atomic>
#include <string_view>

#include <windows.h>

namespace platform {
namespace {

std::atomic<bool> eudcEnabled{true};
std::atomic<int> eudcSwitches{0};
using EnableEUDCFunction = ::BOOL(WINAPI*)(::BOOL);
std::atomic<EnableEUDCFunction> realEnableEUDC{nullptr};

// What GetProcAddress hands out for EnableEUDC: the interface's own calling convention, the
// switch counted for tests, then gdi32's function.
BOOL EnableEUDC(BOOL enable) {
  eudcEnabled = enable != 0;
  ++eudcSwitches;
  EnableEUDCFunction real = realEnableEUDC.load();
  return real ? real(enable) : 0;
}

}  // namespace

int AddFontResourceA(const char* fileName) { return ::AddFontResourceA(fileName); }

// A private load of the file counts what the system can read of it; the load ends at once.
int CountFontFaces(const std::string& windowsPath) {
  const DWORD attributes = ::GetFileAttributesA(windowsPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  const int faces = ::AddFontResourceExA(windowsPath.c_str(), FR_PRIVATE, nullptr);
  if (faces <= 0) {
    ::SetLastError(ERROR_INVALID_DATA);
    return 0;
  }
  ::RemoveFontResourceExA(windowsPath.c_str(), FR_PRIVATE, nullptr);
  return faces;
}

bool RemoveFontResourceA(const char* fileName) { return ::RemoveFontResourceA(fileName) != 0; }

std::intptr_t SendMessageA(HWND window, DWORD message, std::uintptr_t wParam,
                           std::intptr_t lParam) {
  return ::SendMessageA(reinterpret_cast<::HWND>(window), message, wParam, lParam);
}

HMODULE LoadLibraryA(const char* name) {
  return reinterpret_cast<HMODULE>(::LoadLibraryA(name));
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  ::FARPROC found = ::GetProcAddress(reinterpret_cast<::HMODULE>(module), name);
  if (!found) return nullptr;
  if (name && std::string_view(name) == "EnableEUDC") {
    realEnableEUDC = reinterpret_cast<EnableEUDCFunction>(reinterpret_cast<void*>(found));
    return &EnableEUDC;
  }
  // No other entry point is known to the interface.
  ::SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

bool FreeLibrary(HMODULE module) { return ::FreeLibrary(reinterpret_cast<::HMODULE>(module)) != 0; }

bool IsEUDCEnabled() { return eudcEnabled.load(); }
int EUDCSwitchCount() { return eudcSwitches.load(); }

}  // namespace platform
