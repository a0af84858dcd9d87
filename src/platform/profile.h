#pragma once
// Profile (INI) files read with the rules of GetPrivateProfileStringA. Each file is parsed once
// and answered from memory; a file that changes on disc (size or modification time) is parsed
// again on the next lookup.

#include <string>
#include <vector>

#include "platform/types.h"

namespace platform {

// GetPrivateProfileStringA. fileName is a Windows path (relative paths against the current
// directory). With a key, copies the value (or the default when the file, section or key is
// missing) into buffer, cut to size - 1 characters, and returns the number of characters copied.
// With key == nullptr, copies the section's key names in file order, each NUL-terminated, the
// list ending with a second NUL; when the list does not fit, it is cut and the return value is
// size - 2. Section and key names match without regard to case; the first of two equal keys
// wins; blanks around a value and one pair of matching quotes ("..." or '...') are dropped.
// A binary or unreadable file reads as an empty file.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* buffer, DWORD size, const char* fileName);

// The value of key in section, as GetPrivateProfileStringA with a 2048-character buffer
// (a value is cut to 2047 characters).
std::string ReadProfileString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& defaultValue);

// The key names of section in file order, as GetPrivateProfileStringA lists them into a
// buffer of bufferSize characters (16384 for the catalogue): keys that no longer fit are cut.
std::vector<std::string> ReadProfileKeys(const std::string& fileName, const std::string& section,
                                         DWORD bufferSize = 16384);

// Writes one value (WritePrivateProfileStringA); used by tools that build discs and prefixes.
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName);

}  // namespace platform
