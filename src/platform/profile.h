#pragma once
// Profile (INI) files read with the rules of GetPrivateProfileStringA. Each file is parsed once
// and answered from memory; a file that changes on disc (size or modification time) is parsed
// again on the next lookup.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform {

// GetPrivateProfileStringA. fileName is a Windows path (relative paths against the current
// directory). With a key, copies the value (or the default when the file, section or key is
// missing) into buffer, cut to size - 1 characters, and returns the number of characters copied.
// With key == nullptr, copies the section's key names in file order, each NUL-terminated, the
// list ending with a second NUL; when the list does not fit, it is cut and the return value is
// size - 2. Section and key names match without regard to case; the first of two equal keys
// wins a lookup, while the list names a repeated key each time; a comment line (";k=v") is
// found by its name but not listed; the keys before the first header form the section "".
// Blanks around a value and one pair of matching quotes ("..." or '...') are dropped. A binary
// or unreadable file reads as an empty file.
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

// Whether two section or key names name the same entry: blanks around them dropped, ASCII
// letters without regard to case, double-byte characters compared exactly.
bool SameProfileName(std::string_view a, std::string_view b);

// One version of a profile file as the reader parsed it, for callers that make many lookups in
// a few files (the font catalogue). Copies share the parsed file; the texts it gives stay valid
// while a copy lives, also after the file on disc changes.
class ProfileView {
 public:
  ProfileView();  // reads as an empty file

  // The value of key in section as ReadProfileString gives it (cut to 2047 characters); empty
  // when the section or key is missing.
  std::string_view Value(std::string_view section, std::string_view key) const;
  // The key names of section as ReadProfileKeys gives them for a buffer of bufferSize.
  std::vector<std::string_view> Keys(std::string_view section, DWORD bufferSize = 16384) const;
  // Every n for which section holds a key named prefix + n (decimal, no leading zero, at most
  // 18 digits), in no particular order and whatever the buffer limit of Keys: a loop over
  // numbered keys visits only keys that exist, whatever a count in the file claims.
  std::vector<long long> NumberedKeys(std::string_view section, std::string_view prefix) const;

 private:
  friend ProfileView OpenProfileFile(const std::string& fileName);
  // The backend's parsed file, kept opaque so that this header names no backend type.
  std::shared_ptr<const void> parsed_;
};

// The file as it is now, from the cache that GetPrivateProfileStringA uses (parsed again when
// it changed on disc). A missing, binary or unreadable file gives an empty view.
ProfileView OpenProfileFile(const std::string& fileName);

// Writes one value (WritePrivateProfileStringA); used by tools that build discs and prefixes.
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName);

}  // namespace platform
