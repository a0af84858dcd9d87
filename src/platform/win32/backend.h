#pragma once
// What the Win32 backend's files share: the prefix settings that stand in for the machine's own
// answers (so tests and the demo can run any language or version), and the generation counter
// that tells every cache when the prefix was reopened. Included before <windows.h>, whose macros
// would otherwise replace the platform headers' constants.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform::win32 {

struct Settings {
  LANGID language = 0;      // 0: the system's own (GetSystemDefaultLangID)
  bool versionSet = false;  // false: the system's own version record
  DWORD versionMajor = 10;
  DWORD versionMinor = 0;
  bool versionFails = false;
};

// The settings of the prefix in force (prefix.cpp).
Settings CurrentSettings();

// Bumped by ReopenPrefix; a cache that remembers the generation it was filled in drops itself
// when the number changed (prefix.cpp).
std::uint64_t PrefixGeneration();

// Text in a code page to UTF-16 and back (FromWide without best-fit mapping: what the code page
// lacks becomes '?'). The A functions of the backend convert with GetACP(), the code page of the
// language in force, so that a prefix set to Traditional Chinese behaves as a Big5 system does.
std::wstring ToWide(std::string_view text, unsigned codePage);
std::string FromWide(std::wstring_view wide, unsigned codePage);

}  // namespace platform::win32
