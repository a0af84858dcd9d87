#pragma once
// The system's default language and the version record.

#include "platform/types.h"

namespace platform {

// The system default language: the prefix's setting when there is one, else from the locale
// (LC_ALL, LC_MESSAGES, LANG: zh_TW -> 1028, zh_HK -> 3076, zh_CN -> 2052, ja_JP -> 1041,
// ko_KR -> 1042, en_US and anything unknown -> 1033).
LANGID GetSystemDefaultLangID();

constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

// The basic version record (148 bytes on Windows).
struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize = 148;
  DWORD dwMajorVersion = 0;
  DWORD dwMinorVersion = 0;
  DWORD dwBuildNumber = 0;
  DWORD dwPlatformId = 0;
  char szCSDVersion[128] = {};
};

// Fills the record: NT family, the prefix's major.minor (default 10.0). Returns false (and
// leaves the record) when dwOSVersionInfoSize is not 148 or the prefix says the query fails.
bool GetVersionExA(OSVERSIONINFOA* info);

}  // namespace platform
