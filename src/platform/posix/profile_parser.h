#pragma once
// The parsed form of a profile (INI) file and the answers GetPrivateProfileStringA gives from it.
// Kept apart from the file cache so that tests and the fuzz target can feed it bytes directly.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform::posix {

// Names compare as Windows compares them on a double-byte code page: ASCII letters without
// regard to case, except that a byte 0x81..0xFE starts a double-byte character whose trail byte
// (which may be an ASCII letter in Big5) is compared exactly.
struct ProfileNameHash {
  std::size_t operator()(std::string_view name) const noexcept;
};
struct ProfileNameEqual {
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};

// s without the blanks the reader drops around names and values (CR and ^Z among them).
std::string_view TrimProfileBlanks(std::string_view s);

// One line of a profile file, classified. Names and values are trimmed of blanks; a value has
// one pair of matching quotes around it dropped.
struct ProfileLine {
  enum class Kind {
    Blank,      // empty or blanks only
    Comment,    // first non-blank is ';'; with '=', name (';' included) and value as a key's
    Section,    // "[name]", text after the last ']' ignored
    BadSection, // '[' without a closing ']'
    Key,        // "name=value"; the name may be empty ("=value")
    Other,      // no '=' (not a key)
  };
  Kind kind = Kind::Blank;
  std::string_view name;
  std::string_view value;
};
ProfileLine ClassifyProfileLine(std::string_view line);

// A key line as Windows keeps it: every line with '=' counts, but a lookup finds only the first
// of a name, and the key list leaves out comments.
struct ProfileKey {
  std::string_view name;
  std::string_view value;
  bool first = true;    // the line a lookup of this name finds; false for a repeat
  bool listed = true;   // false for a comment (";k=v") and a nameless key ("=v")
};

struct ProfileSection {
  std::string_view name;  // empty for the keys before the first section header
  std::vector<ProfileKey> keys;  // file order, repeats included
};

// A profile file parsed once and read by many threads. Immutable after Parse; names and values
// point into the file's bytes, which the object owns.
class ParsedProfile {
 public:
  // A NUL byte anywhere but in trailing padding marks a binary file, which reads as empty.
  static std::shared_ptr<const ParsedProfile> Parse(std::string bytes);
  static std::shared_ptr<const ParsedProfile> Empty();

  ParsedProfile(const ParsedProfile&) = delete;
  ParsedProfile& operator=(const ParsedProfile&) = delete;

  // Names are trimmed of blanks before they are looked up. nullptr when missing.
  const ProfileSection* FindSection(std::string_view name) const;
  const ProfileKey* FindKey(std::string_view section, std::string_view key) const;
  const std::vector<ProfileSection>& sections() const { return sections_; }

 private:
  ParsedProfile() = default;
  void Load();

  // One open-addressing table (linear probing, power-of-two size) indexes both the sections
  // (owner kSections) and the keys (owner = their section). A slot keeps the full hash, so
  // most probes never compare names.
  static constexpr std::uint32_t kSections = UINT32_MAX;
  static constexpr std::uint32_t kNone = UINT32_MAX;
  struct IndexSlot {
    std::uint64_t hash = 0;
    std::uint32_t owner = 0;
    std::uint32_t item = kNone;  // kNone: empty slot
  };
  std::string_view NameAt(std::uint32_t owner, std::uint32_t item) const;
  std::uint32_t Find(std::uint32_t owner, std::string_view name) const;
  bool Insert(std::uint32_t owner, std::string_view name, std::uint32_t item);
  void Grow();

  std::string bytes_;
  std::vector<ProfileSection> sections_;
  std::vector<IndexSlot> index_;
  std::size_t indexUsed_ = 0;
};

// GetPrivateProfileStringA on a parsed file: see platform/profile.h. A list is the section
// names (section == nullptr) or the key names of section (key == nullptr); an empty list gives
// the default as a value. The default loses its trailing spaces, as on Windows.
DWORD CopyProfileString(const ParsedProfile& profile, const char* section, const char* key,
                        const char* defaultValue, char* buffer, DWORD size);

// The buffer contracts of GetPrivateProfileStringA: a value cut to size - 1 characters; a list
// of names, each NUL-terminated and the list ending in a second NUL, cut to fit with the return
// value size - 2, or the default as a value when there are no names.
DWORD CopyProfileValue(std::string_view value, char* buffer, DWORD size);
DWORD CopyProfileList(std::vector<std::string_view> names, std::string_view defaultValue,
                      char* buffer, DWORD size);

// The value as CopyProfileString gives it into a buffer of bufferSize characters.
std::string ProfileValue(const ParsedProfile& profile, std::string_view section,
                         std::string_view key, std::string_view defaultValue,
                         DWORD bufferSize = 2048);

// The key names of section as CopyProfileString lists them into a buffer of bufferSize.
std::vector<std::string> ProfileKeys(const ParsedProfile& profile, std::string_view section,
                                     DWORD bufferSize);
// The same names, pointing into the parsed file.
std::vector<std::string_view> ProfileKeyNames(const ParsedProfile& profile,
                                              std::string_view section, DWORD bufferSize);

// Every n for which section holds a key named prefix + n: see ProfileView::NumberedKeys.
std::vector<long long> ProfileNumberedKeys(const ParsedProfile& profile, std::string_view section,
                                           std::string_view prefix);

// The file's bytes after setting (value != nullptr), deleting (value == nullptr) one key, or
// deleting a whole section (key == nullptr). Lines not concerned are kept byte for byte; new
// lines end in CR LF. Returns false when nothing changes.
bool EditProfileBytes(std::string& bytes, std::string_view section, const char* key,
                      const char* value);

// Whether WritePrivateProfileStringA may write section, key and value: names and values that
// the reader would read back as something else (a line break, '=' or a leading ';' or '[' in a
// key, ']' in a section, blank names) are refused.
bool ValidProfileEdit(const char* section, const char* key, const char* value);

}  // namespace platform::posix
